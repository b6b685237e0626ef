#!/usr/bin/env python3
"""Validates notes files against their schema, and the JSON of an image with notes.

Usage: check-notes-schema.py NOTES_SCHEMA ANALYSIS_SCHEMA BREVIN-CLI DATA_DIR
The file brevin-cli --rename and --comment write, and every file the notes
cases (DATA_DIR/notes/parse_cases.txt) say it reads, must meet the notes
schema; the --json of the image with those notes (given names, a comment,
stack slots) must meet the analysis schema. Exits 77 (skipped) when the
jsonschema module is not installed.
"""
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    print("python3 jsonschema is not installed: skipped")
    sys.exit(77)


def validator(path):
    schema = json.loads(pathlib.Path(path).read_text())
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


def main():
    notes_schema, analysis_schema = validator(sys.argv[1]), validator(sys.argv[2])
    cli, data = sys.argv[3], pathlib.Path(sys.argv[4])
    failures = 0

    def check(v, document, what):
        nonlocal failures
        errors = sorted(v.iter_errors(document), key=lambda e: list(e.path))
        for error in errors[:3]:
            print(f"{what}: {list(error.path)}: {error.message}")
        failures += 1 if errors else 0

    for number, line in enumerate((data / "notes" / "parse_cases.txt").read_text(encoding="utf-8").splitlines(), 1):
        if line.startswith("#") or "\t" not in line:
            continue
        expected, text = line.split("\t", 1)
        if expected == "ok":
            check(notes_schema, json.loads(text.lstrip("\ufeff")), f"parse_cases.txt line {number}")

    work = pathlib.Path(tempfile.mkdtemp(prefix="brevin-notes-"))
    try:
        image = work / "led.eeprom"
        shutil.copyfile(data / "led_chaser.eeprom", image)
        subprocess.run([cli, "--rename", "S18=beat", "--rename", "VL3=started", "--rename", "L38=heart",
                        "--comment", "$0054=main loop", str(image)], check=True)
        check(notes_schema, json.loads((work / "led.eeprom.brevin.json").read_text()), "the recorded notes")
        listed = subprocess.run([cli, "--json", str(image)], check=True, capture_output=True)
        document = json.loads(listed.stdout)
        check(analysis_schema, document, "the JSON with notes")
        given = [s for s in document["symbols"] if s["given_name"]] + [s for s in document["slots"] if s["given_name"]]
        comments = [line for line in document["lines"] if "comment" in line]
        if len(given) != 3 or len(comments) != 1:
            print(f"the JSON with notes: {len(given)} given names and {len(comments)} comments, not 3 and 1")
            failures += 1
    finally:
        shutil.rmtree(work)
    print("the notes and the JSON with notes meet their schemas" if failures == 0 else f"{failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
