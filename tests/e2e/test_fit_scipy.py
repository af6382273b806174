#!/usr/bin/env python3
"""The fits of `g` (loop tables) agree with scipy.optimize.curve_fit given the
same model, points and starting values (and tolerances tight enough to give
the minimum itself): parameters to 1e-6 relative (of the
value, or of its uncertainty for a value near 0), uncertainties to 1e-3; a fit
the program does not report is not found by scipy either. scipy is
/usr/bin/python3's (Debian's python3-scipy)."""
import math
import os
import sys
import tempfile
import warnings

try:
    import numpy as np
    from scipy.optimize import OptimizeWarning, curve_fit
    from scipy.special import erf
except ImportError:
    if os.path.realpath(sys.executable) == os.path.realpath("/usr/bin/python3"):
        sys.exit("scipy is missing")
    os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)

import e2e_util as e

LN2 = math.log(2)


def model(name):
    """The model as the program defines it, and its parameter count."""
    shape, bg = name.split()

    def f(x, *p):
        c, w, h = p[:3]
        u = (x - c) / w
        if shape == "step":
            y = h * 0.5 * (1 + erf(2 * math.sqrt(LN2) * u))
        else:
            eta = {"gauss": 0.0, "lorentz": 1.0, "voigt": p[3] if len(p) > 3 else 0}[shape]
            y = h * (eta / (1 + 4 * u * u) + (1 - eta) * np.exp(-4 * LN2 * u * u))
        b = 4 if shape == "voigt" else 3
        if bg != "none":
            y = y + p[b]
        if bg == "line":
            y = y + p[b + 1] * x
        return y
    return f, (4 if shape == "voigt" else 3) + {"none": 0, "const": 1, "line": 2}[bg]


def crossing(x, y, level):
    for k in range(len(x) - 1):
        a, b = y[k] - level, y[k + 1] - level
        if a == 0:
            return x[k]
        if (a < 0) != (b < 0):
            return x[k] + (x[k + 1] - x[k]) * a / (a - b)
    return math.nan


