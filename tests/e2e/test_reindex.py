#!/usr/bin/env python3
"""Drives kurvatab through a pipe while the scan file grows.

The program is started on the two-scan demo file; between commands scans and
data lines are appended to the file. Looking at the last scan (i, p) or
asking for a scan number not in the table (s) must reindex the file, while
listing an earlier scan must not. Each prompt must reach the pipe before the
program waits for the next command.
"""
import os
import select
import shutil
import subprocess
import sys
import tempfile
import e2e_util

TIMEOUT = 20


class Session:
    def __init__(self, binary, work):
        env = dict(os.environ, HOME=work)
        env.pop("DISPLAY", None)
        self.p = subprocess.Popen(["kurvatab", "demo.dat"], executable=binary, cwd=work, env=env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)

    def until_prompt(self):
        """Everything printed up to and including the next prompt."""
        out = b""
        while not out.endswith(b" >"):
            ready, _, _ = select.select([self.p.stdout], [], [], TIMEOUT)
            if not ready:
                raise AssertionError("no prompt within %ds; got %r" % (TIMEOUT, out))
            chunk = os.read(self.p.stdout.fileno(), 65536)
            if not chunk:
                raise AssertionError("output ended before a prompt; got %r" % out)
            out += chunk
        return out.decode()

    def command(self, line):
        self.p.stdin.write(line.encode() + b"\n")
        self.p.stdin.flush()
        return self.until_prompt()


def expect(what, want, got, failures):
    if want != got:
        failures.append("%s:\n--- expected\n%r\n--- actual\n%r" % (what, want, got))


def closing(n):
    return "\n current file is : demo.dat with %d entries\n" % n


def main():
    a = e2e_util.parse_args()
    work = tempfile.mkdtemp(prefix="kurvatab-reindex-")
    failures = []
    s = None
    try:
        demo = os.path.join(work, "demo.dat")
        shutil.copy(os.path.join(a.source, "tests/e2e/data/demo.dat"), demo)

        def append(text):
            with open(demo, "a") as f:
                f.write(text)

        s = Session(os.path.abspath(a.binary), work)
        start = s.until_prompt()
        expect("start-up", True, start.endswith("demo.dat (i=2, s=2) >"), failures)

        # Nothing changed: looking at the last scan does not reindex.
        expect("i unchanged", "demo.dat (i=2, s=2) >", s.command("i"), failures)

        append("#S 3  third scan\n#N 3\n0 1 2\n")
        expect("i at a new position",
               "reindexing\n" + closing(3) + "demo.dat (i=3, s=3) >", s.command("i 3"), failures)

        append("#S 4  fourth scan\n#N 3\n5 6 7\n")
        expect("p on the last scan",
               "reindexing\n" + closing(4) + "0 1 2\ndemo.dat (i=3, s=3) >", s.command("p"),
               failures)

        # New data lines of the last scan are picked up too.
        append("8 9 10\n")
        expect("p after data were added",
               "reindexing\n" + closing(4) + "5 6 7\n8 9 10\ndemo.dat (i=4, s=4) >",
               s.command("p +1"), failures)

        append("#S 5  fifth scan\n#N 3\n1 1 1\n")
        # An earlier scan is listed without a length test.
        expect("p on an earlier scan", "0 1000 12\n1 1000 15\ndemo.dat (i=1, s=1) >",
               s.command("p 1"), failures)
        expect("s for a new scan number",
               " scan 5 not found in the index_table, reindexing\n" + closing(5) +
               "demo.dat (i=5, s=5) >", s.command("s 5"), failures)
        expect("s for a missing number",
               " scan 9 not found in the index_table, ???\ndemo.dat (i=5, s=5) >",
               s.command("s 9"), failures)
        expect("t shows the grown table",
               "    1  Scan    1  Lines    2 N   3 (3) first scan\n"
               "    2  Scan    2  Lines    2 N   3 (10) second scan\n"
               "    3  Scan    3  Lines    1 N   3 (15) third scan\n"
               "    4  Scan    4  Lines    2 N   3 (18) fourth scan\n"
               "    5  Scan    5  Lines    1 N   3 (22) fifth scan\n"
               "demo.dat (i=5, s=5) >", s.command("t"), failures)

        # End of input ends the session like q.
        s.p.stdin.close()
        rest = s.p.stdout.read()
        status = s.p.wait(TIMEOUT)
        err = s.p.stderr.read()
        expect("output after end of input", b"", rest, failures)
        expect("exit status", 0, status, failures)
        expect("stderr", b"", err, failures)
        expect("initialization file written", True,
               os.path.exists(os.path.join(work, "kurvatab.ini")), failures)
    finally:
        if s and s.p.poll() is None:
            s.p.kill()
            s.p.wait()
        shutil.rmtree(work, ignore_errors=True)
    return e2e_util.report(failures)


if __name__ == "__main__":
    sys.exit(main())
