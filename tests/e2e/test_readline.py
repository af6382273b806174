#!/usr/bin/env python3
"""Drives kurvatab through a pseudo-terminal, as a user at a terminal would.

At a terminal the commands are read with line editing: a command is typed,
recalled with the up arrow, edited and run; the history survives the run in
~/.kurvatab_history and stays bounded; Tab completes file names for f; Ctrl-D
ends the run like q. The prompt is exactly the one the program prints. Tab
completes the current scan's labels after y and C.
"""
import os
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import e2e_util

TIMEOUT = 20
UP = b"\x1b[A"
BACKSPACE = b"\x7f"
FAILURES = []


def check(cond, what, detail=b""):
    if not cond:
        FAILURES.append(what)
        sys.stderr.write("FAIL: %s\n%s\n" % (what, detail.decode(errors="replace")[-2000:]))


class Terminal:
    """kurvatab with standard input, output and error on one pseudo-terminal."""

    def __init__(self, binary, work, args=("demo.dat",), env_extra=None):
        env = dict(os.environ, HOME=work, TERM="xterm")
        env.pop("DISPLAY", None)
        env.pop("INPUTRC", None)
        env.update(env_extra or {})
        master, slave = pty.openpty()
        self.p = subprocess.Popen(["kurvatab"] + list(args), executable=binary, cwd=work, env=env,
                                  stdin=slave, stdout=slave, stderr=slave, close_fds=True,
                                  start_new_session=True)
        os.close(slave)
        self.fd = master
        self.seen = b""

    def read_until(self, text, timeout=TIMEOUT):
        """Reads until `text` has appeared after what was consumed so far."""
        end = time.time() + timeout
        while text not in self.seen:
            left = end - time.time()
            if left <= 0:
                raise TimeoutError("waiting for %r; got %r" % (text, self.seen[-500:]))
            r, _, _ = select.select([self.fd], [], [], left)
            if r:
                try:
                    chunk = os.read(self.fd, 4096)
                except OSError:
                    chunk = b""
                if not chunk:
                    raise EOFError("terminal closed waiting for %r; got %r" % (text, self.seen))
                self.seen += chunk
        k = self.seen.index(text) + len(text)
        got, self.seen = self.seen[:k], self.seen[k:]
        return got

    def type(self, keys):
        os.write(self.fd, keys)

    def finish(self):
        try:
            status = self.p.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            os.killpg(self.p.pid, signal.SIGKILL)
            status = -1
        os.close(self.fd)
        return status


PROMPT = b"demo.dat (i=2, s=2) >"


def test_recall_and_edit(binary, work):
    t = Terminal(binary, work)
    t.read_until(PROMPT)
    t.type(b"p 1\r")
    out = t.read_until(b"demo.dat (i=1, s=1) >")
    check(b"0 1000 12" in out and b"1 1000 15" in out, "p 1 lists scan 1", out)
    # Up arrow brings back "p 1"; Backspace and 2 make it "p 2".
    t.type(UP)
    t.read_until(b"p 1")
    t.type(BACKSPACE + b"2\r")
    out = t.read_until(PROMPT)
    check(b"-1 1000 3" in out and b"1 1000 4" in out, "edited p 2 lists scan 2", out)
    check(b"0 1000 12" not in out, "the edited line is not the recalled one", out)
    t.type(b"q\r")
    check(t.finish() == 0, "q ends the run with status 0")
    hist = open(os.path.join(work, ".kurvatab_history"), "rb").read().split(b"\n")
    check(hist[:3] == [b"p 1", b"p 2", b"q"], "history file holds the lines typed",
          b"\n".join(hist))

    # The next run starts with that history: two steps up is "p 2".
    t = Terminal(binary, work)
    t.read_until(PROMPT)
    t.type(UP + UP + b"\r")
    out = t.read_until(PROMPT)
    check(b"-1 1000 3" in out, "history is kept across runs", out)
    t.type(b"q\r")
    check(t.finish() == 0, "second run ends with status 0")


