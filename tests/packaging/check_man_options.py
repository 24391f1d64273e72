#!/usr/bin/env python3
"""Compares what a program's --help lists with its manual page source.

usage: check_man_options.py PROGRAM MAN_SOURCE [RENDERED_PAGE]

The options of --help are every word of its output that looks like an option
("-o", "--output"). The options of the page are those on its option entry lines:
lines of the scdoc source that begin with a bold option ("*-"). For orvex-dl,
each sub-command that "orvex-dl --help" lists under "Commands:" must have its
"## NAME" subsection under "# COMMANDS", compared with "orvex-dl NAME --help";
a subsection of a command that --help does not list fails too. --help and -h
themselves are left out: every command takes them, not every usage text says so.
With RENDERED_PAGE, the generated page must also render without a warning.
"""

import os
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w/.-])(--?[A-Za-z][A-Za-z0-9-]*)")
BOLD_OPTION = re.compile(r"\*(--?[A-Za-z][A-Za-z0-9-]*)\*")
IGNORED = {"-h", "--help", "--help-all"}


def run_help(args):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    p = subprocess.run(args + ["--help"], capture_output=True, text=True, timeout=60, env=env)
    if p.returncode != 0:
        sys.exit(f"{' '.join(args)} --help exited with {p.returncode}: {p.stderr}")
    return p.stdout


def help_options(text):
    return set(OPTION.findall(text)) - IGNORED


def sections(source):
    """{(section, subsection): [lines]} of an scdoc source, comments dropped."""
    out = {}
    key = ("", "")
    for line in source.splitlines():
        if line.startswith(";"):
            continue
        if line.startswith("# "):
            key = (line[2:].strip(), "")
            continue
        if line.startswith("## "):
            key = (key[0], line[3:].strip())
            continue
        out.setdefault(key, []).append(line)
    return out


def entry_options(lines):
    found = set()
    for line in lines:
        if line.startswith("*-"):
            found |= set(BOLD_OPTION.findall(line))
    return found - IGNORED


def compare(what, from_help, from_man, problems):
    for o in sorted(from_help - from_man):
        problems.append(f"{what}: {o} is in --help but not in the manual page")
    for o in sorted(from_man - from_help):
        problems.append(f"{what}: {o} is in the manual page but not in --help")


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    program, source_path = sys.argv[1], sys.argv[2]
    name = os.path.basename(program)
    with open(source_path, encoding="utf-8") as f:
        parts = sections(f.read())
    problems = []

    top = run_help([program])
    if name == "orvex-dl":
        listed = re.search(r"^Commands:\n((?:  \S.*\n)+)", top, re.M)
        if not listed:
            sys.exit("orvex-dl --help lists no commands")
        commands = {line.split()[0] for line in listed.group(1).splitlines()}
        documented = {sub for (sec, sub) in parts if sec == "COMMANDS" and sub}
        for c in sorted(commands - documented):
            problems.append(f"sub-command {c} has no '## {c}' under '# COMMANDS'")
        for c in sorted(documented - commands):
            problems.append(f"'## {c}' is documented but orvex-dl --help lists no such command")
        for c in sorted(commands & documented):
            compare(f"orvex-dl {c}", help_options(run_help([program, c])),
                    entry_options(parts[("COMMANDS", c)]), problems)
    else:
        man = set()
        for (sec, _), lines in parts.items():
            if sec == "OPTIONS":
                man |= entry_options(lines)
        compare(name, help_options(top), man, problems)
        if not man:
            problems.append(f"{source_path} has no option entries under '# OPTIONS'")

    if len(sys.argv) == 4:
        page = sys.argv[3]
        r = subprocess.run(["man", "--warnings", "-l", page], capture_output=True, text=True,
                           timeout=60, env=dict(os.environ, MANWIDTH="80"))
        if r.returncode != 0 or r.stderr.strip():
            problems.append(f"{page} does not render cleanly: {r.stderr.strip()}")
        elif f"{name}" not in r.stdout or "SYNOPSIS" not in r.stdout:
            problems.append(f"{page} renders without its name or synopsis")

    for p in problems:
        print(p)
    if problems:
        sys.exit(1)
    print(f"{name}: --help and {os.path.basename(source_path)} agree")


if __name__ == "__main__":
    main()
