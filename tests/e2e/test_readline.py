#!/usr/bin/env python3
"""kurvatab at a terminal (a pseudo-terminal, in a UTF-8 locale): the history
of the last run is read at start and kept bounded; a line is recalled, edited
and run; Tab completes file names and labels; numbers stay in the C locale;
the prompt is the program's own; Ctrl-D ends the run like q.
At 20 rows the start-up shows the end of a long table below a line saying how
many scans are above; t goes through PAGER alone."""
import fcntl
import os
import pty
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import e2e_util as e

UP, BACKSPACE = b"\x1b[A", b"\x7f"


def typist(fd):
    """run(keys, until) types `keys` and returns what came up to `until`."""
    seen = [b""]

    def run(keys, until):
        os.write(fd, keys)
        end = time.time() + 20
        while until not in seen[0]:
            if not select.select([fd], [], [], max(0, end - time.time()))[0]:
                raise TimeoutError("waiting for %r; got %r" % (until, seen[0][-500:]))
            seen[0] += os.read(fd, 4096)
        k = seen[0].index(until) + len(until)
        got, seen[0] = seen[0][:k], seen[0][k:]
        return got
    return run


def session(fd):
    run = typist(fd)
    e.check(b"history file" not in run(b"", b"demo.dat (i=2, s=2) >"), "history said unreadable")
    out = run(UP + BACKSPACE + b"1\r", b"(i=1, s=1) >")  # "p 2" of the last run, made "p 1"
    e.check(b"0 1000 12" in out and out.endswith(b"\r\ndemo.dat (i=1, s=1) >"), "p 1: %r" % out)
    out = run(b"W -\r", b"(i=1, s=1) >")
    e.check(b" 0.0000  12.0000" in out, "W in the C locale: %r" % out)
    out = run(b"fsam\t\r", b"sample.dat (i=12, s=11) >")
    e.check(b"current file is : sample.dat with" in out, "Tab completes fsam: %r" % out)
    out = run(b"y Det\t\r", b"(i=12, s=11) >")
    e.check(b" using columns x=1 and y=Detector(5) for xmgr" in out, "Tab completes y Det: %r" % out)
    os.write(fd, b"\x04")


def paged_session(fd, work):
    run = typist(fd)
    # The status (11 lines at 80 columns) and the prompt leave 8 lines.
    start = run(b"", b"(i=60, s=60) >").replace(b"\r\n", b"\n")
    out = run(b"t\r", b"(i=60, s=60) >")
    e.check(out == b"t\r\nrun.dat (i=60, s=60) >", "t at the terminal: %r" % out)
    with open(os.path.join(work, "paged.txt"), "rb") as f:
        rows = f.read().splitlines(keepends=True)
    e.check(len(rows) == 60 and rows[0].startswith(b"    1  Scan    1  Lines    1 N   2 (1) "),
            "t not through the pager: %r" % rows[:2])
    want = b" 53 scans above: t lists the whole table\n" + b"".join(rows[-7:])
    e.check(start.startswith(b"\n current file is : run.dat with 60 entries\n" + want +
                             b"\n kurvatab, type ? to get list of commands\n"), "start: %r" % start)
    os.write(fd, b"\x04")


def at_terminal(a, work, args, env, rows, talk):
    """Runs the program on a terminal of `rows` rows; `talk(fd)` types."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", rows, 80, 0, 0))
    p = subprocess.Popen(["kurvatab"] + args, executable=a.binary, cwd=work, env=env,
                         stdin=slave, stdout=slave, stderr=slave, start_new_session=True)
    os.close(slave)
    try:
        talk(master)
        e.check(p.wait(timeout=20) == 0, "Ctrl-D: status %d" % p.returncode)
    except (TimeoutError, OSError, subprocess.TimeoutExpired) as x:
        e.check(False, str(x))
    finally:
        if p.poll() is None:
            os.killpg(p.pid, signal.SIGKILL)
        os.close(master)


def main():
    a = e.parse_args()
    work = tempfile.mkdtemp(prefix="kurvatab-pty-")
    for d in ("examples", "tests/e2e/data"):
        for n in os.listdir(os.path.join(a.source, d)):
            shutil.copy(os.path.join(a.source, d, n), work)
    hist = os.path.join(work, ".kurvatab_history")
    with open(hist, "w") as f:
        f.writelines("p %d\n" % (k % 2 + 1) for k in range(3000))
    env = e.environment(work, TERM="xterm", INPUTRC=None, LC_ALL="C.UTF-8", LANG="C.UTF-8",
                        PAGER="")
    at_terminal(a, work, ["demo.dat"], env, 24, session)
    lines = open(hist, "rb").read().splitlines()
    want = [b"p 2", b"p 1", b"W -", b"fsample.dat", b"y Detector"]
    e.check(len(lines) == 1000 and lines[-5:] == want,
            "history: %d lines ending %r" % (len(lines), lines[-5:]))
    with open(os.path.join(work, "kurvatab.ini"), "rb") as f:
        e.check(f.read().startswith(b"f sample.dat\n"), "Ctrl-D did not write the settings")
    os.remove(os.path.join(work, "kurvatab.ini"))
    with open(os.path.join(work, "run.dat"), "w") as f:
        f.writelines("#S %d  ascan th 0 1\n#N 2\n1 2\n" % k for k in range(1, 61))
    env["PAGER"] = "dd of=paged.txt status=none"  # words, no shell
    at_terminal(a, work, ["run.dat"], env, 20, lambda fd: paged_session(fd, work))
    shutil.rmtree(work, ignore_errors=True)
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
