#!/usr/bin/env python3
"""What crosses the real pipe: a plot and q, with tests/grace/fake_xmgrace
first on PATH recording its arguments, the lines on its pipe and the plot
file as each READ BLOCK arrives; then the lines when Grace cannot start."""
import os
import shutil
import tempfile

import e2e_util
from e2e_util import check


def read(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def run(a, work, case):
    bindir, tmp, log = (os.path.join(work, d) for d in ("bin", "tmp", "pipe.log"))
    os.mkdir(bindir)
    os.mkdir(tmp)
    shutil.copy(os.path.join(a.source, "examples", "sample.dat"), work)
    if case == "fake":
        os.symlink(os.path.join(a.source, "tests/grace/fake_xmgrace"),
                   os.path.join(bindir, "xmgrace"))
    path = bindir if case == "no xmgrace" else bindir + ":" + os.environ["PATH"]
    env = e2e_util.environment(work, TMPDIR=tmp, FAKE_XMGRACE_LOG=log, PATH=path,
                               DISPLAY=None if case == "no display" else ":77")
    r = e2e_util.run(a.binary, work, ["sample.dat"], stdin=b"v 1\nv 2\nq\n", env=env)
    out, err = r.stdout.decode(), r.stderr.decode()
    check(r.returncode == 0, "%s: exit status %d" % (case, r.returncode))
    if case != "fake":
        why = {"no display": "no display (DISPLAY is not set): run kurvatab in an X session, or "
                             "set DISPLAY",
               "no xmgrace": "not found on PATH (or not executable): install the grace package "
                             "(apt-get install grace)"}[case]
        check(err == ("xmgrace: %s\nCan't run Grace.\n" % why) * 2, "%s: stderr %r" % (case, err))
        check(out.count("Starting xmgrace, please wait!\n") == 2, "%s: stdout %r" % (case, out))
        return
    check(err == "" and out.count("Starting xmgrace") == 1, "stdout %r, stderr %r" % (out, err))
    args = read(log + ".args")
    check(args.startswith("-dpipe ") and args.endswith(" -nosafe -noask\n"), "args " + args)
    # Each command with the line feed grace_np adds; Grace has read all
    # before its plot files went.
    names = [l[12:-1] for l in read(log).split("\n") if l.startswith("READ BLOCK")]
    seq = "".join("%s\n\n" % c for n, name in enumerate(names, 1) for c in [
        "AUTOSCALE ONREAD XYAXES", 'READ BLOCK "%s"' % name, 'BLOCK XY "1:2"',
        'S_ COMMENT "sample.dat #S%d"' % n, 'S_ LEGEND "sample.dat #S%d"' % n, "G0 TYPE XY",
        'SUBTITLE "sample.dat #S%d"' % n, "LEGEND ON", "REDRAW"])
    check(len(names) == 2 and read(log) == seq + "exit\n", "the pipe got\n" + read(log))
    check(all(os.path.dirname(n) == tmp for n in names), "plot files outside TMPDIR")
    check(read(log + ".block1").startswith("10 5.0000010000000001\n10.1 10.000000999999999\n"),
          "plot file of scan 1: " + read(log + ".block1"))
    check(os.listdir(tmp) == [], "plot files left: %s" % os.listdir(tmp))


def main():
    a = e2e_util.parse_args()
    for case in ("fake", "no display", "no xmgrace"):
        work = tempfile.mkdtemp(prefix="kurvatab-grace-")
        try:
            run(a, work, case)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return e2e_util.report()


if __name__ == "__main__":
    raise SystemExit(main())
