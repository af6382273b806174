#!/usr/bin/env python3
"""A counter chosen by name over a file of mixed scan types, end to end.

Every motor a scan moves adds a column before the counters, so Detector is
column 5 of an ascan and column 6 of an a2scan; a timescan has none.
1. Exporting: a loop with y chosen by label writes each scan's own Detector,
   reports the scan without one and counts it; the same loop with a column
   number writes column 5 of every scan, the a2scan's Monitor among them.
2. Plotting, with the fake xmgrace of tests/grace first on PATH: the loop
   plots the scans that have the label with the axes named, skips the other;
   each plot's points are the scan's own Detector divided by its Monitor.
   By number, the a2scan's plot is its Monitor divided by itself.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import e2e_util

MIXED = (
    "#F mixed.dat\n\n"
    "#S 1  ascan  th 10 11  2 1\n#N 5\n#L Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 100 1 1000 5\n10.5 101 1 1000 7\n11 102 1 1000 9\n\n"
    "#S 2  a2scan  th 10 11  tth 20 22  2 1\n#N 6\n"
    "#L Theta  Two Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 20 103 1 2000 50\n10.5 21 104 1 2000 70\n11 22 105 1 2000 90\n\n"
    "#S 3  timescan\n#N 4\n#L Epoch  Seconds  Monitor  Diode\n106 1 1000 3\n107 1 1000 4\n\n"
    "#S 4  ascan  th 10 11  1 1\n#N 5\n#L Theta Epoch Seconds Monitor Detector\n"
    "10 108 1 500 15\n11 109 1 500 17\n")

SKIPPED = (' scan 3 (i=3) has no label "Detector"; its labels are "Epoch" "Seconds" "Monitor"'
           ' "Diode"\n')
COUNT = " 1 scan(s) skipped: a chosen label is missing or ambiguous there\n"
FAILURES = []


def check(cond, what, detail=""):
    if not cond:
        FAILURES.append(what)
        sys.stderr.write("FAIL: %s\n%s\n" % (what, detail))


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode()
    except OSError:
        return None


def row(x, y, n):
    return "%15.5f %15.7g %15.7g\n" % (x, y, n)


def run(binary, work, commands, env=None):
    # Each run starts from the defaults, not from what the last one saved.
    if os.path.exists(os.path.join(work, "kurvatab.ini")):
        os.remove(os.path.join(work, "kurvatab.ini"))
    p = subprocess.run(["kurvatab", "mixed.dat"], executable=binary, cwd=work,
                       input=commands.encode(), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       env=env or dict(os.environ, HOME=work), timeout=60)
    return p.stdout.decode(), p.stderr.decode()


def test_export(binary, work):
    out, err = run(binary, work, "#\ny Detector\n(1,4,w)\nq\n")
    check(err == "", "export: nothing on stderr", err)
    check(read(os.path.join(work, "scan001.001")) ==
          row(10, 5, 1000) + row(10.5, 7, 1000) + row(11, 9, 1000), "ascan: its Detector",
          read(os.path.join(work, "scan001.001")))
    check(read(os.path.join(work, "scan002.002")) ==
          row(10, 50, 2000) + row(10.5, 70, 2000) + row(11, 90, 2000), "a2scan: its Detector",
          read(os.path.join(work, "scan002.002")))
    check(read(os.path.join(work, "scan004.004")) == row(10, 15, 500) + row(11, 17, 500),
          "single blanks between labels", read(os.path.join(work, "scan004.004")))
    check(not os.path.exists(os.path.join(work, "scan003.003")), "timescan: nothing written")
    check(" writing data for (i=2, s=2) on 'scan002.002'\n" + SKIPPED +
          " writing data on ''\n writing data for (i=4, s=4) on 'scan004.004'\n" + COUNT in out,
          "export: the skipped scan said and counted", out)

    # With comments, the exported columns are named.
    run(binary, work, "y Detector\ni 2\nw named.dat\nq\n")
    named = read(os.path.join(work, "named.dat")) or ""
    check("#kurvatab extracted columns 1, 6 -2\n#\n#  x    y    n   \n#\n"
          "#L Theta  Detector  Monitor\n" + row(10, 50, 2000) in named,
          "the header names the columns", named)

    # By number the loop takes column 5 everywhere: the a2scan's Monitor.
    out, _ = run(binary, work, "#\ny 5\n(1,4,w)\nq\n")
    check(read(os.path.join(work, "scan002.002")) ==
          row(10, 2000, 2000) + row(10.5, 2000, 2000) + row(11, 2000, 2000),
          "by number: the a2scan's column 5", read(os.path.join(work, "scan002.002")))
    check(os.path.exists(os.path.join(work, "scan003.003")) and "skipped" not in out,
          "by number: no scan skipped", out)


def wait_for(path, needle, count, timeout=20):
    deadline = time.time() + timeout
    while time.time() < deadline:
        text = read(path) or ""
        if text.count(needle) >= count:
            return text
        time.sleep(0.02)
    raise TimeoutError("%r x%d never arrived in %s: %r" % (needle, count, path, read(path)))


def points(rows):
    """A plot file's lines for (x, detector, monitor) rows: the detector plus
    the plot's offset of 1e-6, divided by the monitor, every digit kept."""
    return "".join("%.17g %.17g\n" % (x, (d + 0.000001) / m) for x, d, m in rows)


