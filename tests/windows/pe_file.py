"""A reader of the parts of a 32-bit Windows executable the checks look at:
its resource tree and the DLLs it imports."""
import struct
import sys


def fail(message):
    sys.exit(f"FAIL: {message}")


# PE layout: the offsets this reader needs, named once.
PE_POINTER_OFFSET = 0x3C
COFF_HEADER_BYTES = 20
PE32_MAGIC = 0x10B
PE32_SUBSYSTEM = 68            # offset of the subsystem in a PE32 optional header
PE32_DATA_DIRECTORIES = 96     # offset of the data directories in a PE32 optional header
IMPORT_DIRECTORY_INDEX = 1
RESOURCE_DIRECTORY_INDEX = 2
IMPORT_DESCRIPTOR_BYTES = 20
IMPORT_NAME_FIELD = 12           # the DLL name's address within an import descriptor
SECTION_HEADER_BYTES = 40
RESOURCE_DIRECTORY_BYTES = 16
RESOURCE_ENTRY_BYTES = 8
HIGH_BIT = 0x80000000


class PortableExecutable:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            fail("not an executable")
        pe = struct.unpack_from("<I", data, PE_POINTER_OFFSET)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            fail("no PE signature")
        coff = pe + 4
        self.machine, section_count = struct.unpack_from("<HH", data, coff)
        optional_bytes = struct.unpack_from("<H", data, coff + 16)[0]
        optional = coff + COFF_HEADER_BYTES
        if struct.unpack_from("<H", data, optional)[0] != PE32_MAGIC:
            fail("not a 32-bit (PE32) executable")
        self.subsystem = struct.unpack_from("<H", data, optional + PE32_SUBSYSTEM)[0]
        directories = optional + PE32_DATA_DIRECTORIES
        self.import_rva, _ = struct.unpack_from("<II", data, directories + 8 * IMPORT_DIRECTORY_INDEX)
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, directories + 8 * RESOURCE_DIRECTORY_INDEX)
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

    def imported_dlls(self):
        """The names of the DLLs the loader must find, as the executable spells them."""
        names = []
        if self.import_rva == 0:
            return names
        at = self.offset(self.import_rva)
        while True:
            name_rva = struct.unpack_from("<I", self.data, at + IMPORT_NAME_FIELD)[0]
            if name_rva == 0:
                return names
            start = self.offset(name_rva)
            names.append(self.data[start:self.data.index(b"\0", start)].decode("ascii"))
            at += IMPORT_DESCRIPTOR_BYTES
