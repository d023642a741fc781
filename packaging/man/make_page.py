#!/usr/bin/env python3
"""Makes a manual page from a program's own --help, so the two cannot differ.

    make_page.py TEMPLATE PROGRAM VERSION DATE OUTPUT

Runs PROGRAM --help and fills TEMPLATE (roff with the page's own sections:
NAME, what only a manual page says) at these marks, each alone on its line:

  @USAGE@    the "usage:" lines, each with the note beside it
  @BEFORE@   the paragraphs between the usage and the option list
  @OPTIONS@  the option list, one tagged paragraph an option
  @AFTER@    the paragraphs after the option list

and @VERSION@, @DATE@ anywhere. The help text is read by its layout:

  usage: PROG ARGS    note          (more usage lines indented under "PROG")
  <blank>
  paragraph lines; lines indented by two or more are kept as they stand
  <blank>
    --name ARG      what it does  (two blanks or more before the text)
                    continued     (indented further)

A line that fits none of this stops the build, so a change to a help text's
layout cannot quietly spoil its page.
"""
import re
import subprocess
import sys


def fail(why):
    sys.exit("make_page.py: " + why)


def esc(text):
    """Roff text: backslashes and hyphens (minus signs, in commands) escaped."""
    return text.replace("\\", "\\e").replace("-", "\\-")


def line(text):
    """A roff source line: one starting with a control character is text."""
    return "\\&" + text if text[:1] in (".", "'") else text


def term(text):
    """'--name ARG ...': the name in bold, what follows in italics."""
    name, _, rest = text.partition(" ")
    out = "\\fB" + esc(name) + "\\fR"
    return out + (" \\fI" + esc(rest) + "\\fR" if rest else "")


def split_note(text):
    """'left  note' at the first run of two or more blanks."""
    parts = re.split(r" {2,}", text.strip(), maxsplit=1)
    return parts[0], parts[1] if len(parts) > 1 else ""


def parse(help_text, program):
    lines = help_text.rstrip("\n").split("\n")
    usage = []  # [synopsis, note]
    i = 0
    lead = re.compile(r"^(usage: |       )" + re.escape(program) + r"( |$)")
    while i < len(lines):
        if lead.match(lines[i]):
            usage.append(list(split_note(lines[i][7:])))
        elif usage and lines[i].startswith(" " * 8) and usage[-1][1] and not lines[i].lstrip().startswith("-"):
            usage[-1][1] += " " + lines[i].strip()  # the note goes on
        else:
            break
        i += 1
    if not usage:
        fail(program + " --help does not start with 'usage: " + program + "'")

    blocks, block = [], []
    for text in lines[i:] + [""]:
        if text.strip():
            block.append(text)
        elif block:
            blocks.append(block)
            block = []

    before, options, after = [], [], []
    for b in blocks:
        if b[0].startswith("  -"):
            if after:
                fail(program + " --help: a second option list after other paragraphs: " + b[0])
            for text in b:
                if text.startswith("  -"):
                    options.append(list(split_note(text)))
                elif re.match(r"^ {3,}\S", text) and options:
                    options[-1][1] = (options[-1][1] + " " + text.strip()).strip()
                else:
                    fail(program + " --help: not an option nor its continuation: " + text)
        else:
            (after if options else before).append(b)
    if not options:
        fail(program + " --help lists no options")
    return usage, before, options, after


def paragraphs(blocks):
    out = []
    for b in blocks:
        out.append(".PP")
        kept = False
        for text in b:
            indented = text.startswith("  ")
            if indented and not kept:
                out += [".RS 2", ".nf"]
            if not indented and kept:
                out += [".fi", ".RE"]
            kept = indented
            out.append(line(esc(text.strip() if not indented else text[2:])))
        if kept:
            out += [".fi", ".RE"]
    return out


def render(template, usage, before, options, after, version, date):
    marks = {
        "@USAGE@": sum(([".TP", line(term(s)), line(esc(n))] if n else [".PP", line(term(s))] for s, n in usage), []),
        "@BEFORE@": paragraphs(before),
        "@OPTIONS@": sum(([".TP", line(term(t)), line(esc(d))] for t, d in options), []),
        "@AFTER@": paragraphs(after),
    }
    out = []
    for text in template.split("\n"):
        if text.strip() in marks:
            out += marks[text.strip()]
        else:
            out.append(text.replace("@VERSION@", version).replace("@DATE@", date))
    return "\n".join(out).rstrip("\n") + "\n"


def main():
    if len(sys.argv) != 6:
        fail("usage: make_page.py TEMPLATE PROGRAM VERSION DATE OUTPUT")
    template_path, program_path, version, date, output = sys.argv[1:]
    program = program_path.rsplit("/", 1)[-1]
    run = subprocess.run([program_path, "--help"], capture_output=True, text=True, encoding="utf-8")
    if run.returncode != 0:
        fail(program + " --help ended with status " + str(run.returncode) + ": " + run.stderr.strip())
    with open(template_path, encoding="utf-8") as f:
        template = f.read()
    page = render(template, *parse(run.stdout, program), version, date)
    with open(output, "w", encoding="utf-8") as f:
        f.write(page)


if __name__ == "__main__":
    main()
