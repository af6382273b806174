#!/usr/bin/env python3
"""Each letter of the command table in src/frontend/interpreter.cc has an entry
with an example in the man page and the HTML manual; both name the loop syntax
and the files used; the HTML manual shows the plot; the man page has no warnings."""
import html
import os
import re
import shutil
import subprocess
import sys

import e2e_util as e

TOPICS = ("kurvatab.par", "kurvatab.bat", "kurvatab.ini", "(3,5,w)", "#S", "#N", "scan file",
          "%15.7lg", "extracted columns", "plot.png", ".kurvatab_history", "KURVATAB_NO_CACHE",
          ".cache/kurvatab")


def read(source, name):
    with open(os.path.join(source, name)) as f:
        return f.read()


def man_entries(text):
    """Command entries of the man page: letter -> its text up to the next entry."""
    parts = re.split(r"(?m)^\.TP\n", text)[1:]
    return {m.group(1): re.split(r"(?m)^\.SH ", p)[0]
            for p in parts for m in [re.match(r"\.BR? (\S)(?: |\n)", p)] if m}


def html_entries(text):
    return {html.unescape(m.group(1)): m.group(2) for m in re.finditer(
        r'<dt class="cmd"><kbd>(.*?)</kbd>.*?</dt>\s*<dd>(.*?)</dd>', text, re.S)}


def main():
    a = e.parse_args()
    table = set(re.findall(r"\{'(.)', cmd_", read(a.source, "src/frontend/interpreter.cc")))
    e.check(len(table) >= 30, "command table read from interpreter.cc (%d letters)" % len(table))
    man, page = read(a.source, "docs/kurvatab.1"), read(a.source, "docs/kurvatab.html")
    for name, entries, example in (("man page", man_entries(man), "Example:"),
                                   ("HTML manual", html_entries(page), '<pre class="example">')):
        for letter in sorted(table):
            e.check(example in entries.get(letter, ""), "%s: no entry with an example for %r"
                    % (name, letter))
    for name, text in (("man page", man), ("HTML manual", page)):
        for topic in TOPICS:
            e.check(topic in text, "%s does not mention %s" % (name, topic))
    e.check('<img src="plot.png"' in page and os.path.isfile(os.path.join(a.source, "docs/plot.png")),
            "HTML manual does not show docs/plot.png")
    if shutil.which("groff"):
        p = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z",
                            os.path.join(a.source, "docs/kurvatab.1")], capture_output=True)
        e.check(p.returncode == 0 and p.stderr == b"", "man page warnings: %r" % p.stderr[:500])
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
