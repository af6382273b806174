#!/usr/bin/env python3
"""The real xmgrace under xvfb-run, behind tests/grace/xmgrace_saving: Grace's
state saved after a normalised log plot of small values and at exit, after
linear after log, a purged plot printed to PNG by h, a loop of plots, a spectrum and q.
Points match within 1e-15 relative (Grace's number reader rounds)."""
import os
import re
import shutil
import struct
import sys
import tempfile
import zlib

import e2e_util
from e2e_util import check

PEAK = "".join("%.1f 1000 %d\n" % (10 + k / 10, 5 + 800 * max(0, 1 - abs(k - 10) / 6))
               for k in range(21))
SCANS = ("#S 1  reflectivity\n#N 3\n#L th  mon  det\n"
         "0.1 1000 0.01\n0.2 1000 0.00001\n0.3 0.5 2\n0.4 1000 0\n"
         "#S 2  peak\n#N 3\n1 10 5\n2 10 50\n3 10 7\n#S 3  peak\n#N 3\n1 10 6\n2 10 60\n3 10 8\n"
         "#S 4  peak\n#N 3\n1 10 9\n2 10 90\n3 10 11\n#S 5  wide peak\n#N 3\n" + PEAK +
         "#S 6  spectra\n#N 3\n#@CHANN 4 10 13 1\n#@CALIB 1 0.5 0\n@A 1 2\\\n 3 40\n1 10 5\n"
         "@A 5 6 7 8\n2 10 6\n")
# The first spectrum of scan 6 against energy 1 + 0.5 * channel.
SPECTRUM = [[6, 1], [6.5, 2], [7, 3], [7.5, 40]]


def points(scan, normalize=False):
    """x, y as plotted: y + 1e-6, divided by a monitor of 1 or more if asked."""
    lines = SCANS.split("#S %d " % scan)[1].split("#S")[0].split("\n")[1:]
    rows = [[float(v) for v in l.split()] for l in lines if l and l[0] != "#"]
    return [[r[0], (r[-1] + 1e-6) / (r[-2] if normalize and r[-2] >= 1 else 1)] for r in rows]


def same(got, want):
    return got is not None and len(got) == len(want) and all(
        abs(a - b) <= 1e-15 * max(abs(a), abs(b)) for g, w in zip(got, want) for a, b in zip(g, w))


def read_project(path):
    """The sets, legends, y scale and world of a Grace project file."""
    with open(path, encoding="latin-1") as f:
        text = f.read()
    sets = {int(n): [[float(v) for v in l.split()] for l in body.split("\n") if l]
            for n, body in re.findall(r"@target G0\.S(\d+)\n@type \w+\n([^&]*)&", text)}
    legends = {int(n): t for n, t in re.findall(r'@    s(\d+) legend  "(.*)"', text)}
    world = [float(v) for v in re.search(r"@    world (.*)", text).group(1).split(",")]
    return sets, legends, re.search(r"@    yaxes scale (\w+)", text).group(1), world


def curve_drawn(path):
    """Whether Grace's PNG (8-bit palette, unfiltered) has a curve mid-picture."""
    with open(path, "rb") as f:
        data = f.read()
    chunks, pos = {}, 8
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunks[kind] = chunks.get(kind, b"") + data[pos + 8:pos + 8 + n]
        pos += 12 + n
    w, h, depth, ctype = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
    raw, pal = zlib.decompress(chunks[b"IDAT"]), chunks[b"PLTE"]
    if not data.startswith(b"\x89PNG\r\n\x1a\n") or (depth, ctype) != (8, 3) or any(raw[::w + 1]):
        return False
    dark = lambda x, y: sum(pal[3 * raw[y * (w + 1) + 1 + x]:][:3]) < 600
    rows, cols = range(int(h * 0.3), int(h * 0.7)), range(int(w * 0.35), int(w * 0.65))
    return sum(any(dark(x, y) for x in cols) for y in rows) >= 0.6 * len(rows)


