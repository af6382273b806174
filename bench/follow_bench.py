#!/usr/bin/env python3
"""Following benchmark: kurvatab follows a scan file in the console (`U`)
while this script writes to it, and prints

- idle: the CPU time kurvatab uses while it follows a file that does not
  change (target: under 1 % of the wall time);
- latency: from a line written by this process to the line leaving kurvatab
  on its standard output, with a writer at --rate lines a second (median and
  99th percentile; target: median under 100 ms, 99th under 300 ms);
- load: a writer at --load-rate lines a second, written in bursts every
  5 ms: whether every line came out exactly once, in order, and the CPU time
  kurvatab used.

    python3 bench/follow_bench.py [--build build] [--idle 10] [--latency 30] [--load 10]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HEADER = "#F bench\n#S 1 follow\n#N 3\n#L x mon det\n"


def cpu_seconds(pid):
    """CPU time of a process: from the scheduler's count in nanoseconds
    when there is one, else utime + stime in clock ticks."""
    try:
        with open("/proc/%d/schedstat" % pid) as f:
            return int(f.read().split()[0]) / 1e9
    except OSError:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Follow:
    """kurvatab following `path` in the console; each line it prints is
    time-stamped on arrival."""

    def __init__(self, kurvatab, work, path):
        env = dict(os.environ, HOME=work)
        self.p = subprocess.Popen(["kurvatab", path], executable=kurvatab, cwd=work, env=env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        self.lines = []  # (arrival time, text)
        self.started = threading.Event()
        self.reader = threading.Thread(target=self._read)
        self.reader.start()
        self.p.stdin.write(b"U\n")
        self.p.stdin.flush()
        if not self.started.wait(10):
            sys.exit("kurvatab did not start following")

    def _read(self):
        for raw in self.p.stdout:
            now = time.monotonic()
            line = raw.decode("latin-1")
            if "following scan" in line:
                self.started.set()
            self.lines.append((now, line))

    def stop(self):
        self.p.stdin.write(b"\nq\n")
        self.p.stdin.close()
        self.p.wait(timeout=30)
        self.reader.join()


def idle(kurvatab, work, seconds):
    path = os.path.join(work, "idle.dat")
    with open(path, "w") as f:
        f.write(HEADER + "1 1000 10\n2 1000 20\n")
    fol = Follow(kurvatab, work, path)
    time.sleep(0.5)
    c0, t0 = cpu_seconds(fol.p.pid), time.monotonic()
    time.sleep(seconds)
    c1, t1 = cpu_seconds(fol.p.pid), time.monotonic()
    fol.stop()
    return (c1 - c0), (t1 - t0)


def latency(kurvatab, work, seconds, rate):
    path = os.path.join(work, "latency.dat")
    with open(path, "w") as f:
        f.write(HEADER)
    fol = Follow(kurvatab, work, path)
    written = {}
    with open(path, "a") as f:
        n = int(seconds * rate)
        t_start = time.monotonic()
        for k in range(n):
            target = t_start + k / rate
            delay = target - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            text = "%d 1000 %d\n" % (k, k * 7)
            f.write(text)
            f.flush()
            written[text] = time.monotonic()
    time.sleep(1.0)
    fol.stop()
    lat = sorted((t - written[text]) * 1000 for t, text in fol.lines if text in written)
    missing = len(written) - len(lat)
    return lat, missing


def load(kurvatab, work, seconds, rate):
    path = os.path.join(work, "load.dat")
    with open(path, "w") as f:
        f.write(HEADER)
    fol = Follow(kurvatab, work, path)
    c0 = cpu_seconds(fol.p.pid)
    expected = []
    burst = max(1, int(rate * 0.005))
    carry = ""
    with open(path, "a") as f:
        t_start = time.monotonic()
        k = 0
        while k < seconds * rate:
            target = t_start + k / rate
            delay = target - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            chunk = "".join("%d 1000 %d\n" % (j, j % 997) for j in range(k, k + burst))
            expected.extend(chunk.splitlines(True))
            # Half a line now, the rest with the next burst: lines split
            # across writes must still come out whole, once.
            f.write(carry + chunk[:-3])
            f.flush()
            carry = chunk[-3:]
            k += burst
        f.write(carry)
    time.sleep(1.0)
    c1 = cpu_seconds(fol.p.pid)
    fol.stop()
    got = [text for _, text in fol.lines if text[0].isdigit()]
    # The first lines printed are the scan so far (none: only the header).
    return got == expected, len(expected), len(got), c1 - c0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--idle", type=float, default=10)
    ap.add_argument("--latency", type=float, default=30)
    ap.add_argument("--rate", type=float, default=10)
    ap.add_argument("--load", type=float, default=10)
    ap.add_argument("--load-rate", type=float, default=2000)
    a = ap.parse_args()
    kurvatab = os.path.join(os.path.abspath(a.build), "kurvatab")
    if not os.path.exists(kurvatab):
        sys.exit("missing %s: build first" % kurvatab)
    work = tempfile.mkdtemp(prefix="kurvatab-follow-bench-")
    try:
        if a.idle > 0:
            cpu, wall = idle(kurvatab, work, a.idle)
            print("idle: %.4f s CPU in %.1f s (%.4f %%)" % (cpu, wall, 100 * cpu / wall))
        if a.latency > 0:
            lat, missing = latency(kurvatab, work, a.latency, a.rate)
            p99 = lat[min(len(lat) - 1, int(0.99 * len(lat)))] if lat else float("nan")
            print("latency at %g lines/s for %g s: %d lines, median %.1f ms, 99th %.1f ms, "
                  "max %.1f ms, missing %d" % (a.rate, a.latency, len(lat),
                                               statistics.median(lat) if lat else float("nan"),
                                               p99, lat[-1] if lat else float("nan"), missing))
        if a.load > 0:
            ok, n, got, cpu = load(kurvatab, work, a.load, a.load_rate)
            print("load at %g lines/s for %g s: %d lines written, %d shown, %s; %.2f s CPU" %
                  (a.load_rate, a.load, n, got, "each once, in order" if ok else "MISMATCH", cpu))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
