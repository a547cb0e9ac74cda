#!/usr/bin/python3
"""Checks that each program is a 32-bit Windows console program that needs no
DLL beyond those Windows itself ships (the compiler's run-time libraries and
the thread library are linked in).

usage: check_programs.py EXECUTABLE...
"""
import pathlib
import sys

from pe_file import PortableExecutable

I386 = 0x14C
CONSOLE_SUBSYSTEM = 3
# DLLs of Windows itself that the programs may import.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "advapi32.dll", "winmm.dll",
               "msvcrt.dll", "opengl32.dll"}


def main():
    failures = 0
    for path in sys.argv[1:]:
        program = PortableExecutable(pathlib.Path(path).read_bytes())
        dlls = program.imported_dlls()
        problems = []
        if program.machine != I386:
            problems.append(f"machine {program.machine:#x}, not i386")
        if program.subsystem != CONSOLE_SUBSYSTEM:
            problems.append(f"subsystem {program.subsystem}, not the console")
        foreign = [dll for dll in dlls if dll.lower() not in SYSTEM_DLLS]
        if foreign:
            problems.append(f"needs {', '.join(foreign)}, which Windows does not ship")
        print(f"  {'FAIL' if problems else 'ok  '} {pathlib.Path(path).name}: i386 console program importing "
              f"{', '.join(dlls)}{'; ' + '; '.join(problems) if problems else ''}")
        failures += bool(problems)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