def start(name, x, y, stats):
    """The starting values by the program's documented rules; `stats` is its `a` row."""
    shape, bg = name.split()
    o = np.argsort(x, kind="stable")
    xs, ys, n = x[o], y[o], len(x)
    k = min(3, n // 2)
    xlo, ylo, xhi, yhi = xs[:k].mean(), ys[:k].mean(), xs[-k:].mean(), ys[-k:].mean()
    span = xs[-1] - xs[0]
    base = slope = 0.0
    if bg == "const" or shape == "step":
        base = min(ylo, yhi)
    elif bg == "line":
        slope = (yhi - ylo) / (xhi - xlo)
        base = ylo - slope * xlo
    if shape == "step":
        step = yhi - ylo
        edge = crossing(xs, ys, ylo + step / 2)
        w = crossing(xs, ys, ylo + 0.8805 * step) - crossing(xs, ys, ylo + 0.1195 * step)
        w = math.copysign(abs(w) if abs(w) > 0 else span / 10, step)
        p = [edge, w, max(ylo, yhi) if bg == "none" else abs(step)]
    else:
        centre = stats["centre"] if math.isfinite(stats["centre"]) else stats["xpeak"]
        w = stats["fwhm"]
        if not (w > 0):
            above = x[y >= stats["ymin"] + (stats["ymax"] - stats["ymin"]) / 2]
            w = 2 * max(above.max() - above.min(), span / (n - 1))
        p = [centre, w, stats["ymax"] - (base + slope * stats["xpeak"])]
        p += [0.5] if shape == "voigt" else []
    return p + ([base] if bg != "none" else []) + ([slope] if bg == "line" else [])


def scans():
    """(title, model, x, y, monitor, setting): each model with and without
    background and noise, and the awkward cases."""
    rng = np.random.default_rng(20261207)
    x = np.linspace(-1.0, 1.0, 61)
    true = {"gauss": [0.1, 0.4, 900], "lorentz": [-0.2, 0.3, 500], "voigt": [0.05, 0.35, 700, 0.4],
            "step": [0.15, 0.25, 400]}
    out = []
    for shape in ("gauss", "lorentz", "voigt", "step"):
        for bg, extra in (("none", []), ("const", [40]), ("line", [30, 12])):
            name = shape + " " + bg
            y = model(name)[0](x, *(true[shape] + extra))
            out.append(("%s exact" % name, name, x, y, None, ""))
            out.append(("%s poisson" % name, name, x, rng.poisson(y).astype(float), None, ""))
    g = model("gauss const")[0]
    noisy = lambda xx, *p: rng.poisson(g(xx, *p)).astype(float)
    out.append(("x reversed", "gauss const", x[::-1], noisy(x[::-1], 0.1, 0.4, 900, 40), None, ""))
    xf = np.linspace(-1, 1, 7)
    out.append(("few points", "gauss const", xf, noisy(xf, 0.0, 0.8, 900, 40), None, ""))
    out.append(("fewer than parameters", "gauss const", xf[:4], noisy(xf[:4], 0, 1, 9, 1), None, ""))
    out.append(("peak at the edge", "gauss const", x, noisy(x, 0.9, 0.5, 900, 40), None, ""))
    out.append(("flat line", "gauss const", x, np.full(x.size, 50.0), None, ""))
    y = noisy(x, 0.1, 0.4, 900, 40)
    y[[7, 30, 44]] = [math.nan, math.inf, math.nan]
    out.append(("nan among the values", "gauss const", x, y, None, ""))
    out.append(("weighted", "gauss const", x, noisy(x, 0.1, 0.4, 900, 40), None, "E"))
    mon = rng.uniform(800, 1200, x.size)
    mon[[3, 50]] = 0.5
    out.append(("normalised", "lorentz const", x, rng.poisson(model("lorentz const")[0](
        x, -0.2, 0.3, 500, 40) * mon / 1000).astype(float), mon, "N"))
    # Shaped like alignment scans: a rocking curve, a knife edge, a slit.
    th = np.linspace(17.2, 17.8, 41)
    out.append(("rocking curve", "voigt const", th, rng.poisson(
        model("voigt const")[0](th, 17.513, 0.061, 25000, 0.6, 120)).astype(float), None, ""))
    z = np.linspace(-0.5, 0.5, 51)
    out.append(("knife edge", "step line", z, rng.poisson(
        model("step line")[0](z, 0.032, -0.045, 80000, 300, -50)).astype(float), None, ""))
    out.append(("slit scan", "gauss line", z, rng.poisson(
        model("gauss line")[0](z, -0.021, 0.18, 12000, 200, 80)).astype(float), None, ""))
    return out


def table(path):
    with open(path) as f:
        lines = f.read().splitlines()
    names = lines[0].split(":", 1)[1].split()
    return dict(zip(names, map(float, lines[1].split())))


def compare(title, name, x, y, mon, setting, stats, got):
    f, n = model(name)
    use = np.isfinite(x) & np.isfinite(y)
    if setting == "N":
        use &= mon >= 1
    x, y = x[use], y[use] / (mon[use] if setting == "N" else 1)
    # The plot's error bars (every count here is at least 1).
    sigma = np.sqrt(y + 1e-6) if setting == "E" else None
    e.check(got["points"] == len(x), "%s: %d points, expected %d" % (title, got["points"], len(x)))
    names = [k for k in got if k.startswith("d_") and k != "d_area"]
    if len(x) <= n:
        e.check(got["converged"] == 0, "%s: fitted %d points for %d parameters" % (title, len(x), n))
        return
    p0 = start(name, x, y, stats)
    with warnings.catch_warnings():
        warnings.simplefilter("error", OptimizeWarning)
        try:
            # Tighter than the defaults: the reference is the minimum itself.
            p, cov = curve_fit(f, x, y, p0=p0, sigma=sigma, ftol=1e-12, xtol=1e-12)
            ref = np.sqrt(np.diag(cov))
        except (RuntimeError, OptimizeWarning) as why:
            e.check(got["converged"] == 0, "%s: reported, scipy says %s" % (title, why))
            return
    e.check(got["converged"] == 1, "%s: not reported, scipy found %s" % (title, p))
    if got["converged"] != 1:
        return
    if name.split()[0] != "step":
        p[1] = abs(p[1])
    exact = "exact" in title
    for k, d in enumerate(names):
        v, u = got[d[2:]], got[d]
        e.check(abs(v - p[k]) <= 1e-6 * max(abs(p[k]), ref[k]),
                "%s: %s is %r, scipy %r" % (title, d[2:], v, p[k]))
        e.check(exact or abs(u - ref[k]) <= 1e-3 * ref[k],
                "%s: %s is %r, scipy %r" % (title, d, u, ref[k]))


def main():
    a = e.parse_args()
    cases = scans()
    with tempfile.TemporaryDirectory(prefix="kurvatab-fit-") as work:
        cmds = []
        with open(os.path.join(work, "scans.dat"), "w") as f:
            for k, (title, name, x, y, mon, setting) in enumerate(cases, 1):
                m = np.full(x.size, 1000.0) if mon is None else mon
                f.write("\n#S %d  %s\n#N 3\n#L x  mon  det\n" % (k, title))
                f.writelines("%r %r %r\n" % (float(u), float(v), float(w)) for u, v, w in zip(x, m, y))
                toggle = [setting] if setting else []
                cmds += ["G " + name] + toggle + ["(i%d,%d,a)a%d" % (k, k, k),
                                                  "(i%d,%d,g)g%d" % (k, k, k)] + toggle
        p = e.run(a.binary, work, ["scans.dat"], ("\n".join(cmds) + "\nq\n").encode())
        e.check(p.returncode == 0 and p.stderr == b"", "status %d, %r" % (p.returncode, p.stderr))
        for k, (title, name, x, y, mon, setting) in enumerate(cases, 1):
            with open(os.path.join(work, "a%d" % k)) as fa:
                head, row = fa.read().splitlines()[:2]
            stats = dict(zip(head[2:].split(), map(float, row.split())))
            compare(title, name, x, y, mon, setting, stats, table(os.path.join(work, "g%d" % k)))
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
