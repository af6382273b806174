#!/usr/bin/env python3
"""The progress line of indexing and of the check (K): shown on a terminal,
never in a transcript.

KURVATAB_PROGRESS_DELAY=0 makes every pass show its line at once, so a small
file does. With standard error on a pseudo-terminal each pass shows its line
(" indexing ... of 64.0 MiB (...), .../s") and erases it before the program
goes on, and standard output holds none of it; with standard error on a pipe
nothing is written there.
"""
import os
import pty
import select
import subprocess
import sys
import tempfile

import e2e_util as e

COMMANDS = b"K\nq\n"


def environment(work):
    return e.environment(work, KURVATAB_NO_CACHE="1", KURVATAB_PROGRESS_DELAY="0")


def on_terminal(binary, work):
    """Runs the program with standard error on a pseudo-terminal; returns
    (status, stdout, what the terminal got)."""
    master, slave = pty.openpty()
    p = subprocess.Popen(["kurvatab", "big.dat"], executable=binary, cwd=work,
                         env=environment(work), stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, stderr=slave)
    os.close(slave)
    p.stdin.write(COMMANDS)
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
    status = p.wait(timeout=300)
    os.close(master)
    return status, out, err


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-progress-") as work:
        with open(os.path.join(work, "big.dat"), "wb") as f:
            f.write(b"#S 1 big\n#N 2\n1 2\n3 4\n")
            f.truncate(64 << 20)
        status, out_tty, err = on_terminal(a.binary, work)
        e.check(status == 0, "terminal run: status %d" % status)
        for what in (b" indexing ", b" checking "):
            at = err.rfind(what)
            tail = err[at:].split(b"\r", 1)[-1]
            e.check(at >= 0 and b" of 64.0 MiB (" in err[at:] and b"/s" in err[at:],
                    "no%sline on the terminal: %r" % (what.decode(), err[-300:]))
            # The last thing written for a pass erases its line.
            e.check(at >= 0 and tail.startswith(b"\r") and tail.split(b"\r")[1].strip() == b"",
                    "%sline not erased: %r" % (what.decode(), err[at:at + 200]))
        e.check(b" scan 1 (i=1) line 5: line begins with a NUL byte\n" in out_tty,
                "check findings missing: %r" % out_tty[-500:])
        e.check(b"\r" not in out_tty and b"indexing" not in out_tty, "progress on standard output")
        p = e.run(a.binary, work, ["big.dat"], b"q\n", timeout=300, env=environment(work))
        e.check(p.returncode == 0 and p.stderr == b"" and b" with 1 entries\n" in p.stdout,
                "transcript run: status %d, stderr %r" % (p.returncode, p.stderr[:300]))
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
