#!/usr/bin/env python3
"""Reads HTML (UTF-8) on standard input and writes, one a line, what
Python's HTML parser finds in it:

    start<TAB>TAG[<TAB>NAME=VALUE]...   an opening tag and its attributes
    end<TAB>TAG                          a closing tag
    data<TAB>TEXT                        text that is not only white space

Character references are resolved; a tab, CR, LF or backslash inside a
name, value or text is written as \\t, \\r, \\n or \\\\. An attribute
without a value gets an empty one. The last line is "done": a reader that
cannot wait for this process waits for that line.
"""
import sys
from html.parser import HTMLParser


def escaped(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t")
            .replace("\r", "\\r").replace("\n", "\\n"))


class Events(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.lines = []

    def handle_starttag(self, tag, attrs):
        fields = ["start", tag]
        fields += [escaped(name) + "=" + escaped(value or "") for name, value in attrs]
        self.lines.append("\t".join(fields))

    def handle_endtag(self, tag):
        self.lines.append("end\t" + tag)

    def handle_data(self, data):
        if data.strip():
            self.lines.append("data\t" + escaped(data))


def main():
    try:
        parser = Events()
        parser.feed(sys.stdin.buffer.read().decode("utf-8"))
        parser.close()
        lines = parser.lines
    except Exception as e:  # the reader sees the error instead of waiting
        lines = ["error\t" + escaped(repr(e))]
    sys.stdout.buffer.write(("\n".join(lines + ["done"]) + "\n").encode("utf-8"))
    sys.stdout.flush()


if __name__ == "__main__":
    main()
