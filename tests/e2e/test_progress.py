#!/usr/bin/env python3
"""The progress indicator of indexing and of the check (K): shown on a
terminal, never in a transcript.

A scan file of 3 GiB (sparse: one scan, then NUL bytes) takes the indexer
well over half a second. With standard error on a pseudo-terminal the line
" indexing ... of 512.0 MiB (...), .../s" appears and is erased before the
program goes on; with standard error on a pipe nothing at all is written
there, and standard output is the same in both runs.
"""
import os
import pty
import select
import shutil
import subprocess
import sys
import tempfile
import e2e_util

SIZE = 3 << 30


def run(binary, work, stderr_on_terminal, commands=b"q\n"):
    env = dict(os.environ, HOME=work)
    env.pop("DISPLAY", None)
    if not stderr_on_terminal:
        p = subprocess.run(["kurvatab", "big.dat"], executable=binary, cwd=work, env=env,
                           input=commands, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=300)
        return p.returncode, p.stdout, p.stderr
    master, slave = pty.openpty()
    p = subprocess.Popen(["kurvatab", "big.dat"], executable=binary, cwd=work, env=env,
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=slave)
    os.close(slave)
    p.stdin.write(commands)
    p.stdin.close()
    err = b""
    while True:
        r, _, _ = select.select([master], [], [], 300)
        if not r:
            break
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal is gone once the program ended
            chunk = b""
        if not chunk:
            break
        err += chunk
    out = p.stdout.read()
    status = p.wait(timeout=300)
    os.close(master)
    return status, out, err


def main():
    a = e2e_util.parse_args()
    binary = a.binary
    work = tempfile.mkdtemp(prefix="kurvatab-progress-")
    failures = []
    try:
        path = os.path.join(work, "big.dat")
        with open(path, "wb") as f:
            f.write(b"#S 1 big\n#N 2\n1 2\n3 4\n")
            f.truncate(SIZE)

        status, out_tty, err = run(binary, work, True)
        if status != 0:
            failures.append("terminal run: status %d" % status)
        if b" indexing " not in err or b" of 3.0 GiB (" not in err or b"/s" not in err:
            failures.append("no progress line on the terminal: %r" % err[:300])
        else:
            # The last thing written erases the line: blanks between two returns.
            last = err[err.rindex(b" indexing "):]
            tail = last[last.index(b"\r") + 1:]
            if not (tail.startswith(b"\r") and tail.strip(b"\r ") == b""):
                failures.append("progress line not erased: %r" % last[-200:])

        # The check of the whole file (K) shows its own line, erased before
        # its findings are printed.
        status, out, err = run(binary, work, True, b"K\nq\n")
        if b" checking " not in err or b" of 3.0 GiB (" not in err:
            failures.append("no progress line for the check: %r" % err[-300:])
        else:
            last = err[err.rindex(b" checking "):]
            tail = last[last.index(b"\r") + 1:]
            if not (tail.startswith(b"\r") and tail.strip(b"\r ") == b""):
                failures.append("check progress line not erased: %r" % last[-200:])
        if b" scan 1 (i=1) line 5: line begins with a NUL byte\n" not in out:
            failures.append("check findings missing: %r" % out[-500:])

        os.remove(os.path.join(work, "kurvatab.ini"))  # same start for both runs
        status, out_pipe, err = run(binary, work, False)
        if status != 0:
            failures.append("pipe run: status %d" % status)
        if err != b"":
            failures.append("standard error not empty in a transcript: %r" % err[:300])
        if out_pipe != out_tty:
            failures.append("standard output differs between the runs")
        if b"current file is : big.dat with 1 entries" not in out_pipe:
            failures.append("file not indexed: %r" % out_pipe[:300])
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        sys.stderr.write("FAIL: %s\n" % f)
    if failures:
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
