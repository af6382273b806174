#!/usr/bin/env python3
"""The index cache seen from outside: a large scan file (1 MiB and up) that
grows by random pieces between runs. Every run through the cache prints
exactly what a run without it (KURVATAB_NO_CACHE=1) prints: the start-up
table, closing messages, listings and lookups, also after `f` opens the
file again. The cache entry is private (0600 in a 0700 folder), and a run
on an unchanged file reads a small part of what a run without the cache
reads (/proc/PID/io).
"""
import os
import random
import select
import shutil
import stat
import subprocess
import sys
import tempfile
import e2e_util

COMMANDS = b"t\ni 2\np\nS\ns 3\nf scan.dat\ni\np\nc\ns 999\nt\nq\n"


def large_file():
    parts = ["#F large\n\n"]
    for k in range(1, 1001):
        parts.append("#S %d  ascan  th 10 12  99 1\n#N 3\n#L th  mon  det\n" % k)
        parts.extend("%d.5 1000 %d\n" % (j, k + j) for j in range(100))
    return "".join(parts).encode()


def fragment(rng, scan):
    """A random piece of a scan file as an instrument writes it."""
    r = rng.randrange(10)
    if r < 2:
        scan[0] += 1
        return b"#S %d  ascan th 1 2 10 1\n#N 3\n#L x m d\n" % scan[0]
    if r == 2:
        return b"#C comment among data\n"
    if r == 3:
        return b"\0nul line\n"
    if r == 4:
        return b"1.5 1000"  # half a line
    if r == 5:
        return b" 42\n"
    if r == 6:
        return b"#S %d\n" % scan[0]  # a repeated number, no text
    return b"".join(b"%d 1000 17\n" % rng.randrange(100) for _ in range(rng.randrange(1, 6)))


def main():
    a = e2e_util.parse_args()
    work = tempfile.mkdtemp(prefix="kurvatab-cache-")
    failures = []
    try:
        path = os.path.join(work, "scan.dat")
        with open(path, "wb") as f:
            f.write(large_file())
        folder = os.path.join(work, "cache", "kurvatab")
        env = dict(os.environ, HOME=work, XDG_CACHE_HOME=os.path.join(work, "cache"))
        env.pop("DISPLAY", None)
        env.pop("KURVATAB_NO_CACHE", None)
        off = dict(env, KURVATAB_NO_CACHE="1")

        def run(e):
            ini = os.path.join(work, "kurvatab.ini")
            if os.path.exists(ini):
                os.remove(ini)
            p = subprocess.run(["kurvatab", "scan.dat"], executable=a.binary, cwd=work, env=e,
                               input=COMMANDS, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               timeout=60)
            return p.returncode, p.stdout, p.stderr

        rng = random.Random(17)
        scan = [1000]
        for rnd in range(25):
            if rnd > 0:
                with open(path, "ab") as f:
                    for _ in range(rng.randrange(1, 4)):
                        f.write(fragment(rng, scan))
            if rnd == 12:
                shutil.rmtree(folder, ignore_errors=True)  # a lost cache is made again
            cached = run(env)
            full = run(off)
            if cached != full:
                failures.append("round %d: through the cache\n%r\n--- without it\n%r" %
                                (rnd, cached[1][-2000:], full[1][-2000:]))
                break
            if full[0] != 0 or full[2]:
                failures.append("round %d: status %d, stderr %r" % (rnd, full[0], full[2]))

        entries = os.listdir(folder) if os.path.isdir(folder) else []
        if len(entries) != 1 or not entries[0].endswith(".idx"):
            failures.append("cache folder holds %r" % entries)
        else:
            mode = stat.S_IMODE(os.stat(os.path.join(folder, entries[0])).st_mode)
            if mode != 0o600:
                failures.append("entry mode %o" % mode)
        mode = stat.S_IMODE(os.stat(folder).st_mode)
        if mode != 0o700:
            failures.append("folder mode %o" % mode)

        # Bytes read by a run up to its first prompt, with and without the cache.
        def bytes_read(e):
            p = subprocess.Popen(["kurvatab", "scan.dat"], executable=a.binary, cwd=work, env=e,
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL)
            out = b""
            while not out.endswith(b" >"):
                ready, _, _ = select.select([p.stdout], [], [], 30)
                chunk = os.read(p.stdout.fileno(), 65536) if ready else b""
                if not chunk:
                    break
                out += chunk
            with open("/proc/%d/io" % p.pid) as f:
                io = dict(line.split(": ") for line in f.read().splitlines())
            p.communicate(b"q\n", timeout=30)
            return int(io["rchar"])

        run(env)  # the entry now covers the whole file
        with_cache, without = bytes_read(env), bytes_read(off)
        if not with_cache * 4 < without:
            failures.append("a run through the cache read %d bytes, one without it %d" %
                            (with_cache, without))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return e2e_util.report(failures)


if __name__ == "__main__":
    sys.exit(main())
