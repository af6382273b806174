#!/usr/bin/env python3
"""Offsets beyond 2^31 bytes: a sparse file whose first scan is
followed by a hole of NUL bytes (a NUL line: it ends the first scan's data
and is otherwise ignored), then a scan after the 2 GiB mark. They must be
indexed at their true offsets, listed and exported. The hole costs no disk
space; the indexer reads through it once.
"""
import os
import subprocess
import sys
import tempfile
import shutil
import e2e_util

HOLE_END = (1 << 31) + 12345  # past 2 GiB: a 32-bit offset would be negative


def main():
    a = e2e_util.parse_args()
    work = tempfile.mkdtemp(prefix="kurvatab-large-")
    try:
        path = os.path.join(work, "large.dat")
        head = b"#S 1 before\n1 2\n"
        tail = b"\n#S 7 after the hole\n#N 2\n5 50\n6 60\n"
        with open(path, "wb") as f:
            f.write(head)
            f.seek(HOLE_END)
            f.write(tail)
        env = dict(os.environ, HOME=work)
        env.pop("DISPLAY", None)
        cmd = b"t\np\ns 7\nw out.dat\n(i1,2,h)\nq\n"
        p = subprocess.run(["kurvatab", "large.dat"], executable=os.path.abspath(a.binary),
                           cwd=work, env=env, input=cmd, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=600)
        out = p.stdout
        failures = []

        def want(text):
            if text not in out:
                failures.append("missing %r" % text)

        # The hole is one line from offset 16 to the line feed at HOLE_END,
        # so the #S line is line 4.
        want(b"\n current file is : large.dat with 2 entries\n")
        want(b"    1  Scan    1  Lines    1 N   0 (1) before\n"
             b"    2  Scan    7  Lines    2 N   2 (4) after the hole\n")
        want(b"large.dat (i=2, s=7) >5 50\n6 60\nlarge.dat (i=2, s=7) >")
        want(b" writing data for (i=2, s=7) on 'out.dat'\n")
        want(b"#S 1 before\n#S 7 after the hole\n")
        with open(os.path.join(work, "out.dat"), "rb") as f:
            exported = f.read()
        # The comment block starts at the hole (cseek), a NUL line, which
        # is not a '#' line; then the header, the title and the data.
        expected = (b"#S 7 after the hole\n#N 2\n#\n#kurvatab extracted columns 1, -1 -2\n"
                    b"#\n#  x    y    n   \n#\n"
                    b"        5.00000              50               5\n"
                    b"        6.00000              60               6\n")
        if exported != expected:
            failures.append("out.dat differs:\n%r\n%r" % (exported, expected))
        if p.returncode != 0 or p.stderr:
            failures.append("status %d, stderr %r" % (p.returncode, p.stderr[-300:]))
        if failures:
            print("\n".join(failures))
            return 1
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
