#!/usr/bin/env python3
"""Following benchmark: kurvatab follows a scan file in the console (`U`)
and in Grace (`u`) while this script writes to it, and prints

- idle: the CPU time kurvatab uses while it follows a file that does not
  change (target: under 1 % of the wall time);
- latency: from a line written by this process to the line leaving kurvatab
  on its standard output, with a writer at --rate lines a second (median and
  99th percentile; target: median under 100 ms, 99th under 300 ms);
- load: a writer at --load-rate lines a second, written in bursts every
  5 ms: whether every line came out exactly once, in order, and the CPU time
  kurvatab used;
- grace latency: as latency, in Grace, to the plot command of the line
  ("S_ POINT x, y") reaching a fake xmgrace (bench/xmgrace_stamp) that
  time-stamps each line it reads;
- grace last: with the real xmgrace under xvfb-run (through the wrapper
  tests/grace/xmgrace_saving), from the last line written to Grace's state
  holding its point (Grace saves its state right after the command: the
  time the saved file appears), over several short follows;
- grace load: as load, in Grace (the fake and the real xmgrace): whether the
  final set holds every line once, in order, and how often Grace was told to
  redraw (on average, and at most in any second after the first).

    python3 bench/follow_bench.py [--build build] [--idle 10] [--latency 30] [--load 10]
        [--grace-latency 30] [--grace-last 5] [--grace-load 10]
"""
import argparse
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HEADER = "#F bench\n#S 1 follow\n#N 3\n#L x mon det\n"
REAL_XMGRACE = os.environ.get("KURVATAB_REAL_XMGRACE") or shutil.which("xmgrace")


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
    """kurvatab following `path` in the console, or in Grace with `grace`
    (a GraceSide); each line it prints is time-stamped on arrival."""

    def __init__(self, kurvatab, work, path, grace=None):
        env = dict(os.environ, HOME=work)
        if grace:
            env.update(grace.env)
        self.p = subprocess.Popen(["kurvatab", path], executable=kurvatab, cwd=work, env=env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        self.lines = []  # (arrival time, text)
        self.started = threading.Event()
        self.reader = threading.Thread(target=self._read)
        self.reader.start()
        self.p.stdin.write(b"u\n" if grace else b"U\n")
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


class GraceSide:
    """The xmgrace a follow in Grace talks to: the fake that time-stamps
    what it reads, or the real one through the saving wrapper; both leave
    grace-<pid>.log in their own folder."""

    def __init__(self, work, real, save_after=None):
        self.real = real
        self.save = tempfile.mkdtemp(prefix="grace-", dir=work)
        bindir = os.path.join(self.save, "bin")
        os.mkdir(bindir)
        here = os.path.dirname(os.path.abspath(__file__))
        prog = (os.path.join(here, "..", "tests", "grace", "xmgrace_saving") if real else
                os.path.join(here, "xmgrace_stamp"))
        os.symlink(os.path.abspath(prog), os.path.join(bindir, "xmgrace"))
        self.env = {"PATH": bindir + ":" + os.environ["PATH"], "KURVATAB_GRACE_SAVE": self.save,
                    "TMPDIR": work}
        if real:
            self.env["KURVATAB_REAL_XMGRACE"] = REAL_XMGRACE
        else:
            self.env["DISPLAY"] = os.environ.get("DISPLAY") or ":0"
        if save_after:
            self.env["KURVATAB_GRACE_SAVE_AFTER"] = save_after

    def files(self, suffix):
        return sorted(glob.glob(os.path.join(self.save, "grace-*" + suffix)))

    def log(self):
        """(time, command) for each line Grace was sent, blank ones left out."""
        out = []
        for name in self.files(".log"):
            with open(name, "rb") as f:
                for raw in f:
                    t, _, text = raw.decode("latin-1").rstrip("\n").partition(" ")
                    # A line being written as the log is read may come torn.
                    try:
                        stamp = float(t)
                    except ValueError:
                        continue
                    if text and raw.endswith(b"\n"):
                        out.append((stamp, text))
        return out

    def wait_for(self, text, timeout):
        end = time.monotonic() + timeout
        while not any(c.startswith(text) for _, c in self.log()):
            if time.monotonic() > end:
                return False
            time.sleep(0.05)
        return True

    def final_set(self):
        """The x of each point of the first set: from Grace's state saved at
        exit (real), or from the plot file and the points appended (fake)."""
        if self.real:
            xs, inside = [], False
            for name in self.files(".agr")[-1:]:
                with open(name, encoding="latin-1") as f:
                    for line in f:
                        if line.startswith("@target G0.S0"):
                            inside = True
                        elif inside and line.startswith("&"):
                            break
                        elif inside and not line.startswith("@"):
                            xs.append(float(line.split()[0]))
            return xs
        blocks = self.files(".block1")
        xs = []
        if blocks:
            with open(blocks[0]) as f:
                xs = [float(line.split()[0]) for line in f]
        for _, c in self.log():
            if c.startswith("S_ POINT "):
                xs.append(float(c[9:].split(",")[0]))
        return xs


def write_lines(path, first, n, rate, stamps):
    """Appends lines first..first+n-1 at `rate` a second, one write each;
    notes when each was written."""
    with open(path, "a") as f:
        t_start = time.monotonic()
        for k in range(first, first + n):
            delay = t_start + (k - first) / rate - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            f.write("%d 1000 %d\n" % (k, k * 7))
            f.flush()
            stamps[k] = time.monotonic()


def grace_latency(kurvatab, work, seconds, rate):
    path = os.path.join(work, "grace-latency.dat")
    with open(path, "w") as f:
        f.write(HEADER + "0 1000 0\n1 1000 7\n")
    side = GraceSide(work, real=False)
    fol = Follow(kurvatab, work, path, side)
    # Lines written while the xmgrace starts wait in the pipe for it: that is
    # Grace's start-up, not the follow's delay.
    side.wait_for("REDRAW", 30)
    written = {}
    write_lines(path, 2, int(seconds * rate), rate, written)
    side.wait_for("S_ POINT %d, " % (1 + int(seconds * rate)), 5)
    fol.stop()
    arrived = {int(c[9:].split(",")[0]): t for t, c in side.log() if c.startswith("S_ POINT ")}
    lat = sorted((arrived[k] - t) * 1000 for k, t in written.items() if k in arrived)
    return lat, len(written) - len(lat)


def grace_last(kurvatab, work, trials, rate, lines=20):
    """Per trial: ms from the last line written to its command reaching
    Grace, and to Grace's state holding its point."""
    out = []
    for trial in range(trials):
        path = os.path.join(work, "grace-last-%d.dat" % trial)
        with open(path, "w") as f:
            f.write(HEADER + "0 1000 0\n1 1000 7\n")
        last = 1 + lines
        side = GraceSide(work, real=True, save_after="S_ POINT %d, " % last)
        fol = Follow(kurvatab, work, path, side)
        side.wait_for("REDRAW", 30)
        written = {}
        write_lines(path, 2, lines, rate, written)
        end = time.monotonic() + 10
        while not side.files(".after.agr") and time.monotonic() < end:
            time.sleep(0.001)
        held = time.monotonic()
        fol.stop()
        sent = [t for t, c in side.log() if c.startswith("S_ POINT %d, " % last)]
        saved = side.files(".after.agr")
        holds = False
        if saved:
            with open(saved[0], encoding="latin-1") as f:
                holds = ("\n%d %d.0000" % (last, last * 7)) in f.read()
        if sent and holds:
            out.append(((sent[0] - written[last]) * 1000, (held - written[last]) * 1000))
    return out


def grace_load(kurvatab, work, seconds, rate, real):
    path = os.path.join(work, "grace-load-%s.dat" % ("real" if real else "fake"))
    with open(path, "w") as f:
        f.write(HEADER)
    side = GraceSide(work, real=real)
    fol = Follow(kurvatab, work, path, side)
    n = int(seconds * rate)
    burst = max(1, int(rate * 0.005))
    carry = ""
    with open(path, "a") as f:
        t_start = time.monotonic()
        k = 0
        while k < n:
            delay = t_start + k / rate - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            chunk = "".join("%d 1000 %d\n" % (j, j % 997) for j in range(k, k + burst))
            f.write(carry + chunk[:-3])
            f.flush()
            carry = chunk[-3:]
            k += burst
        f.write(carry)
    t_end = time.monotonic()
    caught_up = side.wait_for("S_ POINT %d, " % (k - 1), 60)
    lag = time.monotonic() - t_end
    fol.stop()
    xs = side.final_set()
    redraws = [t for t, c in side.log() if c == "REDRAW"]
    # The stamps are the reader's: while the xmgrace starts up, the first
    # commands wait in the pipe and arrive together, so the busiest second
    # is sought from one second after the first plot on.
    steady = [t for t in redraws if redraws and t >= redraws[0] + 1.0]
    peak = max((sum(1 for u in steady if t <= u < t + 1.0) for t in steady), default=0)
    span = t_end - t_start
    ok = caught_up and xs == [float(j) for j in range(k)]
    return ok, k, len(xs), len(redraws) / span, peak, lag


def spread(lat):
    """Median, 99th percentile and maximum of sorted latencies in ms."""
    if not lat:
        return "no lines"
    return "median %.1f ms, 99th %.1f ms, max %.1f ms" % (
        statistics.median(lat), lat[min(len(lat) - 1, int(0.99 * len(lat)))], lat[-1])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--idle", type=float, default=10)
    ap.add_argument("--latency", type=float, default=30)
    ap.add_argument("--rate", type=float, default=10)
    ap.add_argument("--load", type=float, default=10)
    ap.add_argument("--load-rate", type=float, default=2000)
    ap.add_argument("--grace-latency", type=float, default=30)
    ap.add_argument("--grace-last", type=int, default=5, help="follows with the real xmgrace")
    ap.add_argument("--grace-load", type=float, default=10)
    ap.add_argument("--no-real", action="store_true", help="no measures with the real xmgrace")
    a = ap.parse_args()
    real = not a.no_real and REAL_XMGRACE and shutil.which("xvfb-run")
    if real and os.environ.get("KURVATAB_UNDER_XVFB") != "1":
        # The real Grace needs a display: the whole run goes under xvfb-run.
        env = dict(os.environ, KURVATAB_UNDER_XVFB="1")
        env.pop("DISPLAY", None)
        os.execvpe("xvfb-run", ["xvfb-run", "-a", sys.executable, os.path.abspath(__file__)] +
                   sys.argv[1:], env)
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
            print("latency at %g lines/s for %g s: %d lines, %s, missing %d" % (
                a.rate, a.latency, len(lat), spread(lat), missing))
        if a.load > 0:
            ok, n, got, cpu = load(kurvatab, work, a.load, a.load_rate)
            print("load at %g lines/s for %g s: %d lines written, %d shown, %s; %.2f s CPU" %
                  (a.load_rate, a.load, n, got, "each once, in order" if ok else "MISMATCH", cpu))
        if a.grace_latency > 0:
            lat, missing = grace_latency(kurvatab, work, a.grace_latency, a.rate)
            print("grace latency at %g lines/s for %g s: %d points, %s, missing %d" % (
                a.rate, a.grace_latency, len(lat), spread(lat), missing))
        if a.grace_last > 0 and real:
            runs = grace_last(kurvatab, work, a.grace_last, a.rate)
            if runs:
                print("grace last (real xmgrace, %d of %d follows): to Grace's pipe median %.1f ms "
                      "max %.1f ms; until Grace holds the point median %.1f ms max %.1f ms" % (
                          len(runs), a.grace_last, statistics.median(r[0] for r in runs),
                          max(r[0] for r in runs), statistics.median(r[1] for r in runs),
                          max(r[1] for r in runs)))
            else:
                print("grace last: no follow reached Grace's state")
        if a.grace_load > 0:
            for kind in ([False, True] if real else [False]):
                ok, n, got, rate, peak, lag = grace_load(kurvatab, work, a.grace_load,
                                                         a.load_rate, kind)
                print("grace load (%s xmgrace) at %g lines/s for %g s: %d lines written, %d points "
                      "in the set, %s; %.1f redraws/s, at most %d in a second; last point %.0f ms "
                      "after the last line" % ("real" if kind else "fake", a.load_rate,
                                               a.grace_load, n, got,
                                               "each once, in order" if ok else "MISMATCH", rate,
                                               peak, lag * 1000))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
