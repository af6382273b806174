#!/usr/bin/env python3
"""kurvatab at a terminal of 20 rows (a pseudo-terminal): the start-up shows
the last rows of a table the screen does not hold below one line that says
how many are above; t goes through PAGER (a script that keeps what it gets),
the terminal gets none of the table, and the prompt comes back."""
import fcntl
import os
import pty
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

import e2e_util as e


def read_until(fd, until):
    got = b""
    end = time.time() + 20
    while until not in got and select.select([fd], [], [], max(0, end - time.time()))[0]:
        got += os.read(fd, 4096)
    return got


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-terminal-") as work:
        with open(os.path.join(work, "run.dat"), "w") as f:
            f.writelines("#S %d  ascan th 0 1\n#N 2\n1 2\n" % k for k in range(1, 61))
        pager = os.path.join(work, "pager")
        with open(pager, "w") as f:
            f.write("#!/bin/sh\ncat > paged.txt\n")
        os.chmod(pager, 0o755)
        env = e.environment(work, TERM="xterm", INPUTRC=None, PAGER=pager)
        piped = e.run(a.binary, work, ["run.dat"], env=env).stdout
        os.remove(os.path.join(work, "kurvatab.ini"))
        rows = [r for r in piped.splitlines(keepends=True) if b"  Scan " in r]
        table = b"".join(rows)
        master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 20, 80, 0, 0))
        p = subprocess.Popen(["kurvatab", "run.dat"], executable=a.binary, cwd=work, env=env,
                             stdin=slave, stdout=slave, stderr=slave, start_new_session=True)
        os.close(slave)
        try:
            # Status (11 lines at 80 columns) and prompt leave 8 rows.
            shown = read_until(master, b"(i=60, s=60) >").replace(b"\r\n", b"\n")
            want = b" 53 scans above: t lists the whole table\n" + b"".join(rows[-7:])
            e.check(shown.startswith(b"\n current file is : run.dat with 60 entries\n" + want +
                                     b"\n kurvatab, type ? to get list of commands\n"),
                    "start-up: %r" % shown[:900])
            os.write(master, b"t\r")
            shown = read_until(master, b"(i=60, s=60) >")
            e.check(shown == b"t\r\nrun.dat (i=60, s=60) >", "t at the terminal: %r" % shown)
            with open(os.path.join(work, "paged.txt"), "rb") as f:
                e.check(f.read() == table, "t not through the pager")
            os.write(master, b"\x04")
            e.check(p.wait(timeout=20) == 0, "Ctrl-D: status %d" % p.returncode)
        finally:
            if p.poll() is None:
                os.killpg(p.pid, signal.SIGKILL)
            os.close(master)
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
