#!/usr/bin/env python3
"""The manual documents every command of the interpreter.

The command letters are taken from the program itself: its command table in
src/frontend/interpreter.cc and the help text that `?` prints. Each letter
must have an entry with an example in both the man page (docs/kurvatab.1)
and the HTML manual (docs/kurvatab.html); both must cover the loop syntax,
the initialization file and the Grace files, and the HTML manual shows the
plot picture. The man page must format without warnings.
"""
import html
import os
import re
import shutil
import subprocess
import sys
import tempfile
import e2e_util

FAILURES = []


def check(cond, what):
    if not cond:
        FAILURES.append(what)
        sys.stderr.write("FAIL: %s\n" % what)


def table_letters(source):
    text = open(os.path.join(source, "src/frontend/interpreter.cc")).read()
    return set(re.findall(r"\{'(.)', cmd_", text))


def help_letters(binary):
    work = tempfile.mkdtemp(prefix="kurvatab-manual-")
    try:
        env = dict(os.environ, HOME=work)
        p = subprocess.run(["kurvatab"], executable=binary, cwd=work, env=env, input=b"?\nq\n",
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    out = p.stdout.decode("latin-1")
    start = out.index("recognized commands are")
    end = out.index("type ? to get list of commands", start)
    letters = set()
    for line in out[start:end].splitlines()[1:]:
        if not line.startswith("  "):
            continue
        # "  v : ...", "  S, c : ...", "  x, y , z : ...", "  b to send ..."
        letters |= set(re.findall(r"(?:^|\s)([^\s,:])(?=\s*[,:]|\s+to send)", line))
    return letters


def man_entries(text):
    """Command entries of the man page: letter -> its text up to the next entry."""
    entries = {}
    parts = re.split(r"(?m)^\.TP\n", text)
    for part in parts[1:]:
        m = re.match(r"\.BR? (\S)(?: |\n)", part)
        if m:
            entries[m.group(1)] = re.split(r"(?m)^\.SH ", part)[0]
    return entries


def html_entries(text):
    entries = {}
    for m in re.finditer(r'<dt class="cmd"><kbd>(.*?)</kbd>.*?</dt>\s*<dd>(.*?)</dd>', text, re.S):
        entries[html.unescape(m.group(1))] = m.group(2)
    return entries


def main():
    a = e2e_util.parse_args()
    binary = a.binary

    table = table_letters(a.source)
    helped = help_letters(binary)
    # Guard against a parser that finds nothing: the table has 32 commands.
    check(len(table) >= 30, "command table read from interpreter.cc (%d letters)" % len(table))
    check(len(helped) >= 29, "command letters read from the help text (%d)" % len(helped))
    check(helped <= table, "help text names letters not in the table: %s" % sorted(helped - table))
    letters = table | helped

    man = open(os.path.join(a.source, "docs/kurvatab.1")).read()
    page = open(os.path.join(a.source, "docs/kurvatab.html")).read()
    men = man_entries(man)
    hen = html_entries(page)
    for L in sorted(letters):
        check(L in men, "man page has no entry for command %r" % L)
        check(L in hen, "HTML manual has no entry for command %r" % L)
        if L in men:
            check("Example:" in men[L], "man page entry %r has no example" % L)
        if L in hen:
            check('<pre class="example">' in hen[L], "HTML entry %r has no example" % L)

    for name, text in (("man page", man), ("HTML manual", page)):
        for topic in ("kurvatab.par", "kurvatab.bat", "kurvatab.ini", "(3,5,w)", "#S", "#N",
                      "scan file", "%15.7lg", "extracted columns", "plot.png",
                      ".kurvatab_history", "KURVATAB_NO_CACHE", ".cache/kurvatab"):
            check(topic in text, "%s does not mention %s" % (name, topic))
    check('<img src="plot.png"' in page, "HTML manual does not show plot.png")
    check(os.path.isfile(os.path.join(a.source, "docs/plot.png")), "docs/plot.png missing")
    check("kurvatab.html" in open(os.path.join(a.source, "src/frontend/interpreter.cc")).read(),
          "the help text points to kurvatab.html")

    if shutil.which("groff"):
        p = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z",
                            os.path.join(a.source, "docs/kurvatab.1")],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        check(p.returncode == 0 and p.stderr == b"",
              "man page formats without warnings: %r" % p.stderr[:500])
    if FAILURES:
        sys.exit(1)
    print("ok: %d commands documented" % len(letters))


if __name__ == "__main__":
    main()
