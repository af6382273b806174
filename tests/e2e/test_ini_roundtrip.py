#!/usr/bin/env python3
"""The initialization file across runs: a run with options and setting
commands writes it at q; the next run reads it back and carries the settings
on (the W export with the default format still ends each data line with its
own line feed); a run whose write fails part-way (a file size limit) still
quits normally and leaves the file as it was."""
import os
import resource
import signal
import sys
import tempfile

import e2e_util as e

FIRST_INI = (b"f demo.dat\nx 3\ny -1\nz 2\nA 1\nP 0\nL 0\nN 1\nE 0\nT 1\nl 0\n# 0\n"
             b" F%8.4lf %8.4lf\\n\nC1 3\nH DEVICE \"PNG\"\n")


def limit_file_size():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (200, 200))


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-ini-") as work:
        with open(os.path.join(work, "demo.dat"), "wb") as f:
            f.write(e.demo(a.source))
        ini = os.path.join(work, "kurvatab.ini")

        def ini_is(what):
            with open(ini, "rb") as f:
                got = f.read()
            e.check(got == FIRST_INI, "%s: the file holds\n%r" % (what, got))

        e.run(a.binary, work, ["-X3", "demo.dat"], b"N\nl\n#\nz 2\nC1 3\nH DEVICE \"PNG\"\nq\n")
        ini_is("first run")
        p = e.run(a.binary, work, stdin=b"W -\nq\n")
        e.check(b" printing 2 column(s) \"1 3\" with format \"%8.4lf %8.4lf\n\"\n"
                b" -1.0000   3.0000\n  1.0000   4.0000\n" in p.stdout,
                "second run: %s" % p.stdout.decode(errors="replace"))
        ini_is("second run")
        p = e.run(a.binary, work, stdin=b"H " + b"x" * 4000 + b"\nq\n", preexec_fn=limit_file_size)
        e.check(p.returncode == 0 and p.stdout.endswith(b" >"), "failed write: status %d" %
                p.returncode)
        ini_is("failed write")
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
