#!/usr/bin/env python3
"""Checks that the kaldrani-cli man page documents every verb, option and argument the
program accepts, and no option it does not. The program's own --help output (per verb)
is the truth, so the page cannot drift from the code unnoticed.

usage: check_cli_man_page.py KALDRANI_CLI MAN_PAGE [--without TEXT]
--without drops the page's lines holding TEXT first, to prove a gap is reported.
"""
import re
import subprocess
import sys

GLOBAL_SECTION = "OPTIONS"
VERB_SECTION = "VERBS"
ENTRY = re.compile(r"^  (\S.*?)(?:\s{2,}.*)?$")


def run_help(program, path):
    result = subprocess.run([program, *path, "--help"], capture_output=True, text=True, encoding="utf-8")
    if result.returncode != 0:
        sys.exit(f"{' '.join([program, *path])} --help exited with {result.returncode}: {result.stderr}")
    return result.stdout


def parse_help(text):
    """Returns (options, positionals, subcommands) named in one --help output."""
    options, positionals, subcommands = [], [], []
    heading = None
    for line in text.splitlines():
        if re.match(r"^[A-Z][A-Za-z ]*:$", line):
            heading = line[:-1]
            continue
        match = ENTRY.match(line)
        if not match or heading is None:
            continue
        first = match.group(1).split()[0]
        if heading == "Options":
            options += [name for name in first.split(",") if name.startswith("-")]
        elif heading == "Positionals":
            positionals.append(first)
        elif heading == "Subcommands":
            subcommands.append(first)
    return options, positionals, subcommands


def commands(program, path=()):
    """Yields (path, options, positionals) for the program and every verb below it."""
    options, positionals, subcommands = parse_help(run_help(program, list(path)))
    yield path, options, positionals
    for sub in subcommands:
        yield from commands(program, (*path, sub))


def plain(roff):
    text = re.sub(r"\\f[BIRP]|\\f\(..|\\&", "", roff)
    return text.replace("\\-", "-").replace("\\(aq", "'")


def parse_page(roff, without):
    """Returns {section: text} and {verb path: (heading, text, option terms)}."""
    sections, verbs = {}, {}
    section, verb = None, None
    for raw in roff.splitlines():
        if without and without in plain(raw):
            continue
        line = plain(raw)
        if line.startswith(".SH "):
            section, verb = line[4:].strip().strip('"'), None
            sections[section] = ""
            continue
        if line.startswith(".SS ") and section == VERB_SECTION:
            heading = line[4:].strip().strip('"')
            words = []
            for word in heading.split():
                if not re.fullmatch(r"[a-z][a-z-]*", word):
                    break
                words.append(word)
            verb = tuple(words)
            verbs[verb] = (heading, heading + "\n", [])
            continue
        if line.startswith("."):
            continue
        if section is not None:
            sections[section] += line + "\n"
        if verb is not None:
            heading, text, terms = verbs[verb]
            if raw.startswith("\\fB-"):
                terms.append(line.split()[0].rstrip(","))
            verbs[verb] = (heading, text + line + "\n", terms)
    return sections, verbs


def mentions(text, word):
    return re.search(r"(?<![\w-])" + re.escape(word) + r"(?![\w-])", text) is not None


def main():
    args = sys.argv[1:]
    without = None
    if "--without" in args:
        at = args.index("--without")
        without = args[at + 1]
        del args[at:at + 2]
    program, page = args
    with open(page, encoding="utf-8") as f:
        sections, verbs = parse_page(f.read(), without)

    problems = []
    global_options = []
    documented_verbs = set()
    for path, options, positionals in commands(program):
        if not path:
            global_options = options
            for option in options:
                if not mentions(sections.get(GLOBAL_SECTION, ""), option):
                    problems.append(f"option {option} (before the verb) is missing from the {GLOBAL_SECTION} section")
            continue
        name = " ".join(path)
        if path not in verbs:
            problems.append(f"verb '{name}' has no '## {name} ...' section under {VERB_SECTION}")
            continue
        documented_verbs.add(path)
        heading, text, terms = verbs[path]
        for option in options:
            if option not in global_options and not mentions(text, option):
                problems.append(f"verb '{name}': option {option} is missing from its section '## {heading}'")
        for positional in positionals:
            if not mentions(text, positional):
                problems.append(f"verb '{name}': argument {positional} is missing from its section '## {heading}'")
        for term in terms:
            if term not in options:
                problems.append(f"verb '{name}': its section documents {term}, which the verb does not accept")
    for path in verbs.keys() - documented_verbs:
        problems.append(f"section '## {verbs[path][0]}' documents a verb the program does not have")

    for problem in problems:
        print(f"{page}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
