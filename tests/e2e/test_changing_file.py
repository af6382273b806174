#!/usr/bin/env python3
"""The scan file changes underneath the running program.

1. A second process appends scans, data lines and half lines (a line written
   in two parts with a pause between) while the program lists the last scan
   (p), looks scans up by number (s) and runs a loop from the last scan into
   the new ones. Afterwards the index table ("t") equals the table of a fresh
   run on the final file.
2. The file is truncated, then replaced by a shorter one, after indexing:
   every command still answers (no crash, no hang) and the readers stop at
   the end of the file.
"""
import os
import select
import shutil
import subprocess
import sys
import tempfile

import e2e_util

TIMEOUT = 30

WRITER = r"""
import os, sys, time
path, first = sys.argv[1], int(sys.argv[2])
with open(path, "ab", buffering=0) as f:
    for n in range(first, first + 40):
        f.write(b"#S %d  scan %d\n#N 3\n#L x  mon  det\n" % (n, n))
        for k in range(5):
            line = b"%d 1000 %d\n" % (k, n * 10 + k)
            if k == 2:  # half a line, the rest a moment later
                f.write(line[:3]); time.sleep(0.003); f.write(line[3:])
            else:
                f.write(line)
        if n % 7 == 0:
            f.write(b"#C half a comment"); time.sleep(0.003); f.write(b" line\n")
        time.sleep(0.01)
"""

DEMO = (b"#F demo\n\n#S 1  first scan\n#N 3\n#L x  mon  det\n0 1000 12\n1 1000 15\n"
        b"#D stopped\n\n#S 2  second scan\n#N 3\n#L x  mon  det\n-1 1000 3\n1 1000 4\n")


class Program:
    def __init__(self, binary, work, name):
        env = dict(os.environ, HOME=work)
        env.pop("DISPLAY", None)
        self.p = subprocess.Popen(["kurvatab", name], executable=binary, cwd=work, env=env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        self.startup = self.until_prompt()

    def until_prompt(self):
        out = b""
        while not out.endswith(b" >"):
            ready, _, _ = select.select([self.p.stdout], [], [], TIMEOUT)
            if not ready:
                raise AssertionError("no prompt within %ds; got %r" % (TIMEOUT, out[-500:]))
            chunk = os.read(self.p.stdout.fileno(), 1 << 16)
            if not chunk:
                raise AssertionError("output ended before a prompt; got %r" % out[-500:])
            out += chunk
        return out

    def command(self, line):
        self.p.stdin.write(line + b"\n")
        self.p.stdin.flush()
        return self.until_prompt()

    def quit(self):
        self.p.stdin.write(b"q\n")
        self.p.stdin.close()
        self.p.wait(timeout=TIMEOUT)
        return self.p.returncode, self.p.stderr.read()


def table(out):
    """The index table lines of a "t" command's output (the prompt cut off)."""
    return out[:out.rfind(b"\n") + 1]


def fresh_table(binary, work, name):
    env = dict(os.environ, HOME=work)
    env.pop("DISPLAY", None)
    p = subprocess.run(["kurvatab", name], executable=binary, cwd=work, env=env,
                       input=b"t\nq\n", stdout=subprocess.PIPE, timeout=TIMEOUT)
    return table(p.stdout.split(b" >")[1])


def growing(binary, failures):
    work = tempfile.mkdtemp(prefix="kurvatab-grow-")
    try:
        path = os.path.join(work, "grow.dat")
        with open(path, "wb") as f:
            f.write(DEMO)
        prog = Program(binary, work, "grow.dat")
        writer = subprocess.Popen([sys.executable, "-c", WRITER, path, "3"])
        seen = b""
        while writer.poll() is None:
            seen += prog.command(b"p")       # the last scan: reindexes a grown file
            seen += prog.command(b"s +1")    # the next scan number
            seen += prog.command(b"(,999,h)")  # a loop from here into the new scans
        writer.wait()
        if writer.returncode != 0:
            failures.append("the writer failed")
        # Look at the end once more, then compare with a fresh index.
        prog.command(b"i")
        mine = table(prog.command(b"t"))
        rc, err = prog.quit()
        want = fresh_table(binary, work, "grow.dat")
        if mine != want:
            failures.append("table after growing differs\n--- fresh\n%s\n--- running\n%s"
                            % (want.decode(errors="replace"), mine.decode(errors="replace")))
        if want.count(b"\n") != 42:
            failures.append("fresh table has %d rows, expected 42" % want.count(b"\n"))
        if b"reindexing" not in seen:
            failures.append("the program never reindexed while the file grew")
        if rc != 0 or err:
            failures.append("growing: status %d, stderr %r" % (rc, err[-500:]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def shrinking(binary, failures):
    work = tempfile.mkdtemp(prefix="kurvatab-shrink-")
    try:
        path = os.path.join(work, "cut.dat")
        with open(path, "wb") as f:
            f.write(DEMO)
        prog = Program(binary, work, "cut.dat")
        # Cut short inside scan 2's data: the readers stop at the end.
        os.truncate(path, 120)
        out = prog.command(b"p 1") + prog.command(b"c 1") + prog.command(b"w -")
        if b"0 1000 12\n1 1000 15\n" not in out:
            failures.append("shrinking: scan 1 no longer listed: %r" % out[-300:])
        # Listing scan 2 notices the change and indexes the file as it is.
        out = prog.command(b"p 2")
        if b"\n current file is : cut.dat with 2 entries\n" not in out:
            failures.append("shrinking: no reindex after the cut: %r" % out[-300:])
        # Replaced by a different, shorter file under the same name.
        with open(path + ".new", "wb") as f:
            f.write(b"#S 9 other\n1 2\n")
        os.rename(path + ".new", path)
        for cmd in (b"p", b"S", b"c", b"w -", b"W -", b"(i1,5,e)", b"s 9", b"r", b"t"):
            prog.command(cmd)
        # Emptied completely: still answers.
        with open(path, "r+b") as f:
            f.truncate(0)
        for cmd in (b"p", b"s 2", b"(1,2,p)", b"r", b"t", b"i 1"):
            prog.command(cmd)
        rc, err = prog.quit()
        if rc != 0 or err:
            failures.append("shrinking: status %d, stderr %r" % (rc, err[-500:]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    a = e2e_util.parse_args()
    binary = a.binary
    failures = []
    growing(binary, failures)
    shrinking(binary, failures)
    return e2e_util.report(failures, "\n\n")


if __name__ == "__main__":
    sys.exit(main())
