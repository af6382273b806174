#!/usr/bin/env python3
"""`U` follows the scan file while it is appended to (a half line, a new scan) and then
replaced after `d` moved away; a typed line ends the follow without being run."""
import os
import select
import subprocess
import sys
import tempfile
import time

import e2e_util as e

START = b" following scan 1 (i=1) of s.dat, Enter or Ctrl-C ends\n#S 1 first\n1 10 100\n2 10 200\n"


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-follow-") as work:
        path = os.path.join(work, "s.dat")
        with open(path, "w") as f:
            f.write("#F f\n#S 1 first\n#N 3\n#L x m y\n1 10 100\n2 10 200\n")
        p = subprocess.Popen(["kurvatab", "s.dat"], executable=a.binary, cwd=work,
                             env=e.environment(work), stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        p.stdin.write(b"d /\nU\n")
        p.stdin.flush()
        seen = b""

        def read_until(what):
            nonlocal seen
            while what not in seen:
                ready, _, _ = select.select([p.stdout], [], [], 10)
                chunk = os.read(p.stdout.fileno(), 1 << 16) if ready else b""
                if not chunk:
                    p.kill()
                    raise AssertionError("no %r in output:\n%s" % (what, seen.decode()))
                seen += chunk

        read_until(START)
        seen = seen[seen.index(START):]
        for text in ("3 10 300\n#C pause\n4 10", " 400\n#S 2 second\n#N 3\n5 1 1\n"):
            with open(path, "a") as f:
                f.write(text)
            time.sleep(0.15)
        read_until(b"5 1 1\n")
        with open(os.path.join(work, "new.dat"), "w") as f:
            f.write("#S 9 nine\n7 8 9\n")
        os.rename(os.path.join(work, "new.dat"), path)
        read_until(b"7 8 9\n")
        out, err = p.communicate(b"q\np\nq\n", timeout=30)  # the first q ends the follow only
        seen += out
        e.check((p.returncode, err) == (0, b""), "status %d, stderr %r" % (p.returncode, err))
        want = START + (b"3 10 300\n#C pause\n4 10 400\n following scan 2 (i=2)\n#S 2 second\n5 1 1\n"
                        b" file s.dat was replaced: index table rebuilt with 1 entries, following"
                        b" scan 9 (i=1)\n#S 9 nine\n7 8 9\ns.dat (i=1, s=9) >7 8 9\ns.dat (i=1, s=9) >")
        e.check(seen == want, "--- expected\n%s\n--- got\n%s" % (want.decode(), seen.decode()))
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
