#!/usr/bin/env python3
"""A standard input that is closed when the program starts: the scan file
opened next must not take its place and be read as commands. The program
starts, finds the end of input at once and ends normally."""
import os
import sys
import tempfile

import e2e_util as e


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-stdin-") as work:
        with open(os.path.join(work, "demo.dat"), "wb") as f:
            f.write(e.demo(a.source))
        p = e.run(a.binary, work, ["demo.dat"], stdin=None, preexec_fn=lambda: os.close(0))
        e.check(p.returncode == 0 and p.stderr == b"", "status %d, %r" % (p.returncode, p.stderr))
        # Its '#' lines would turn the comments on and off.
        e.check(p.stdout.endswith(b"demo.dat (i=2, s=2) >") and b"turned" not in p.stdout,
                "a line of the scan file ran as a command: %r" % p.stdout[-200:])
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
