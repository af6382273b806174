#!/usr/bin/env python3
"""Offsets beyond 2^31 bytes: a sparse file whose first scan is followed by
a hole of NUL bytes (one NUL line: it ends the first scan's data), then a
scan past the 2 GiB mark, which is indexed at its true offset, listed and
exported."""
import os
import sys
import tempfile

import e2e_util as e

HOLE_END = (1 << 31) + 12345  # a 32-bit offset would be negative


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-large-") as work:
        with open(os.path.join(work, "large.dat"), "wb") as f:
            f.write(b"#S 1 before\n1 2\n")
            f.seek(HOLE_END)
            f.write(b"\n#S 7 after the hole\n#N 2\n5 50\n6 60\n")
        p = e.run(a.binary, work, ["large.dat"], b"t\np\nw out.dat\n(i1,2,h)\nq\n", timeout=600)
        # The hole is one line from offset 16 to the line feed at HOLE_END,
        # so the #S line is line 4.
        e.check(b" current file is : large.dat with 2 entries\n"
                b"    1  Scan    1  Lines    1 N   0 (1) before\n"
                b"    2  Scan    7  Lines    2 N   2 (4) after the hole\n" in p.stdout
                and b"large.dat (i=2, s=7) >5 50\n6 60\n" in p.stdout
                and b"#S 1 before\n#S 7 after the hole\n" in p.stdout, "%r" % p.stdout)
        # The comment block starts at the hole, a NUL line and not a '#' line.
        with open(os.path.join(work, "out.dat"), "rb") as f:
            e.check(f.read() == b"#S 7 after the hole\n#N 2\n#\n#kurvatab extracted columns 1, -1 -2\n"
                    b"#\n#  x    y    n   \n#\n        5.00000              50               5\n"
                    b"        6.00000              60               6\n", "out.dat differs")
        e.check(p.returncode == 0 and p.stderr == b"", "status %d" % p.returncode)
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
