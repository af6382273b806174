#!/usr/bin/env python3
"""The two ends of a run.

1. Standard input is closed when the program starts: the scan file opened
   next must not take its place and be read as commands. The program finds
   the end of input at once and ends normally.
2. The initialization file cannot be written at q (the write fails part-way
   at a file size limit): the program still ends normally, and the file is
   left as it was, with nothing beside it.
"""
import os
import resource
import signal
import sys
import tempfile

import e2e_util as e


def limit_file_size():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (200, 200))


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-ends-") as work:
        with open(os.path.join(work, "demo.dat"), "wb") as f:
            f.write(e.demo(a.source))
        p = e.run(a.binary, work, ["demo.dat"], stdin=None, preexec_fn=lambda: os.close(0))
        e.check(p.returncode == 0 and p.stderr == b"", "stdin closed: status %d" % p.returncode)
        # The scan file's '#' lines would turn the comments on and off.
        e.check(p.stdout.endswith(b"demo.dat (i=2, s=2) >") and b"turned" not in p.stdout,
                "a line of the scan file ran as a command: %r" % p.stdout[-200:])

    with tempfile.TemporaryDirectory(prefix="kurvatab-ends-") as work:
        ini = os.path.join(work, "kurvatab.ini")
        with open(ini, "wb") as f:
            f.write(b"x 3\n")
        os.chmod(ini, 0o600)
        p = e.run(a.binary, work, stdin=b"H " + b"x" * 4000 + b"\nq\n", preexec_fn=limit_file_size)
        e.check(p.returncode == 0 and p.stderr == b"" and p.stdout.endswith(b"NO FILE >"),
                "unwritable ini: status %d, %r" % (p.returncode, p.stdout[-200:]))
        with open(ini, "rb") as f:
            e.check(f.read() == b"x 3\n", "the initialization file changed")
        e.check(os.listdir(work) == ["kurvatab.ini"], "left in the folder: %r" % os.listdir(work))
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
