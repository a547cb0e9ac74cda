#!/usr/bin/env python3
"""Writes a section 1 manual page from a program's own --help and --version
output, so the page cannot drift from the help text.

  help_to_man.py PROGRAM "SHORT DESCRIPTION" EPOCH_SECONDS OUTPUT.1 [SEE_ALSO...]

In the help text, "usage:" lines (and the lines under them that start with
the program's name) become the synopsis; lines of the form
"  -x, --option VALUE   what it does" become tagged paragraphs, and the lines
indented deeper under one continue it; a paragraph beginning "Exit status:"
becomes the EXIT STATUS section; every other line is description text, in
the order the help gives it."""
import datetime
import os
import re
import subprocess
import sys

OPTION_LINE = re.compile(r"^\s+(-\S+(?:, -\S+)*(?: [A-Z][\w.:\[\]-]*)?)\s{2,}(\S.*)$")


def roff_text(text):
    """Escapes text for roff: backslashes, hyphens, and a leading control character."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def bold_options(term):
    """Options in bold, their values in italics."""
    parts = []
    for alternative in term.split(", "):
        words = alternative.split(" ", 1)
        part = "\\fB" + roff_text(words[0]) + "\\fR"
        if len(words) == 2:
            part += " \\fI" + roff_text(words[1]) + "\\fR"
        parts.append(part)
    return ", ".join(parts)


def program_output(program, argument):
    result = subprocess.run([program, argument], capture_output=True, text=True, check=True)
    return result.stdout


def manual_page(name, summary, version_line, help_text, date, see_also):
    lines = help_text.rstrip("\n").split("\n")
    synopsis = []
    body = []
    exit_status = []
    in_usage = False
    in_paragraph = False
    in_exit_status = False
    option_indent = None  # where the text of the option being described begins
    for line in lines:
        stripped = line.strip()
        indent = len(line) - len(line.lstrip(" "))
        if line.startswith("usage: "):
            synopsis.append(line[len("usage: "):].strip())
            in_usage = True
            continue
        if in_usage and stripped.startswith(name + " ") and line.startswith(" "):
            synopsis.append(stripped)
            continue
        in_usage = False
        option = OPTION_LINE.match(line)
        if stripped.startswith("Exit status:"):
            exit_status.append(roff_text(stripped[len("Exit status:"):].strip()))
            in_exit_status, in_paragraph, option_indent = True, False, None
        elif in_exit_status and stripped and (line.startswith(" ") or not option):
            exit_status.append(roff_text(stripped))
        elif option:
            body.append(".TP\n" + bold_options(option.group(1)) + "\n" + roff_text(option.group(2)))
            in_paragraph, in_exit_status = False, False
            option_indent = indent
        elif not stripped:
            in_paragraph, in_exit_status = False, False
            option_indent = None
        elif option_indent is not None and indent > option_indent:
            # The option's text goes on, in the same tagged paragraph.
            body.append(roff_text(stripped))
        elif in_paragraph and not line.startswith(" "):
            body.append(roff_text(stripped))
        else:
            # An indented line (an example, a format) stands on its own.
            body.append(".PP\n" + roff_text(stripped))
            in_paragraph = not line.startswith(" ")
            option_indent = None
    out = [
        '.\\" Generated from "%s --help"; edit the program\'s help text, not this file.' % name,
        '.TH %s 1 "%s" "%s" "User Commands"' % (name.upper(), date, roff_text(version_line)),
        ".SH NAME",
        "%s \\- %s" % (roff_text(name), roff_text(summary)),
        ".SH SYNOPSIS",
    ]
    for index, usage in enumerate(synopsis):
        if index > 0:
            out.append(".br")
        words = usage.split(" ", 1)
        out.append("\\fB%s\\fR %s" % (roff_text(words[0]), roff_text(words[1]) if len(words) > 1 else ""))
    out.append(".SH DESCRIPTION")
    out.extend(body)
    if exit_status:
        out.append(".SH EXIT STATUS")
        out.extend(exit_status)
    if see_also:
        out.append(".SH SEE ALSO")
        out.append(",\n".join("\\fB%s\\fR(1)" % roff_text(other) for other in see_also))
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    program, summary, epoch, output = sys.argv[1:5]
    see_also = sys.argv[5:]
    name = os.path.basename(program)
    date = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).strftime("%Y-%m-%d")
    version_line = program_output(program, "--version").strip()
    page = manual_page(name, summary, version_line, program_output(program, "--help"), date, see_also)
    partial = output + ".partial"
    with open(partial, "w", encoding="utf-8") as file:
        file.write(page)
    os.replace(partial, output)


if __name__ == "__main__":
    main()
