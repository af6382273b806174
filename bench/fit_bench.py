#!/usr/bin/env python3
"""Fit benchmark: 1,000 generated noisy peaks of 200 points each (Gaussian on
a constant background, Poisson counts; some weak, wide, narrow or at the edge
of the scan), fitted by a loop `(i1,1000,g)` of kurvatab and by a Python loop
of scipy.optimize.curve_fit over the same points, from the same starting
values, each as a whole process (start-up included). Prints

- kurvatab_s: the best of --runs whole-process times (wall, and processor
  time user + system, which a busy machine does not inflate) of kurvatab SCANS with
  the loop and q on standard input; index_s the same with q alone (start-up
  and indexing), so kurvatab_s - index_s is the loop itself (target: the loop
  at most 1 s);
- scipy_s: the same for /usr/bin/python3 reading the file and running
  curve_fit (scipy's defaults) in a loop; ratio = scipy_s / kurvatab_s;
- agreement: fits the reference reaches that kurvatab does not (target 0);
  fits kurvatab reports that the reference does not reach, and of those how
  many the data contradict (kurvatab's sum of squares above the reference's
  last one; target 0); among fits both reach, the largest parameter difference
  in units of the uncertainty.

    python3 bench/fit_bench.py [--build build] [--scans 1000] [--points 200] [--runs 3]
"""
import argparse
import math
import os
import resource
import subprocess
import sys
import tempfile
import time

if os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
    os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
import numpy as np  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from test_fit_scipy import model, start  # noqa: E402

# The reference loop, run as a process of its own: reads the scans and the
# statistics of `a`, fits each with curve_fit, writes one row per scan.
REFERENCE = r"""
import sys, warnings, numpy as np
sys.path.insert(0, sys.argv[1])
from scipy.optimize import curve_fit
from test_fit_scipy import model, start
f, n = model("gauss const")
scans, x, y = [], [], []
for line in open(sys.argv[2]):
    if line.startswith("#S"):
        x, y = [], []
        scans.append((x, y))
    elif line[0] not in "#\n":
        u, _, v = line.split()
        x.append(float(u)); y.append(float(v))
stats = [dict(zip(open(sys.argv[3]).readline()[2:].split(), map(float, l.split())))
         for l in open(sys.argv[3]) if l[0] != "#"]
out = open(sys.argv[4], "w")
warnings.simplefilter("ignore")
for (x, y), st in zip(scans, stats):
    x, y = np.array(x), np.array(y)
    p0 = start("gauss const", x, y, st)
    try:
        p, cov = curve_fit(f, x, y, p0=p0)
        ok = np.all(np.isfinite(cov))
    except RuntimeError:
        p, cov, ok = np.array(p0), np.full((n, n), np.nan), False
    out.write(" ".join(map(repr, list(p) + list(np.sqrt(np.diag(cov))) + [int(ok)])) + "\n")
"""


def generate(path, scans, points):
    rng = np.random.default_rng(20261207)
    f = model("gauss const")[0]
    x = np.linspace(-2, 2, points)
    with open(path, "w") as out:
        for k in range(1, scans + 1):
            c = rng.uniform(-1.9, 1.9) if k % 10 == 0 else rng.uniform(-1, 1)
            w = math.exp(rng.uniform(math.log(0.08), math.log(2.5)))
            h = math.exp(rng.uniform(math.log(5), math.log(20000)))
            y = rng.poisson(f(x, c, w, h, rng.uniform(0, 100)))
            out.write("#S %d  peak\n#N 3\n#L x  mon  det\n" % k)
            out.writelines("%.6f 1000 %d\n" % (u, v) for u, v in zip(x, y))
    return x


def best_time(cmd, stdin, runs, cwd):
    """The best wall time and the best processor time (user + system) of runs."""
    wall = cpu = math.inf
    for _ in range(runs):
        before, t = resource.getrusage(resource.RUSAGE_CHILDREN), time.perf_counter()
        subprocess.run(cmd, input=stdin, cwd=cwd, stdout=subprocess.DEVNULL, check=True)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        wall = min(wall, time.perf_counter() - t)
        cpu = min(cpu, after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
    return wall, cpu


def rows(path):
    with open(path) as f:
        return [[float(v) for v in l.split()] for l in f if l[0] != "#"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--scans", type=int, default=1000)
    ap.add_argument("--points", type=int, default=200)
    ap.add_argument("--runs", type=int, default=3)
    a = ap.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-fit-bench-") as work:
        # A link of its own, so no initialization file of the user's is read.
        os.symlink(os.path.abspath(os.path.join(a.build, "kurvatab")), os.path.join(work, "kt"))
        data = os.path.join(work, "scans.dat")
        x = generate(data, a.scans, a.points)
        kt = [os.path.join(work, "kt"), "scans.dat"]
        loop = ("(i1,%d,a)stats.txt\n(i1,%d,g)fits.txt\nq\n" % (a.scans, a.scans)).encode()
        subprocess.run(kt, input=loop, cwd=work, stdout=subprocess.DEVNULL, check=True)
        index_s = best_time(kt, b"q\n", a.runs, work)
        kurvatab_s = best_time(kt, ("(i1,%d,g)fits.txt\nq\n" % a.scans).encode(), a.runs, work)
        ref = ["/usr/bin/python3", "-c", REFERENCE, os.path.join(HERE, "..", "tests", "e2e"), data,
               os.path.join(work, "stats.txt"), os.path.join(work, "ref.txt")]
        scipy_s = best_time(ref, b"", a.runs, work)
        ours, theirs = rows(os.path.join(work, "fits.txt")), rows(os.path.join(work, "ref.txt"))
        f = model("gauss const")[0]
        with open(data) as fd:
            ys = [np.array([float(l.split()[2]) for l in s.splitlines()[3:]])
                  for s in fd.read().split("#S ")[1:]]
        missed = extra = contradicted = both = 0
        worst = 0.0
        for o, r, y in zip(ours, theirs, ys):
            got, reached = o[-1] == 1, r[-1] == 1
            if reached and not got and os.environ.get("FIT_BENCH_DEBUG"):
                print("missed scan %d: reference %s" % (o[0], r))
            missed += reached and not got
            if got and not reached:
                extra += 1
                sq = lambda p: float(np.sum((f(x, *p) - y) ** 2))
                contradicted += sq(o[3:7]) > sq(r[:4]) * (1 + 1e-9)
            if got and reached:
                both += 1
                worst = max(worst, max(abs(o[3 + k] - r[k]) / r[4 + k] for k in range(4)))
    print("scans=%d points=%d" % (a.scans, a.points))
    for k, what in enumerate(("wall", "cpu")):
        print("%s: index_s=%.3f kurvatab_s=%.3f loop_s=%.3f scipy_s=%.3f ratio=%.1f"
              % (what, index_s[k], kurvatab_s[k], kurvatab_s[k] - index_s[k], scipy_s[k],
                 scipy_s[k] / kurvatab_s[k]))
    print("both=%d missed=%d extra=%d contradicted=%d worst_diff_in_sigma=%.2g"
          % (both, missed, extra, contradicted, worst))


if __name__ == "__main__":
    sys.exit(main())
