#!/usr/bin/env python3
"""Signals sent to the running program by another process, and a file size
limit: Ctrl-C stops the running command, never the program; SIGTERM ends it as
q does; writes past the limit fail and the program goes on (cases below)."""
import os
import pty
import resource
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time

import e2e_util as e


def scan_file(scans, lines):
    body = "".join("%d.5 1000 %d\n" % (j, j) for j in range(lines))
    return "".join("#S %d  ascan\n#N 3\n#L th  mon  det\n%s" % (k, body)
                   for k in range(1, scans + 1))


class Run:
    """The program started with its output read as it comes (the index table
    alone would fill a pipe); `said(text)` waits until it has printed text."""

    def __init__(self, a, work, args, stderr=subprocess.DEVNULL):
        self.p = subprocess.Popen(["kurvatab"] + args, executable=a.binary, cwd=work,
                                  env=e.environment(work, KURVATAB_NO_CACHE="1",
                                                    KURVATAB_PROGRESS_DELAY="0"),
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr)
        self.out = b""
        self.reader = threading.Thread(target=self._read)
        self.reader.start()

    def _read(self):
        for chunk in iter(lambda: self.p.stdout.read1(65536), b""):
            self.out += chunk

    def send(self, text):
        self.p.stdin.write(text)
        self.p.stdin.flush()

    def said(self, text):
        return wait_for(lambda: text in self.out)

    def end(self, text=b""):
        if text:
            self.send(text)
        self.p.stdin.close()
        self.p.wait(timeout=120)
        self.reader.join()
        return self.p.returncode


def wait_for(cond, seconds=60):
    end = time.time() + seconds
    while not cond() and time.time() < end:
        time.sleep(0.02)
    return cond()


def size(path):
    return os.path.getsize(path) if os.path.exists(path) else 0


def temps(work):
    return [n for n in os.listdir(work) if n.startswith(".run.h5.")]


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-signals-") as work:
        with open(os.path.join(work, "big.dat"), "w") as f:
            f.write(scan_file(20000, 60))

        # Ctrl-C at the prompt, then during a loop.
        r = Run(a, work, ["big.dat"])
        e.check(r.said(b"(i=20000, s=20000) >"), "no prompt")
        r.p.send_signal(signal.SIGINT)
        r.send(b"(1,20000,p)out.txt\n")
        e.check(wait_for(lambda: size(os.path.join(work, "out.txt")) > 0), "the loop never began")
        r.p.send_signal(signal.SIGINT)
        e.check(r.end(b"q\n") == 0, "Ctrl-C: status %d" % r.p.returncode)
        e.check(b" loop stopped by Ctrl-C after (i=" in r.out, "loop: %r" % r.out[-300:])
        e.check(size(os.path.join(work, "out.txt")) < 20000 * 64 * 10, "the loop ran to its end")
        e.check(os.path.exists(os.path.join(work, "kurvatab.ini")), "no settings written")

        # An HDF5 loop stopped: the earlier file stays, nothing beside it.
        e.run(a.binary, work, ["big.dat"], stdin=b"(1,2,n)run.h5\nq\n",
              env=e.environment(work, KURVATAB_NO_CACHE="1"))
        with open(os.path.join(work, "run.h5"), "rb") as f:
            earlier = f.read()
        r = Run(a, work, ["big.dat"])
        r.send(b"(1,20000,n)run.h5\n")
        e.check(r.said(b"on 'run.h5' as 100.1"), "the HDF5 loop never began")
        r.p.send_signal(signal.SIGINT)
        e.check(r.end(b"q\n") == 0 and b"unable to write HDF5 on 'run.h5': stopped by Ctrl-C" in r.out,
                "HDF5: status %d, %r" % (r.p.returncode, r.out[-300:]))
        with open(os.path.join(work, "run.h5"), "rb") as f:
            e.check(f.read() == earlier, "the earlier HDF5 file changed")
        e.check(temps(work) == [], "left beside it: %r" % temps(work))

        # SIGTERM at the prompt: the settings written, status 128 + 15.
        r = Run(a, work, ["big.dat"])
        r.send(b"x 3\n")
        e.check(r.said(b"x=3 and y"), "x 3 not taken")
        r.p.send_signal(signal.SIGTERM)
        r.p.wait(timeout=60)
        with open(os.path.join(work, "kurvatab.ini")) as f:
            ini = f.read()
        e.check(r.end() == 128 + signal.SIGTERM and "\nx 3\n" in ini,
                "SIGTERM: status %d, ini %r" % (r.p.returncode, ini[:40]))

        # A file size limit of 60 KiB (SIGXFSZ ignored): the cache entry and the export fail.
        def limit():
            resource.setrlimit(resource.RLIMIT_FSIZE, (60 << 10, 60 << 10))
        cache = os.path.join(work, "cache")
        p = e.run(a.binary, work, ["big.dat"], stdin=b"(1,600,n)run.h5\nq\n",
                  env=e.environment(work, XDG_CACHE_HOME=cache), preexec_fn=limit)
        e.check(p.returncode == 0 and b" unable to write HDF5 on 'run.h5': " in p.stdout,
                "file size limit: status %d, %r" % (p.returncode, p.stderr[-300:]))
        left = [n for d, _, names in os.walk(work) for n in names if ".tmp." in n]
        e.check(temps(work) == [] and left == [], "left: %r" % (temps(work) + left))

        # The indexing at start, then the check, each stopped as its progress line shows.
        with open(os.path.join(work, "tiny.dat"), "w") as f:
            f.write("".join("#S %d a\n1\n" % k for k in range(1, 1000001)))
        master, slave = pty.openpty()
        r = Run(a, work, ["tiny.dat"], stderr=slave)
        os.close(slave)
        for what, command in ((b" indexing ", b""), (b" checking ", b"K\n")):
            r.send(command)
            err = b""
            while what not in err and select.select([master], [], [], 60)[0]:
                err += os.read(master, 4096)
            r.p.send_signal(signal.SIGINT)
        e.check(r.end(b"q\n") == 0
                and b" indexing of tiny.dat stopped by Ctrl-C at byte " in r.out
                and b": no scans kept; r indexes it\n\n current file is : tiny.dat with 0 entries\n"
                in r.out and b" check stopped by Ctrl-C before line " in r.out,
                "indexing and check: status %d, %r" % (r.p.returncode, r.out[-400:]))
        os.close(master)
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
