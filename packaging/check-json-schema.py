#!/usr/bin/env python3
"""Validates brevin-cli's JSON of every sample image against the schema.

Usage: check-json-schema.py SCHEMA BREVIN-CLI DATA_DIR
Each image is written with the default view options and with a second set;
the kept fuzz inputs (broken images) are written too. Exits 77 (skipped) when
the jsonschema module is not installed.
"""
import json
import pathlib
import subprocess
import sys

try:
    import jsonschema
except ImportError:
    print("python3 jsonschema is not installed: skipped")
    sys.exit(77)


def main():
    schema_path, cli, data = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3])
    schema = json.loads(pathlib.Path(schema_path).read_text())
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)

    images = sorted(p for p in data.iterdir() if p.suffix in (".binary", ".eeprom"))
    broken = sorted(p for p in (data / "fuzz").iterdir() if p.suffix != ".md")
    runs = [(image, []) for image in images]
    runs += [(image, ["--symbol-table", "--no-show-labels", "--colons"]) for image in images]
    runs += [(image, ["--ignore-checksum", "--inhibit-warnings"]) for image in broken]

    failures = checked = 0
    for image, options in runs:
        done = subprocess.run([cli, "--json", *options, str(image)], capture_output=True)
        if done.returncode != 0:
            if image in broken:  # a refused broken image writes no JSON
                continue
            print(f"FAIL: {image.name} {options}: status {done.returncode}: {done.stderr.decode(errors='replace')}")
            failures += 1
            continue
        errors = list(validator.iter_errors(json.loads(done.stdout)))
        checked += 1
        for error in errors[:3]:
            path = "/".join(str(part) for part in error.absolute_path)
            print(f"FAIL: {image.name} {options}: {path}: {error.message[:200]}")
        failures += bool(errors)
    print(f"{checked} JSON documents checked against the schema, {failures} failed")
    return 1 if failures or checked < len(images) else 0


if __name__ == "__main__":
    sys.exit(main())
