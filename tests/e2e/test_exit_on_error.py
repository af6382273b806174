#!/usr/bin/env python3
"""-e (--exit-on-error): the first command that fails ends the run with status
1, the commands behind it do not run; without the option the same script
runs to its q and ends with status 0."""
import os
import shutil
import sys
import tempfile

import e2e_util as e

# Each kind of failure; "H after" behind it shows whether the run went on.
FAILING = (b"j", b"\tp", b"G cubic", b"p 9", b"s 99", b"y nolabel\na", b"f missing.dat",
           b"d missing", b"w missing/out", b"W missing/out", b"n missing/out.h5", b"M missing/out",
           b"v", b"h x.pdf", b"b missing.bat", b"(1,2,j)", b"(5,6,p)", b"y nolabel\n(1,2,a)",
           b"(1,2,w)missing/")


def run(a, work, args, stdin=b"q\n"):
    """A run without the settings an earlier one kept."""
    if os.path.exists(os.path.join(work, "kurvatab.ini")):
        os.remove(os.path.join(work, "kurvatab.ini"))
    return e.run(a.binary, work, args, stdin)


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-exit-") as work:
        shutil.copy(os.path.join(a.source, "tests/e2e/data/demo.dat"), work)
        for commands in FAILING:
            script = commands + b"\nH after\nq\n"
            p = run(a, work, ["-e", "demo.dat"], script)
            # The run ends as q ends it: no prompt, the settings written.
            e.check(p.returncode == 1 and b"after" not in p.stdout and not p.stdout.endswith(b">")
                    and os.path.exists(os.path.join(work, "kurvatab.ini")),
                    "-e, %r: status %d, %r" % (commands, p.returncode, p.stdout[-120:]))
            p = run(a, work, ["demo.dat"], script)
            e.check(p.returncode == 0 and b'" after" \n' in p.stdout and p.stdout.endswith(b">"),
                    "%r: status %d, %r" % (commands, p.returncode, p.stdout[-120:]))
        with open(os.path.join(work, "odd.dat"), "wb") as f:
            f.write(b"#S 1 a\n#N 2\n1 2\ntext\n")
        # Blank lines, a label the current scan lacks, findings of K, s without scans: no failure.
        for args, script in ((["demo.dat", "-e"], b"p 1\n\n \r\n(1,2,p)\nw -\ny nolabel\nq\n"),
                             (["-e", "odd.dat"], b"K\nq\n"), (["-e"], b"s 3\nq\n")):
            p = run(a, work, args, script)
            e.check(p.returncode == 0, "-e, %r: status %d" % (script, p.returncode))
        p = run(a, work, ["--exit-on-error", "missing.dat"])
        e.check(p.returncode == 1 and p.stdout == b" file missing.dat not found\n",
                "--exit-on-error, missing file: status %d, %r" % (p.returncode, p.stdout))
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
