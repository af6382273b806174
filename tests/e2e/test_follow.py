#!/usr/bin/env python3
"""Following a running scan in the console (`U`), with a writer appending to
the scan file while kurvatab runs: the exact output, a typed line and Ctrl-C
ending the follow but not the program, the current index after it, and a
file replaced after `d` moved the working folder away."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

import e2e_util

SCAN1 = "#F f\n#S 1 first\n#N 3\n#L x m y\n1 10 100\n2 10 200\n"
START = " following scan 1 (i=1) of s.dat, Enter or Ctrl-C ends\n#S 1 first\n1 10 100\n2 10 200\n"


class Run:
    """kurvatab on s.dat in a fresh folder, its output collected as it comes."""

    def __init__(self, binary, cmds):
        self.work = tempfile.mkdtemp(prefix="kurvatab-follow-")
        self.path = os.path.join(self.work, "s.dat")
        with open(self.path, "w") as f:
            f.write(SCAN1)
        env = dict(os.environ, HOME=self.work)
        self.p = subprocess.Popen(["kurvatab", "s.dat"], executable=binary, cwd=self.work, env=env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        self.out = b""
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._read)
        self.reader.start()
        self.send(cmds)

    def _read(self):
        for chunk in iter(lambda: self.p.stdout.read1(65536), b""):
            with self.lock:
                self.out += chunk

    def text(self):
        with self.lock:
            return self.out.decode("latin-1")

    def wait_for(self, what, timeout=10):
        end = time.time() + timeout
        while what not in self.text():
            if time.time() > end:
                raise AssertionError("no %r in output:\n%s" % (what, self.text()))
            time.sleep(0.02)

    def send(self, text):
        self.p.stdin.write(text.encode())
        self.p.stdin.flush()

    def append(self, text, pause=0.15):
        with open(self.path, "a") as f:
            f.write(text)
        time.sleep(pause)

    def finish(self, cmds=""):
        if cmds:
            self.send(cmds)
        self.p.stdin.close()
        rc = self.p.wait(timeout=20)
        self.reader.join()
        err = self.p.stderr.read().decode("latin-1")
        shutil.rmtree(self.work, ignore_errors=True)
        out = self.text()
        return rc, out[out.index(" following scan 1"):] if " following scan 1" in out else out, err


def main():
    a = e2e_util.parse_args()
    failures = []

    def expect(name, got, want):
        if got != want:
            failures.append("%s:\n--- expected\n%s\n--- got\n%s" % (name, want, got))

    # Appended lines, a half line completed later, a '#' line, a new scan;
    # a typed line ends the follow and is not run; the new scan is current.
    r = Run(a.binary, "U\n")
    r.wait_for(START)
    r.append("3 10 300\n#C pause\n4 10")
    r.append(" 400\n")
    r.append("#S 2 second\n#N 3\n5 1 1\n")
    r.wait_for("5 1 1\n")
    r.send("q\n")  # ends the follow only
    rc, out, err = r.finish("p\nq\n")
    expect("typed line", (rc, out, err),
           (0, START + "3 10 300\n#C pause\n4 10 400\n"
            " following scan 2 (i=2)\n#S 2 second\n5 1 1\n"
            "s.dat (i=2, s=2) >5 1 1\ns.dat (i=2, s=2) >", ""))

    # Ctrl-C ends the follow, not the program.
    r = Run(a.binary, "U\n")
    r.wait_for(START)
    r.p.send_signal(signal.SIGINT)
    r.wait_for(START + "s.dat (i=1, s=1) >")
    r.append("3 10 300\n", 0)
    rc, out, err = r.finish("p\nq\n")
    expect("Ctrl-C", (rc, out, err),
           (0, START + "s.dat (i=1, s=1) >reindexing\n\n current file is : s.dat with 1 entries\n"
            "1 10 100\n2 10 200\n3 10 300\ns.dat (i=1, s=1) >", ""))

    # A file replaced under its name is found by its path after `d`.
    r = Run(a.binary, "d /\nU\n")
    r.wait_for(START)
    tmp = os.path.join(r.work, "new.dat")
    with open(tmp, "w") as f:
        f.write("#S 9 nine\n7 8 9\n")
    os.rename(tmp, r.path)
    r.wait_for("7 8 9\n")
    r.append("8 9 10\n")
    r.wait_for("8 9 10\n")
    rc, out, err = r.finish("\nq\n")
    expect("replaced", (rc, out, err),
           (0, START + " file s.dat was replaced: index table rebuilt with 1 entries, following "
            "scan 9 (i=1)\n#S 9 nine\n7 8 9\n8 9 10\ns.dat (i=1, s=9) >", ""))

    return e2e_util.report(failures)


if __name__ == "__main__":
    sys.exit(main())