def grace_setup(a, work, scans, **changes):
    """scans.dat in `work`, and the saving xmgrace first on PATH: the folders
    where states are saved and plot files made, and the environment."""
    save, tmp, bindir = (os.path.join(work, d) for d in ("grace", "tmp", "bin"))
    list(map(os.mkdir, (save, tmp, bindir)))
    os.symlink(os.path.join(a.source, "tests/grace/xmgrace_saving"),
               os.path.join(bindir, "xmgrace"))
    with open(os.path.join(work, "scans.dat"), "w") as f:
        f.write(scans)
    # A sanitizer build names the suppressed leak of grace_np otherwise.
    lsan = os.environ.get("LSAN_OPTIONS")
    return save, tmp, e2e_util.environment(
        work, DISPLAY=os.environ["DISPLAY"], TMPDIR=tmp, KURVATAB_GRACE_SAVE=save,
        KURVATAB_REAL_XMGRACE=shutil.which("xmgrace"), PATH=bindir + ":" + os.environ["PATH"],
        LSAN_OPTIONS=(lsan + ":" if lsan else "") + "print_suppressions=0", **changes)


def run(a, work):
    save, tmp, env = grace_setup(a, work, SCANS, KURVATAB_GRACE_SAVE_AFTER="REDRAW")
    r = e2e_util.run(a.binary, work, ["scans.dat"], env=env,
                     stdin=b"N\nL\nv 1\nL\nN\nP\nv 5\nh plot.png\nP\n(2,4,v)\ni6\nm 1\nq\n")
    check(r.returncode == 0 and r.stderr == b"", "exit %d, stderr %r" % (r.returncode, r.stderr))
    left = [n for n in os.listdir(save) if n.endswith(".run")] + os.listdir(tmp)
    check(left == [], "Grace still running or plot files left after q: %s" % left)
    check(curve_drawn(os.path.join(work, "plot.png")), "the hard copy shows no curve")
    # Grace's state after the first plot, and at exit.
    states = sorted(n for n in os.listdir(save) if n.endswith(".agr"))
    check(len(states) == 2, "states saved: %s" % states)
    (sets, _, yscale, world), at_exit = (read_project(os.path.join(save, n)) for n in states)
    want = points(1, normalize=True)
    check(yscale == "Logarithmic" and same(sets.get(0), want), "log plot: %s, %s" % (yscale, sets))
    check(0 < world[1] <= min(y for _, y in want) * (1 + 1e-7), "log plot: world %s" % world)
    sets, legends, yscale, (x0, y0, x1, y1) = at_exit
    check(yscale == "Normal" and sorted(sets) == [0, 1, 2, 3, 4], "at exit: %s, %s" % (yscale, sets))
    for n, (scan, want) in enumerate(((5, points(5)), (2, points(2)), (3, points(3)),
                                      (4, points(4)), ("6 point 1", SPECTRUM))):
        got = sets.get(n, [])
        check(legends.get(n) == "scans.dat #S%s" % scan and same(got, want) and
              all(x0 <= x <= x1 and y0 <= y <= y1 for x, y in got),
              "set %d: %r holds %s, world %s" % (n, legends.get(n), got, [x0, y0, x1, y1]))


def main(run=run):
    """Runs the script again under xvfb-run, then `run` in a folder of its own."""
    a = e2e_util.parse_args()
    if os.environ.get("KURVATAB_UNDER_XVFB") != "1":
        os.execvpe("xvfb-run", ["xvfb-run", "-a", sys.executable, os.path.abspath(sys.argv[0]),
                                "--binary", a.binary, "--source", a.source],
                   dict(os.environ, KURVATAB_UNDER_XVFB="1"))
    work = tempfile.mkdtemp(prefix="kurvatab-grace-")
    try:
        run(a, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return e2e_util.report()


if __name__ == "__main__":
    sys.exit(main())