def test_plot(binary, source, work):
    bindir = os.path.join(work, "bin")
    os.mkdir(bindir)
    os.symlink(os.path.join(source, "tests/grace/fake_xmgrace"), os.path.join(bindir, "xmgrace"))
    log = os.path.join(work, "pipe.log")
    env = dict(os.environ, HOME=work, TMPDIR=work, DISPLAY=":77", FAKE_XMGRACE_LOG=log,
               PATH=bindir + ":" + os.environ.get("PATH", "/usr/bin:/bin"))
    p = subprocess.Popen(["kurvatab", "mixed.dat"], executable=binary, cwd=work, env=env,
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        p.stdin.write(b"y Detector\nz Monitor\nN\nT\n(i1,4,v)\n")
        p.stdin.flush()
        wait_for(log, "REDRAW\n", 3)
        # By number, for comparison: column 5 of every scan.
        p.stdin.write(b"y 5\n(i1,4,v)\n")
        p.stdin.flush()
        text = wait_for(log, "REDRAW\n", 7)
        out, err = p.communicate(b"q\n", timeout=30)
    finally:
        if p.poll() is None:
            p.kill()
    out, err = out.decode(), err.decode()
    check(p.returncode == 0 and err == "", "plot run ends cleanly", err)
    blocks = [read(log + ".block%d" % k) for k in range(1, 8)]
    check(blocks[:3] == [points([(10, 5, 1000), (10.5, 7, 1000), (11, 9, 1000)]),
                         points([(10, 50, 2000), (10.5, 70, 2000), (11, 90, 2000)]),
                         points([(10, 15, 500), (11, 17, 500)])],
          "by label each plot holds its scan's Detector/Monitor", repr(blocks[:3]))
    check(blocks[4] == points([(10, 2000, 2000), (10.5, 2000, 2000), (11, 2000, 2000)]),
          "by number the a2scan's plot is its Monitor/Monitor", repr(blocks[4]))
    plots = text.split("REDRAW\n")[:-1]
    check(len(plots) == 7, "seven plots", text)
    for k, scan in zip(range(3), [1, 2, 4]):
        check('S_ LEGEND "mixed.dat #S%d"\n' % scan in plots[k] and
              'G0 TYPE XY\n\nXAXIS LABEL "Theta"\n\nYAXIS LABEL "Detector/Monitor"\n\n' in plots[k],
              "plot %d: scan %d with named axes" % (k + 1, scan), plots[k])
    check(all("AXIS LABEL" not in plot for plot in plots[3:]), "by number no axis is named",
          text)
    check(" loop '(i1,4,v)' from (i=1, s=1) to 'index' 4 command=v\n" in out and
          SKIPPED + COUNT in out and out.count("skipped") == 1,
          "plot loop: the skipped scan said and counted", out)


def main():
    a = e2e_util.parse_args()
    for test in (lambda w: test_export(a.binary, w), lambda w: test_plot(a.binary, a.source, w)):
        work = tempfile.mkdtemp(prefix="kurvatab-labels-")
        try:
            with open(os.path.join(work, "mixed.dat"), "w") as f:
                f.write(MIXED)
            test(work)
        except (TimeoutError, OSError, subprocess.TimeoutExpired) as e:
            FAILURES.append(str(e))
            sys.stderr.write("FAIL: %s\n" % e)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    status = e2e_util.report(FAILURES)
    if status == 0:
        print("ok")
    sys.exit(status)


if __name__ == "__main__":
    main()
