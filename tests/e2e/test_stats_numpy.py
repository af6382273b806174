#!/usr/bin/env python3
"""Statistics of generated curves (`a` in loops, plain and normalised by the
monitor) agree with numpy's to 1e-9 relative. numpy is /usr/bin/python3's."""
import math
import os
import sys
import tempfile

try:
    import numpy as np
except ImportError:  # numpy is Debian's python3-numpy, for /usr/bin/python3
    if os.path.realpath(sys.executable) == os.path.realpath("/usr/bin/python3"):
        sys.exit("numpy is missing")
    os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)

import e2e_util as e

NAN = float("nan")
FIELDS = "scan i points skipped low_monitor ymin ymax xpeak fwhm centre com integral".split()


def curves():
    """(name, x, monitor, y) of each scan (the unit tests have flat, step, x not monotonic)."""
    rng = np.random.default_rng(20261207)
    x = np.linspace(10.0, 12.0, 81)
    mon = np.full(x.size, 1000.0)
    gauss = 5 + 1000 * np.exp(-(x - 11.03) ** 2 / (2 * 0.07 ** 2))
    noisy = rng.poisson(gauss).astype(float)
    noisy[17], noisy[60] = NAN, math.inf
    mon_var = rng.uniform(8000, 12000, x.size)
    mon_var[[5, 33, 70]] = [0.5, 0.0, 0.999]
    return [("gaussian", x, mon, gauss),
            ("noisy gaussian", x, mon, noisy),
            ("gaussian backwards", x[::-1], mon, gauss[::-1]),
            ("two peaks", x, mon, 10 + 1000 * np.exp(-(x - 10.8) ** 2 / (2 * 0.05 ** 2))
             + 700 * np.exp(-(x - 11.3) ** 2 / (2 * 0.08 ** 2))),
            ("varying monitor", x, mon_var, gauss * mon_var / 1e4)]


def reference(x, y):
    """The statistics by the rules of the `a` command, for a peak in a monotonic x."""
    if x[0] > x[-1]:
        x, y = x[::-1], y[::-1]
    ymin, ymax, p = float(np.min(y)), float(np.max(y)), int(np.argmax(y))
    half = (ymin + ymax) / 2
    k = np.nonzero(y[:p] <= half)[0][-1]
    m = np.nonzero(y[p + 1:] <= half)[0][0] + p + 1
    xl = float(np.interp(half, [y[k], y[k + 1]], [x[k], x[k + 1]]))
    xr = float(np.interp(half, [y[m], y[m - 1]], [x[m], x[m - 1]]))
    return dict(points=len(x), ymin=ymin, ymax=ymax, xpeak=float(x[p]), fwhm=xr - xl,
                centre=(xl + xr) / 2, com=float(np.sum(x * (y - ymin)) / np.sum(y - ymin)),
                integral=float((getattr(np, "trapezoid", None) or np.trapz)(y, x)))


def expected_row(n, x, mon, y, normalize):
    ok = np.isfinite(x) & np.isfinite(y)
    good_mon = np.isfinite(mon) & (mon >= 1) if normalize else ok
    use = ok & good_mon
    r = reference(x[use], y[use] / mon[use] if normalize else y[use])
    r.update(scan=n, i=n, skipped=int(np.sum(~ok)), low_monitor=int(np.sum(ok & ~good_mon)))
    return [r[f] for f in FIELDS]


def main():
    a = e.parse_args()
    scans = curves()
    with tempfile.TemporaryDirectory(prefix="kurvatab-stats-") as work:
        with open(os.path.join(work, "curves.dat"), "w") as f:
            for n, (name, x, mon, y) in enumerate(scans, 1):
                f.write("\n#S %d  %s\n#N 3\n#L x  mon  det\n" % (n, name))
                f.writelines("%r %r %r\n" % (float(u), float(v), float(w)) for u, v, w in zip(x, mon, y))
        cmds = "(i1,%d,a)plain.txt\nN\n(i1,%d,a)norm.txt\nq\n" % (len(scans), len(scans))
        p = e.run(a.binary, work, ["curves.dat"], cmds.encode())
        e.check(p.returncode == 0 and p.stderr == b"", "status %d, %r" % (p.returncode, p.stderr))
        for table, normalize in (("plain.txt", False), ("norm.txt", True)):
            with open(os.path.join(work, table)) as f:
                lines = f.read().splitlines()
            e.check(lines[0] == "# " + " ".join(FIELDS), "%s: header %r" % (table, lines[0]))
            e.check(len(lines) == len(scans) + 1, "%s: %d rows" % (table, len(lines) - 1))
            for n, (line, (name, x, mon, y)) in enumerate(zip(lines[1:], scans), 1):
                want = expected_row(n, x, mon, y, normalize)
                for field, g, w in zip(FIELDS, map(float, line.split()), want):
                    agree = math.isnan(g) if math.isnan(w) else abs(g - w) <= 1e-9 * abs(w) + 1e-300
                    e.check(agree, "%s, %s: %s is %r, numpy gives %r" % (table, name, field, g, w))
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
