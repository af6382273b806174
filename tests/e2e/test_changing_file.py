#!/usr/bin/env python3
"""The scan file grows underneath the running program. A second process
appends scans, data lines and half lines (a line written in two parts with a
pause between) while the program lists the last scan (p), looks up the next
scan number (s) and runs a loop from the current scan into the new ones.
The program reindexes as the file grows, and its index table ("t") then
equals the table of a fresh run on the final file."""
import os
import subprocess
import sys
import tempfile

import e2e_util as e

WRITER = r"""
import sys, time
with open(sys.argv[1], "ab", buffering=0) as f:
    for n in range(3, 43):
        f.write(b"#S %d  scan %d\n#N 3\n#L x  mon  det\n" % (n, n))
        for k in range(5):
            line = b"%d 1000 %d\n" % (k, n * 10 + k)
            f.write(line[:3]); time.sleep(0.003 if k == 2 else 0); f.write(line[3:])
        if n % 7 == 0:
            f.write(b"#C half a comment"); time.sleep(0.003); f.write(b" line\n")
        time.sleep(0.01)
"""


def table(out):
    """The rows of a "t" command's output, the prompt cut off."""
    return out[:out.rfind(b"\n") + 1]


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-grow-") as work:
        path = os.path.join(work, "grow.dat")
        with open(path, "wb") as f:
            f.write(e.demo(a.source))
        prog = e.Session(a.binary, work, ["grow.dat"])
        writer = subprocess.Popen([sys.executable, "-c", WRITER, path])
        seen = b""
        while writer.poll() is None:
            for cmd in (b"p", b"s +1", b"(,999,h)"):
                seen += prog.command(cmd)
        e.check(writer.returncode == 0, "the writer failed")
        prog.command(b"i")
        mine = table(prog.command(b"t"))
        rc, err = prog.quit()
        e.check(rc == 0 and err == b"", "status %d, stderr %r" % (rc, err[-500:]))
        e.check(b"reindexing" in seen, "the program never reindexed while the file grew")
        fresh = e.run(a.binary, work, ["grow.dat"], b"t\nq\n").stdout
        want = table(fresh.split(b" >")[1])
        e.check(want.count(b"\n") == 42, "a fresh run finds %d scans" % want.count(b"\n"))
        e.check(mine == want, "table after growing differs\n--- fresh\n%s\n--- running\n%s"
                % (want.decode(errors="replace"), mine.decode(errors="replace")))
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
