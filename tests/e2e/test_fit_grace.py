#!/usr/bin/env python3
"""The fitted curve in the real xmgrace (under xvfb-run, saved through
tests/grace/xmgrace_saving): g right after a plot draws it as a second set (a
red line on a fine grid, legend with model, centre and FWHM); the purged plot
of another scan drops it; plotting the scan fitted last draws it again."""
import math
import os
import re
import sys

import e2e_util
from e2e_util import check
from test_grace_real import grace_setup, main, read_project

PEAK = "#S 1  peak\n#N 3\n#L th  mon  det\n" + "".join(
    "%.2f 1000 %d\n" % (10 + k / 20, round(7 + 900 * math.exp(-((k - 21) / 6.5) ** 2)))
    for k in range(41)) + "#S 2  other\n#N 3\n1 10 5\n2 10 50\n3 10 7\n4 10 6\n"


def run(a, work):
    save, _, env = grace_setup(a, work, PEAK)
    r = e2e_util.run(a.binary, work, ["scans.dat"], env=env,
                     stdin=b"P\nv 1\ng\nv 2\ng 1\nv 1\nq\n")
    check(r.returncode == 0 and r.stderr == b"", "exit %d, stderr %r" % (r.returncode, r.stderr))
    fit = re.search(rb"fit=gauss const .*centre=(\S+) .*fwhm=(\S+) .*height=(\S+) .*"
                    rb"background=(\S+) ", r.stdout)
    check(fit is not None, "no fit line in %r" % r.stdout[-400:])
    states = [n for n in os.listdir(save) if n.endswith(".agr")]
    check(len(states) == 1, "states saved: %s" % states)
    if fit is None or len(states) != 1:
        return
    c, w, h, b = map(float, fit.groups())
    path = os.path.join(save, states[0])
    sets, legends, _, _ = read_project(path)
    with open(path, encoding="latin-1") as f:
        text = f.read()
    check(sorted(sets) == [0, 1] and legends.get(0) == "scans.dat #S1",
          "sets at exit: %s, legends %s" % (sorted(sets), legends))
    curve = sets.get(1, [])
    check(legends.get(1) == "gauss const: centre %.6g FWHM %.4g" % (c, w), "legend %r" % legends.get(1))
    check(len(curve) >= 500 and curve[0][0] == 10 and curve[-1][0] == 12,
          "grid: %d points from %s to %s" % (len(curve), curve[:1], curve[-1:]))
    model = lambda x: h * math.exp(-4 * math.log(2) * ((x - c) / w) ** 2) + b
    # The line gives the parameters to ten digits.
    worst = max((abs(y - model(x)) / h for x, y in curve), default=1)
    check(worst < 1e-8, "curve differs from the fitted model by %g of its height" % worst)
    for prop in ("symbol 0", "line type 1", "line color 2"):
        check("@    s1 %s\n" % prop in text, "set 1 has no %s" % prop)


if __name__ == "__main__":
    sys.exit(main(run))
