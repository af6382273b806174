#!/usr/bin/env python3
"""What crosses the real pipe: two plots and q, with tests/grace/fake_xmgrace
first on PATH recording its arguments, the lines on its pipe and the plot
file as each READ BLOCK arrives; then the lines when Grace cannot start."""
import os
import shutil
import tempfile

import e2e_util
from e2e_util import check

CANNOT = {"no display": "no display (DISPLAY is not set): run kurvatab in an X session, or set "
                        "DISPLAY",
          "no xmgrace": "not found on PATH (or not executable): install the grace package "
                        "(apt-get install grace)"}


def run(a, work, case):
    bindir, tmp, log = (os.path.join(work, d) for d in ("bin", "tmp", "pipe.log"))
    list(map(os.mkdir, (bindir, tmp)))
    shutil.copy(os.path.join(a.source, "examples", "sample.dat"), work)
    if case == "fake":
        os.symlink(os.path.join(a.source, "tests/grace/fake_xmgrace"),
                   os.path.join(bindir, "xmgrace"))
    env = e2e_util.environment(work, TMPDIR=tmp, FAKE_XMGRACE_LOG=log,
                               PATH=bindir + ("" if case == "no xmgrace" else ":/usr/bin:/bin"),
                               DISPLAY=None if case == "no display" else ":77")
    r = e2e_util.run(a.binary, work, ["sample.dat"], stdin=b"v 1\nv 2\nq\n", env=env)
    out, err = r.stdout.decode(), r.stderr.decode()
    starts = 1 if case == "fake" else 2
    check(r.returncode == 0 and out.count("Starting xmgrace") == starts, "%s: %r" % (case, out))
    if case in CANNOT:
        check(err == ("xmgrace: %s\nCan't run Grace.\n" % CANNOT[case]) * 2, case + ": " + err)
        return
    read = lambda path: open(path).read() if os.path.exists(path) else ""
    args, text = read(log + ".args"), read(log)
    check(err == "" and args.startswith("-dpipe ") and args.endswith(" -nosafe -noask\n"),
          "stderr %r, args %r" % (err, args))
    # Each command with the line feed grace_np adds; Grace has read each
    # plot file before it went.
    names = [l[12:-1] for l in text.split("\n") if l.startswith("READ BLOCK")]
    seq = "".join("%s\n\n" % c for n, name in enumerate(names, 1) for c in [
        "AUTOSCALE ONREAD XYAXES", 'READ BLOCK "%s"' % name, 'BLOCK XY "1:2"',
        'S_ COMMENT "sample.dat #S%d"' % n, 'S_ LEGEND "sample.dat #S%d"' % n, "G0 TYPE XY",
        'SUBTITLE "sample.dat #S%d"' % n, "LEGEND ON", "REDRAW"])
    check(len(names) == 2 and all(os.path.dirname(n) == tmp for n in names) and
          text == seq + "exit\n", "the pipe got\n" + text)
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
