#!/usr/bin/env python3
"""The progress lines of indexing and of the check (K), shown at once with
KURVATAB_PROGRESS_DELAY=0: on a terminal each is drawn and then erased, and
standard output holds none of it; with standard error on a pipe nothing is written."""
import os
import pty
import select
import subprocess
import sys
import tempfile

import e2e_util as e


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-progress-") as work:
        with open(os.path.join(work, "big.dat"), "wb") as f:
            f.write(b"#S 1 big\n#N 2\n1 2\n3 4\n")
            f.truncate(64 << 20)
        env = e.environment(work, KURVATAB_NO_CACHE="1", KURVATAB_PROGRESS_DELAY="0")
        master, slave = pty.openpty()
        p = subprocess.Popen(["kurvatab", "big.dat"], executable=a.binary, cwd=work, env=env,
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=slave)
        os.close(slave)
        p.stdin.write(b"K\nq\n")
        p.stdin.close()
        err = b""
        while select.select([master], [], [], 300)[0]:
            try:
                chunk = os.read(master, 4096)
            except OSError:  # the terminal is gone once the program ended
                break
            if not chunk:
                break
            err += chunk
        out = p.stdout.read()
        e.check(p.wait(timeout=300) == 0, "terminal run: status %d" % p.returncode)
        os.close(master)
        for what in (b" indexing ", b" checking "):
            at = err.rfind(what)
            tail = err[at:].split(b"\r", 1)[-1]  # the last thing written for a pass erases it
            e.check(at >= 0 and b" of 64.0 MiB (" in err[at:] and b"/s" in err[at:]
                    and tail.startswith(b"\r") and tail.split(b"\r")[1].strip() == b"",
                    "%sline not shown and erased: %r" % (what.decode(), err[-300:]))
        e.check(b" scan 1 (i=1) line 5: line begins with a NUL byte\n" in out,
                "check findings missing: %r" % out[-500:])
        e.check(b"\r" not in out and b"indexing" not in out, "progress on standard output")
        p = e.run(a.binary, work, ["big.dat"], b"q\n", timeout=300, env=env)
        e.check(p.returncode == 0 and p.stderr == b"" and b" with 1 entries\n" in p.stdout,
                "transcript run: status %d, stderr %r" % (p.returncode, p.stderr[:300]))
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
