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
import struct
import subprocess
import sys

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

# PE layout: the offsets this reader needs, named once.
PE_POINTER_OFFSET = 0x3C
COFF_HEADER_BYTES = 20
PE32_MAGIC = 0x10B
PE32_DATA_DIRECTORIES = 96     # offset of the data directories in a PE32 optional header
RESOURCE_DIRECTORY_INDEX = 2
SECTION_HEADER_BYTES = 40
RESOURCE_DIRECTORY_BYTES = 16
RESOURCE_ENTRY_BYTES = 8
HIGH_BIT = 0x80000000


def fail(message):
    sys.exit(f"FAIL: {message}")


class PortableExecutable:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            fail("not an executable")
        pe = struct.unpack_from("<I", data, PE_POINTER_OFFSET)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            fail("no PE signature")
        coff = pe + 4
        section_count, optional_bytes = struct.unpack_from("<H12xH", data, coff + 2)
        optional = coff + COFF_HEADER_BYTES
        if struct.unpack_from("<H", data, optional)[0] != PE32_MAGIC:
            fail("not a 32-bit (PE32) executable")
        directory = optional + PE32_DATA_DIRECTORIES + 8 * RESOURCE_DIRECTORY_INDEX
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, directory)
        self.sections = []
        for index in range(section_count):
            header = optional + optional_bytes + index * SECTION_HEADER_BYTES
            virtual_size, virtual_address, raw_size, raw_pointer = struct.unpack_from("<IIII", data, header + 8)
            self.sections.append((virtual_address, max(virtual_size, raw_size), raw_pointer))

    def offset(self, rva):
        for virtual_address, size, raw_pointer in self.sections:
            if virtual_address <= rva < virtual_address + size:
                return raw_pointer + rva - virtual_address
        fail(f"address {rva:#x} lies in no section")

    def name(self, field):
        """An entry's name: a number, or a string when the high bit is set."""
        if not field & HIGH_BIT:
            return field
        at = self.offset(self.resource_rva) + (field & ~HIGH_BIT)
        length = struct.unpack_from("<H", self.data, at)[0]
        return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")

    def entries(self, directory_offset):
        base = self.offset(self.resource_rva)
        named, numbered = struct.unpack_from("<HH", self.data, base + directory_offset + 12)
        for index in range(named + numbered):
            at = base + directory_offset + RESOURCE_DIRECTORY_BYTES + index * RESOURCE_ENTRY_BYTES
            name, target = struct.unpack_from("<II", self.data, at)
            yield self.name(name), target

    def resources(self):
        """{(type, identifier, language): bytes} from the three-level tree."""
        if self.resource_size == 0:
            fail("the executable has no resources")
        found = {}
        base = self.offset(self.resource_rva)
        for type_name, type_target in self.entries(0):
            for identifier, name_target in self.entries(type_target & ~HIGH_BIT):
                for language, data_entry in self.entries(name_target & ~HIGH_BIT):
                    rva, size = struct.unpack_from("<II", self.data, base + data_entry)
                    start = self.offset(rva)
                    found[(type_name, identifier, language)] = self.data[start:start + size]
        return found


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
