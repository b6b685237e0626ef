#!/usr/bin/env python3
"""Validates brevin-cli's JSON of every sample image against the schema.

Usage: check-json-schema.py SCHEMA BREVIN-CLI DATA_DIR
Each image is written with the default view options and with a second set;
the kept fuzz inputs (broken images) are written too, and so are truncated
copies of the .binary images (listed with --ignore-checksum) and images whose
Spin source beside them ends its lines in CR alone or in CR LF: those must
list the same lines as with LF. Exits 77 (skipped) when the jsonschema module
is not installed.
"""
import json
import pathlib
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    print("python3 jsonschema is not installed: skipped")
    sys.exit(77)


def main():
    schema_path, data = sys.argv[1], pathlib.Path(sys.argv[3])
    cli = str(pathlib.Path(sys.argv[2]).resolve())  # the runs below start in the image's folder
    schema = json.loads(pathlib.Path(schema_path).read_text())
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)

    images = sorted(p for p in data.iterdir() if p.suffix in (".binary", ".eeprom"))
    broken = sorted(p for p in (data / "fuzz").iterdir() if p.suffix != ".md")
    runs = [(image, []) for image in images]
    runs += [(image, ["--symbol-table", "--no-show-labels", "--colons"]) for image in images]
    runs += [(image, ["--ignore-checksum", "--inhibit-warnings"]) for image in broken]

    failures = checked = 0
    documents = {}
    work = pathlib.Path(tempfile.mkdtemp(prefix="brevin-json-"))
    # Truncated images: the listing decodes the zeros after the end, and every
    # code line still has its bytes.
    for image in (p for p in images if p.suffix == ".binary"):
        data = image.read_bytes()
        for keep in sorted({24, 40, len(data) // 4, len(data) // 2, len(data) * 3 // 4, len(data) - 1}):
            cut = work / f"{image.stem}.{keep}.binary"
            cut.write_bytes(data[:keep])
            runs.append((cut, ["--ignore-checksum"]))
    # The same image and source with each kind of line end, read from folders
    # of their own under the same names, so the documents can be compared; the
    # "-pub" folders hold the sources from their first PUB line on, so the
    # first line read is a method header.
    sourced = [p for p in images if p.suffix == ".binary" and p.with_suffix(".spin").exists()]
    endings = {"cr": b"\r", "crlf": b"\r\n", "lf": b"\n", "cr-pub": b"\r", "lf-pub": b"\n"}
    for folder, ending in endings.items():
        (work / folder).mkdir()
        for image in sourced:
            (work / folder / image.name).write_bytes(image.read_bytes())
            text = image.with_suffix(".spin").read_bytes().replace(b"\r\n", b"\n")
            if folder.endswith("-pub") and b"\nPUB" in text:
                text = text[text.index(b"\nPUB") + 1:]
            (work / folder / image.with_suffix(".spin").name).write_bytes(text.replace(b"\n", ending))
            runs.append((work / folder / image.name, []))

    for image, options in runs:
        done = subprocess.run([cli, "--json", *options, image.name], cwd=image.parent, capture_output=True)
        if done.returncode != 0:
            if image in broken:  # a refused broken image writes no JSON
                continue
            print(f"FAIL: {image.name} {options}: status {done.returncode}: {done.stderr.decode(errors='replace')}")
            failures += 1
            continue
        document = json.loads(done.stdout)
        errors = list(validator.iter_errors(document))
        checked += 1
        for error in errors[:3]:
            path = "/".join(str(part) for part in error.absolute_path)
            print(f"FAIL: {image.parent.name}/{image.name} {options}: {path}: {error.message[:200]}")
        failures += bool(errors)
        if image.parent.name in endings:
            documents[(image.parent.name, image.name)] = document

    for image in sourced:
        lf = documents.get(("lf", image.name))
        for folder, like in (("cr", "lf"), ("crlf", "lf"), ("cr-pub", "lf-pub")):
            one, other = documents.get((folder, image.name)), documents.get((like, image.name))
            if one is None or other is None or one["lines"] != other["lines"]:
                print(f"FAIL: {image.name}: a source in {folder} lists other lines than one in {like}")
                failures += 1
        if lf is not None and not any(line["text"].startswith("====") for line in lf["lines"]):
            print(f"FAIL: {image.name}: no source lines in the listing")
            failures += 1
    for path in sorted(work.rglob("*"), reverse=True):
        path.rmdir() if path.is_dir() else path.unlink()
    work.rmdir()
    print(f"{checked} JSON documents checked against the schema, {failures} failed")
    return 1 if failures or checked < len(images) else 0


if __name__ == "__main__":
    sys.exit(main())
