#!/usr/bin/env python3
"""Quitting when the initialization file cannot be written: the write fails
part-way (a file size limit), the program still ends normally, and the file
is left as it was, with nothing beside it."""
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
    with tempfile.TemporaryDirectory(prefix="kurvatab-ini-") as work:
        ini = os.path.join(work, "kurvatab.ini")
        with open(ini, "wb") as f:
            f.write(b"x 3\n")
        os.chmod(ini, 0o600)
        p = e.run(a.binary, work, stdin=b"H " + b"x" * 4000 + b"\nq\n", preexec_fn=limit_file_size)
        e.check(p.returncode == 0 and p.stderr == b"" and p.stdout.endswith(b"NO FILE >"),
                "status %d, %r" % (p.returncode, p.stdout[-200:]))
        with open(ini, "rb") as f:
            e.check(f.read() == b"x 3\n", "the file changed")
        e.check(os.listdir(work) == ["kurvatab.ini"], "left in the folder: %r" % os.listdir(work))
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
