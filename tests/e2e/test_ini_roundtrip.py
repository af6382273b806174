#!/usr/bin/env python3
"""The initialization file across runs.

1. A first run with options and setting commands writes the file.
2. A second run in the same folder reads it back (its messages compared) and
   carries the settings on: the W export with the default format still ends
   each data line with its own line feed.
3. A third run whose write is made to fail part-way (a file size limit)
   leaves the file byte for byte as it was, and no temporary file beside it.
"""
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import e2e_util

FIRST_INI = (b"f demo.dat\n"
             b"x 3\ny -1\nz 2\n"
             b"A 1\nP 0\nL 0\nN 1\nE 0\nT 1\nl 0\n# 0\n"
             b" F%8.4lf %8.4lf\\n\n"
             b"C1 3\n"
             b"H DEVICE \"PNG\"\n")

SECOND_MESSAGES = (b"Using initialization file : kurvatab.ini\n"
                   b" using columns x=3 and y=-1 for xmgr, z=-2 as monitor\n"
                   b" using columns x=3 and y=-1 for xmgr, z=-2 as monitor\n"
                   b" using columns x=3 and y=-1 for xmgr, z=2 as monitor\n"
                   b" automatic autoscale turned on\n"
                   b" automatic purge turned off\n"
                   b" automatic log scale turned off\n"
                   b" automatic normalization turned on\n"
                   b" automatic errorbar turned off\n"
                   b" automatic title turned on\n"
                   b" automatic legend turned off\n"
                   b" comments in file turned off\n"
                   b" format used by the W command set to \"%8.4lf %8.4lf\n\"\n"
                   b" columns being \"1 -1\"\n"
                   b" columns used by the W command set to \"1 3\"\n"
                   b" format being \"%8.4lf %8.4lf\n\"\n"
                   b" parameters used by the h command set to \" DEVICE \"PNG\"\"\n")

SECOND_W = (b" printing 2 column(s) \"1 3\" with format \"%8.4lf %8.4lf\n\"\n"
            b" -1.0000   3.0000\n"
            b"  1.0000   4.0000\n")


def run(binary, work, commands, args=(), limit=None):
    def pre():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

    return subprocess.run(["kurvatab"] + list(args), executable=binary, cwd=work,
                          input=commands, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=60, preexec_fn=pre if limit else None)


def main():
    a = e2e_util.parse_args()
    binary = a.binary
    work = tempfile.mkdtemp(prefix="kurvatab-ini-")
    failures = []
    try:
        shutil.copy(os.path.join(a.source, "tests/e2e/data/demo.dat"), work)
        ini = os.path.join(work, "kurvatab.ini")

        p = run(binary, work, b"N\nl\n#\nz 2\nC1 3\nH DEVICE \"PNG\"\nq\n", ["-X3", "demo.dat"])
        if p.returncode != 0:
            failures.append("first run: exit status %d" % p.returncode)
        got = open(ini, "rb").read()
        if got != FIRST_INI:
            failures.append("first run wrote\n%r\nexpected\n%r" % (got, FIRST_INI))

        p = run(binary, work, b"W -\nq\n")
        if not p.stdout.startswith(SECOND_MESSAGES):
            failures.append("second run printed\n%s" % p.stdout.decode(errors="replace"))
        if SECOND_W not in p.stdout:
            failures.append("second run W export:\n%s" % p.stdout.decode(errors="replace"))
        if open(ini, "rb").read() != FIRST_INI:
            failures.append("second run changed the file")

        # The limit lets the write start but not finish.
        p = run(binary, work, b"H " + b"x" * 4000 + b"\nq\n", limit=200)
        if p.returncode != 0:
            failures.append("failed write: exit status %d" % p.returncode)
        if open(ini, "rb").read() != FIRST_INI:
            failures.append("failed write changed the file")
        left = sorted(n for n in os.listdir(work) if n != "demo.dat")
        if left != ["kurvatab.ini"]:
            failures.append("files left beside it: %r" % left)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return e2e_util.report(failures)


if __name__ == "__main__":
    sys.exit(main())
