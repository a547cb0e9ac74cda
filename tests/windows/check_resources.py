#!/usr/bin/python3
"""Reads the resources back out of a 32-bit Windows executable and checks them.

usage: check_resources.py EXECUTABLE RESOURCE_DUMP WORK_DIR

Each row of the table states where an asset lives: its type, identifier and
language, and its size where the format fixes it. Every asset must hold the
bytes the native build's loadResource gives (RESOURCE_DUMP writes them), the
manifest must ask for no more than the invoker's rights, and nothing else may
be there.
"""
import pathlib
import subprocess
import sys

from pe_file import PortableExecutable

FRENCH = 1036        # the assets' language
ENGLISH_US = 1033    # the manifest's language
RT_MANIFEST = 24
LOGO_BYTES = 128 * 128 * 4
RELIEF_BYTES = 128 * 128 * 3   # the one logo layer of three bytes a pixel
BACKDROP_BYTES = 2457 * 768 * 4

# (type, identifier, language, fixed size or None)
EXPECTED = [
    ("MODFILE", 127, FRENCH, None),
    ("BINARY", 128, FRENCH, None),
    ("RAW", 120, FRENCH, LOGO_BYTES),
    ("RAW", 121, FRENCH, LOGO_BYTES),
    ("RAW", 122, FRENCH, LOGO_BYTES),
    ("RAW", 123, FRENCH, RELIEF_BYTES),
    ("RAW", 124, FRENCH, LOGO_BYTES),
    ("RAW", 125, FRENCH, LOGO_BYTES),
    ("RAW", 126, FRENCH, BACKDROP_BYTES),
    ("SHADER", 129, FRENCH, None),
    ("SHADER", 130, FRENCH, None),
    ("SHADER", 131, FRENCH, None),
    ("SHADER", 132, FRENCH, None),
]
MANIFEST = (RT_MANIFEST, 1, ENGLISH_US)
MANIFEST_MUST_SAY = (b'level="asInvoker"', b'uiAccess="false"')

def main():
    executable, resource_dump, work_dir = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3])
    work_dir.mkdir(parents=True, exist_ok=True)
    found = PortableExecutable(pathlib.Path(executable).read_bytes()).resources()

    pairs = [str(part) for type_name, identifier, _, _ in EXPECTED for part in (type_name, identifier)]
    subprocess.run([resource_dump, str(work_dir), *pairs], check=True)

    failures = 0
    for type_name, identifier, language, fixed_size in EXPECTED:
        key = (type_name, identifier, language)
        if key not in found:
            others = [k for k in found if k[:2] == (type_name, identifier)]
            print(f"FAIL: {type_name} {identifier} language {language} missing (found {others})")
            failures += 1
            continue
        data = found.pop(key)
        native = (work_dir / f"{type_name}-{identifier}.bin").read_bytes()
        problems = []
        if fixed_size is not None and len(data) != fixed_size:
            problems.append(f"{len(data)} bytes, the format fixes {fixed_size}")
        if data != native:
            problems.append(f"differs from the {len(native)} bytes the native build embeds")
        print(f"  {'FAIL' if problems else 'ok  '} {type_name:8} {identifier:4} language {language}  "
              f"{len(data):9,} bytes  {'; '.join(problems)}")
        failures += bool(problems)

    manifest = found.pop(MANIFEST, None)
    if manifest is None:
        print(f"FAIL: no RT_MANIFEST 1 in language {ENGLISH_US}")
        failures += 1
    else:
        missing = [text.decode() for text in MANIFEST_MUST_SAY if text not in manifest]
        print(f"  {'FAIL' if missing else 'ok  '} RT_MANIFEST 1 language {ENGLISH_US}  {len(manifest):9,} bytes  "
              f"{'lacks ' + ', '.join(missing) if missing else 'asInvoker, no UI access'}")
        failures += bool(missing)

    for key in found:
        print(f"FAIL: unexpected resource {key}")
        failures += 1
    print(f"{len(EXPECTED) + 1} resources checked, {failures} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
