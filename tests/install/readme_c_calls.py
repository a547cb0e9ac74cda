#!/usr/bin/env python3
"""The README's table of the library's calls names every C call the headers
declare, and nothing they do not.
usage: readme_c_calls.py README.md HEADER..."""
import re
import sys

DECLARED = re.compile(r"\b(intro_music_[a-z0-9_]+)\s*\(")
NAMED = re.compile(r"`(intro_music_[a-z0-9_]+)`")


def main():
    readme, headers = sys.argv[1], sys.argv[2:]
    declared = set()
    for header in headers:
        with open(header, encoding="utf-8") as file:
            text = re.sub(r"/\*.*?\*/", "", file.read(), flags=re.S)  # examples in comments are no declarations
            declared |= {name for name in DECLARED.findall(text) if not name.endswith("_t")}
    with open(readme, encoding="utf-8") as file:
        rows = [line for line in file if line.startswith("| `")]
    named = {name for row in rows for name in NAMED.findall(row)}
    missing, unknown = sorted(declared - named), sorted(named - declared)
    for name in missing:
        print(f"the README's table lacks {name}")
    for name in unknown:
        print(f"the README's table names {name}, which no header declares")
    print(f"{len(declared)} C calls declared, {len(named)} named in the README")
    return 1 if missing or unknown else 0


if __name__ == "__main__":
    sys.exit(main())