def test_history_bounded(binary, work):
    path = os.path.join(work, ".kurvatab_history")
    with open(path, "w") as f:
        for k in range(3000):
            f.write("p %d\n" % (k % 2 + 1))
    t = Terminal(binary, work)
    t.read_until(PROMPT)
    t.type(b"t\r")
    t.read_until(PROMPT)
    t.type(b"q\r")
    check(t.finish() == 0, "run with a long history ends with status 0")
    lines = open(path, "rb").read().split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    check(0 < len(lines) <= 1000, "history file is cut to 1000 lines (has %d)" % len(lines))
    check(lines[-2:] == [b"t", b"q"], "the newest lines are kept", b"\n".join(lines[-3:]))


def test_completion_and_prompt(binary, work):
    t = Terminal(binary, work, args=())
    t.read_until(b"NO FILE >")
    # A name behind a blank, and one typed directly behind the letter.
    t.type(b"f de\t\r")
    out = t.read_until(PROMPT)
    check(b"current file is : demo.dat with 2 entries" in out, "Tab completes f de", out)
    t.type(b"fsam\t\r")
    out = t.read_until(b"sample.dat (i=")
    check(b"current file is : sample.dat with" in out, "Tab completes fsam", out)
    # The prompt is the program's own, byte for byte, with nothing in front.
    t.read_until(b") >")
    t.type(b"i 1\r")
    out = t.read_until(b") >")
    check(b"\r\nsample.dat (i=1, s=" in out, "the prompt is the program's prompt", out)
    t.type(b"\x04")  # Ctrl-D on an empty line ends the run
    check(t.finish() == 0, "Ctrl-D ends the run with status 0")
    ini = open(os.path.join(work, "kurvatab.ini"), "rb").read()
    check(ini.startswith(b"f sample.dat\n"), "the run ended by Ctrl-D writes its settings", ini)


def test_label_completion(binary, work):
    # Tab after x, y, z and C offers the current scan's labels.
    t = Terminal(binary, work, args=("sample.dat",))
    prompt = b"sample.dat (i=12, s=11) >"
    t.read_until(prompt)
    t.type(b"y Det\t\r")
    out = t.read_until(prompt)
    check(b" using columns x=1 and y=Detector(5) for xmgr, z=-2 as monitor" in out,
          "Tab completes y Det", out)
    t.type(b"C The\t Mo\t\r")
    out = t.read_until(prompt)
    check(b' columns used by the W command set to " Theta Monitor"' in out,
          "Tab completes each entry of C", out)
    t.type(b"q\r")
    check(t.finish() == 0, "label completion run ends with status 0")


def test_numbers_stay_c_locale(binary, work):
    # Whatever the locale of the terminal, W writes a decimal point.
    t = Terminal(binary, work, env_extra={"LC_ALL": "C.UTF-8", "LANG": "C.UTF-8"})
    t.read_until(PROMPT)
    t.type(b"W -\r")
    out = t.read_until(PROMPT)
    check(b"-1.0000   3.0000" in out, "W writes numbers in the C locale", out)
    t.type(b"q\r")
    check(t.finish() == 0, "locale run ends with status 0")


def main():
    a = e2e_util.parse_args()
    binary = a.binary
    for test in (test_recall_and_edit, test_history_bounded, test_completion_and_prompt,
                 test_label_completion, test_numbers_stay_c_locale):
        work = tempfile.mkdtemp(prefix="kurvatab-pty-")
        try:
            for d in ("examples", "tests/e2e/data"):
                src = os.path.join(a.source, d)
                for n in os.listdir(src):
                    shutil.copy(os.path.join(src, n), work)
            test(binary, work)
        except (TimeoutError, EOFError, OSError) as e:
            FAILURES.append("%s: %s" % (test.__name__, e))
            sys.stderr.write("FAIL: %s: %s\n" % (test.__name__, e))
        finally:
            shutil.rmtree(work, ignore_errors=True)
    if FAILURES:
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
