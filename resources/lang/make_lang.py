#!/usr/bin/env python3
"""Makes the program's language tables from the UTF-8 texts kept here.

    python3 make_lang.py OUTPUT_FOLDER en.lng ru.lng ua.lng

Each .lng file holds "key=value" lines, blank lines and section lines such as
"{Classes}"; the first line is "sLanguage=" and the language's own name. For
every input "xx.lng" the output folder gets "lang_xx.txt": the same lines in
Windows-1251 with CR LF line ends.

The build stops (exit status 1, every problem listed) when a table
  - has a line that is neither a section, blank, nor key=value,
  - holds a key twice or a key with an empty text,
  - does not start with sLanguage,
  - has a character that Windows-1251 can't hold,
  - lacks a key another table has, or has one the others lack,
  - uses other printf fields (%s, %d, %%) in a text than the first table does.
"""

import os
import re
import sys

KEY = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*$")
SECTION = re.compile(r"^\{[A-Za-z]+\}$")
FIELD = re.compile(r"%[-+ #0]*[0-9]*(?:\.[0-9]+)?[a-zA-Z%]")


def read_table(path, problems):
    """Returns (lines, {key: text}) of one table; problems get appended."""
    name = os.path.basename(path)
    try:
        with open(path, encoding="utf-8") as f:
            raw = f.read()
    except (OSError, UnicodeDecodeError) as e:
        problems.append("%s: can't read as UTF-8: %s" % (name, e))
        return [], {}
    if raw.startswith("\ufeff"):
        raw = raw[1:]
    lines = raw.splitlines()
    texts = {}
    for number, line in enumerate(lines, 1):
        where = "%s:%d" % (name, number)
        stripped = line.strip()
        if not stripped or SECTION.match(stripped):
            continue
        if "=" not in line:
            problems.append("%s: not key=value: %r" % (where, line))
            continue
        key, text = line.split("=", 1)
        if not KEY.match(key):
            problems.append("%s: bad key %r" % (where, key))
            continue
        if key in texts:
            problems.append("%s: key %s appears twice" % (where, key))
            continue
        if not text.strip():
            problems.append("%s: key %s has no text" % (where, key))
        try:
            text.encode("cp1251")
        except UnicodeEncodeError as e:
            problems.append("%s: %s holds a character Windows-1251 lacks: %r"
                            % (where, key, text[e.start:e.end]))
        texts[key] = text
    first = next((l for l in lines if l.strip()), "")
    if not first.startswith("sLanguage="):
        problems.append("%s: the first line must be sLanguage=<name>" % name)
    return lines, texts


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    out_dir, inputs = argv[1], argv[2:]
    problems = []
    tables = [(path, *read_table(path, problems)) for path in inputs]

    base_path, _, base = tables[0]
    base_name = os.path.basename(base_path)
    for path, _, texts in tables[1:]:
        name = os.path.basename(path)
        for key in sorted(set(base) - set(texts)):
            problems.append("%s lacks key %s (it is in %s)" % (name, key, base_name))
        for key in sorted(set(texts) - set(base)):
            problems.append("%s has key %s that %s lacks" % (name, key, base_name))
        for key in sorted(set(texts) & set(base)):
            if FIELD.findall(texts[key]) != FIELD.findall(base[key]):
                problems.append("%s: %s uses fields %s, %s uses %s"
                                % (key, name, FIELD.findall(texts[key]), base_name,
                                   FIELD.findall(base[key])))

    if problems:
        for p in problems:
            print("language tables: " + p, file=sys.stderr)
        return 1

    os.makedirs(out_dir, exist_ok=True)
    for path, lines, _ in tables:
        code = os.path.splitext(os.path.basename(path))[0]
        target = os.path.join(out_dir, "lang_%s.txt" % code)
        data = "".join(l.rstrip("\r") + "\r\n" for l in lines).encode("cp1251")
        tmp = target + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, target)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
