#!/usr/bin/env python3
"""Builds the two data tables that Brenix compiles in.

AddFahInfo.txt      the project table: a header line, then one line per project,
                    "#number;server;work unit name;atoms;preferred days;
                    final deadline days;credit;frames;core", taken from a saved
                    copy of the server's project summary page.
UploadSizeInfo.txt  result upload sizes, "#project;size;0" (size in bytes), taken
                    from client logs: for every finished unit, the compressed
                    size (or, without one, the size written to disk) reported in
                    the ten lines before "Core Shutdown: FINISHED_UNIT", with
                    the project of the nearest project line above them. When a
                    project finished more than once, its newest size is kept.

Run it by hand when the sources change and commit the two text files:

    python3 resources/tables/make_tables.py [summary.html] [log folder]

Defaults: the real client files in tests/data/realdata.
"""

import glob
import html.parser
import os
import re
import sys

HEADER = ("Project Number;Server IP;Work Unit Name;Number of Atoms;"
          "Preferred (days);Final deadline (days);Credit;Frames;Code")
KEPT_CELLS = 9   # every cell before the description link


class SummaryRows(html.parser.HTMLParser):
    """Collects the text of the cells of every table row."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows = []
        self._row = None
        self._cell = None

    def handle_starttag(self, tag, attrs):
        if tag == "tr":
            self._finish_row()
            self._row = []
        elif tag == "td" and self._row is not None:
            self._finish_cell()
            self._cell = []

    def handle_endtag(self, tag):
        if tag == "td":
            self._finish_cell()
        elif tag == "tr":
            self._finish_row()

    def handle_data(self, data):
        if self._cell is not None:
            self._cell.append(data)

    def close(self):
        super().close()
        self._finish_row()

    def _finish_cell(self):
        if self._cell is not None and self._row is not None:
            self._row.append("".join(self._cell))
        self._cell = None

    def _finish_row(self):
        self._finish_cell()
        if self._row:
            self.rows.append(self._row)
        self._row = None


def clean(text):
    # One line per project and ";" between fields: neither may occur in a field.
    text = re.sub(r"[\x00-\x1f\x7f]", " ", text).replace("\xa0", " ")
    return text.replace(";", ",").strip()


def project_table(summary_path):
    with open(summary_path, encoding="utf-8", errors="replace") as f:
        parser = SummaryRows()
        parser.feed(f.read())
        parser.close()
    lines = [HEADER]
    for cells in parser.rows:
        if len(cells) < KEPT_CELLS:
            continue
        number = cells[0].strip()
        if not number.isdigit() or int(number) <= 0:
            continue
        fields = [str(int(number))] + [clean(c) for c in cells[1:KEPT_CELLS]]
        lines.append("#" + ";".join(fields))
    return lines


PROJECT_LINE = re.compile(r"\] PROJECT: (\d+)")


def is_project_line(upper):
    return (("] PROJECT: " in upper and "RUN" in upper and "CLONE" in upper
             and "GEN" in upper) or "] PROJECT=" in upper)


def finished_units(log_path):
    """(project, bytes) of every finished unit of one log, oldest first."""
    with open(log_path, encoding="latin-1") as f:
        lines = [ln.upper() for ln in f.read().splitlines()]
    found = []
    for index, line in enumerate(lines):
        if "CORE SHUTDOWN: FINISHED_UNIT" not in line:
            continue
        i = index - 1
        if i < 1:
            continue
        size = 0
        for k in range(i, max(i - 10, 0), -1):
            text = lines[k]
            if "->" in text and "(COMPRESSED TO" in text:
                part = text[text.index("->") + 2:text.index("(COMPRESSED TO")]
            elif "WRITING" in text and "BYTES OF CORE DATA TO DISK" in text:
                part = text[text.index("WRITING") + 7:text.index("BYTES OF CORE DATA TO DISK")]
            else:
                continue
            part = part.strip()
            size = int(part) if part.isdigit() else 0
            break
        if size < 1:
            continue
        project = 0
        for k in range(i - 11, -1, -1):
            if is_project_line(lines[k]):
                m = PROJECT_LINE.search(lines[k])
                project = int(m.group(1)) if m else 0
                break
        if project >= 1:
            found.append((project, size))
    return found


def upload_table(log_folder):
    sizes = {}
    for path in sorted(glob.glob(os.path.join(log_folder, "fahlog-*.txt"))):
        for project, size in finished_units(path):
            sizes[project] = size   # a later unit replaces an earlier one
    return ["#%d;%d;0" % (p, sizes[p]) for p in sorted(sizes)]


def write_lines(path, lines):
    with open(path, "w", encoding="ascii", newline="") as f:
        f.write("".join(line + "\r\n" for line in lines))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    realdata = os.path.normpath(os.path.join(here, "..", "..", "tests", "data", "realdata"))
    summary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        realdata, "psummary-2009-newformat-kfactor.html")
    logs = sys.argv[2] if len(sys.argv) > 2 else realdata
    projects = project_table(summary)
    uploads = upload_table(logs)
    write_lines(os.path.join(here, "AddFahInfo.txt"), projects)
    write_lines(os.path.join(here, "UploadSizeInfo.txt"), uploads)
    print("%d projects, %d upload sizes" % (len(projects) - 1, len(uploads)))


if __name__ == "__main__":
    main()
