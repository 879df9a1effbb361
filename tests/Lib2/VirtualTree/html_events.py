#!/usr/bin/env python3
"""Reads HTML (UTF-8) on standard input and writes what Python's HTML parser
finds in it, one event a line, fields split by tabs: "start TAG NAME=VALUE...",
"end TAG", "data TEXT" (character references resolved, white space alone
left out, tabs and line breaks inside made blanks). The last line is "done":
a reader that cannot wait for this process waits for that line."""
import sys
from html.parser import HTMLParser


def flat(text):
    return text.replace("\t", " ").replace("\r", " ").replace("\n", " ")


class Events(HTMLParser):
    lines = []

    def handle_starttag(self, tag, attrs):
        self.lines.append("\t".join(["start", tag] + [flat(n + "=" + (v or "")) for n, v in attrs]))

    def handle_endtag(self, tag):
        self.lines.append("end\t" + tag)

    def handle_data(self, data):
        if data.strip():
            self.lines.append("data\t" + flat(data))


parser = Events()
parser.feed(sys.stdin.buffer.read().decode("utf-8"))
parser.close()
sys.stdout.buffer.write(("\n".join(parser.lines + ["done"]) + "\n").encode("utf-8"))
