#!/usr/bin/env python3
"""Statistics of scans (`a`) against an independent numpy computation.

Generated curves (a Gaussian, a Lorentzian, a noisy Gaussian with a value
that is not a number and one that is infinite, the Gaussian run backwards,
two peaks, a flat line, a step, x not monotonic) are written with every
digit of their doubles into one scan file. A loop writes the statistics
table of all scans, once plain and once normalised by the monitor column
(where some monitors are below 1); every number must agree with numpy's to
1e-9 relative.

numpy comes from Debian's python3-numpy, which belongs to /usr/bin/python3;
when the interpreter running this script has no numpy, the script runs
itself again with that one.
"""
import math
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import numpy as np
except ImportError:
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != \
            os.path.realpath("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    sys.exit("numpy is missing: apt-get install python3-numpy")

import e2e_util

NAN = float("nan")
FIELDS = ["scan", "i", "points", "skipped", "low_monitor", "ymin", "ymax", "xpeak", "fwhm",
          "centre", "com", "integral"]


def curves():
    """(name, x, monitor, y) of each scan; y may hold nan and inf."""
    rng = np.random.default_rng(20261207)
    out = []
    x = np.linspace(10.0, 12.0, 81)
    gauss = 5 + 1000 * np.exp(-(x - 11.03) ** 2 / (2 * 0.07 ** 2))
    mon = np.full(x.size, 1000.0)
    out.append(("gaussian", x, mon, gauss))
    xl = np.linspace(-1.5, 4.1, 117)
    out.append(("lorentzian", xl, np.full(xl.size, 1000.0),
                20 + 3000 / (1 + ((xl - 1.234) / 0.2) ** 2)))
    noisy = rng.poisson(gauss).astype(float)
    noisy[17] = NAN
    noisy[60] = math.inf
    out.append(("noisy gaussian", x, mon, noisy))
    out.append(("gaussian backwards", x[::-1], mon, gauss[::-1]))
    two = 10 + 1000 * np.exp(-(x - 10.8) ** 2 / (2 * 0.05 ** 2)) \
        + 700 * np.exp(-(x - 11.3) ** 2 / (2 * 0.08 ** 2))
    out.append(("two peaks", x, mon, two))
    out.append(("flat", x, mon, np.full(x.size, 42.0)))
    out.append(("step", x, mon, np.where(x < 11.17, 3.0, 250.0)))
    xs = x.copy()
    xs[40], xs[41] = xs[41], xs[40]
    out.append(("x not monotonic", xs, mon, gauss))
    # Monitors around 1e4 with a few below 1: left out when normalising.
    mon_var = rng.uniform(8000, 12000, x.size)
    mon_var[[5, 33, 70]] = [0.5, 0.0, 0.999]
    out.append(("varying monitor", x, mon_var, gauss * mon_var / 1e4))
    return out


def trapezoid(y, x):
    f = getattr(np, "trapezoid", None) or np.trapz
    return float(f(y, x))


def reference(x, y):
    """The statistics by the rules of the `a` command, in numpy."""
    r = dict(points=len(x), ymin=NAN, ymax=NAN, xpeak=NAN, fwhm=NAN, centre=NAN, com=NAN,
             integral=NAN)
    if len(x) == 0:
        return r
    x, y = np.asarray(x, float), np.asarray(y, float)
    ymin, ymax = float(np.min(y)), float(np.max(y))
    r.update(ymin=ymin, ymax=ymax)
    if len(x) < 3:
        return r
    d = np.diff(x)
    rising, falling = bool(np.all(d >= 0)), bool(np.all(d <= 0))
    if falling and not rising:
        x, y = x[::-1], y[::-1]
    monotonic = rising or falling
    p = int(np.argmax(y))
    r["xpeak"] = float(x[p])
    if monotonic:
        r["integral"] = trapezoid(y, x)
    if ymax == ymin:
        return r
    r["com"] = float(np.sum(x * (y - ymin)) / np.sum(y - ymin))
    if not monotonic:
        return r
    half = ymin + (ymax - ymin) / 2
    left = np.nonzero(y[:p] <= half)[0]
    right = np.nonzero(y[p + 1:] <= half)[0] + p + 1
    if len(left) and len(right):
        k = left[-1]
        xl = float(np.interp(half, [y[k], y[k + 1]], [x[k], x[k + 1]]))
        k = right[0]
        xr = float(np.interp(half, [y[k], y[k - 1]], [x[k], x[k - 1]]))
        r.update(fwhm=xr - xl, centre=(xl + xr) / 2)
    return r


def expected_rows(scans, normalize):
    rows = []
    for n, (name, x, mon, y) in enumerate(scans, 1):
        ok = np.isfinite(x) & np.isfinite(y)
        skipped = int(np.sum(~ok))
        low = 0
        if normalize:
            good_mon = np.isfinite(mon) & (mon >= 1)
            low = int(np.sum(ok & ~good_mon))
            ok &= good_mon
            yy = y[ok] / mon[ok]
        else:
            yy = y[ok]
        r = reference(x[ok], yy)
        r.update(scan=n, i=n, skipped=skipped, low_monitor=low)
        rows.append([r[f] for f in FIELDS])
    return rows


def write_file(path, scans):
    with open(path, "w") as f:
        f.write("#F numpy curves\n")
        for n, (name, x, mon, y) in enumerate(scans, 1):
            f.write("\n#S %d  %s\n#N 3\n#L x  mon  det\n" % (n, name))
            for a, b, c in zip(x, mon, y):
                f.write("%r %r %r\n" % (float(a), float(b), float(c)))


def agree(got, want):
    if math.isnan(want):
        return math.isnan(got)
    return abs(got - want) <= 1e-9 * abs(want) + 1e-300


def main():
    a = e2e_util.parse_args()
    work = tempfile.mkdtemp(prefix="kurvatab-stats-")
    failures = []
    try:
        scans = curves()
        write_file(os.path.join(work, "curves.dat"), scans)
        n = len(scans)
        cmds = "(i1,%d,a)plain.txt\nN\n(i1,%d,a)norm.txt\nq\n" % (n, n)
        p = subprocess.run(["kurvatab", "curves.dat"], executable=a.binary, cwd=work,
                           env=dict(os.environ, HOME=work), input=cmds.encode(),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        if p.returncode != 0 or p.stderr:
            failures.append("run: status %d, stderr %r" % (p.returncode, p.stderr))
        for table, normalize in (("plain.txt", False), ("norm.txt", True)):
            with open(os.path.join(work, table)) as f:
                lines = f.read().splitlines()
            if lines[0] != "# " + " ".join(FIELDS):
                failures.append("%s: header %r" % (table, lines[0]))
            got = [[float(v) for v in line.split()] for line in lines[1:]]
            want = expected_rows(scans, normalize)
            if len(got) != len(want):
                failures.append("%s: %d rows, want %d" % (table, len(got), len(want)))
            for g, w, (name, *_) in zip(got, want, scans):
                for field, gv, wv in zip(FIELDS, g, w):
                    if not agree(gv, wv):
                        failures.append("%s, %s: %s is %r, numpy gives %r" %
                                        (table, name, field, gv, wv))
        # The rules must have been exercised: a FWHM, a missing side, NaNs.
        plain = expected_rows(scans, False)
        if not (math.isnan(plain[6][8]) and not math.isnan(plain[0][8])
                and plain[2][3] == 2 and math.isnan(plain[7][11])):
            failures.append("the curves no longer exercise the rules: %r" % plain)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    sys.exit(e2e_util.report(failures))


if __name__ == "__main__":
    main()
