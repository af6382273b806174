#!/usr/bin/env python3
"""The two ends of a run, with exact output.
1. Standard input closed at start: the scan file opened next must not take
   its place and run as commands; the run is the start-up and the end.
2. The initialization file cannot be written at q (a file size limit stops
   the write part-way): the run ends normally, the file stays as it was and
   nothing is left beside it.
3. --version and --help answer on standard output with status 0, before the
   initialization file is read."""
import os
import resource
import shutil
import signal
import sys
import tempfile

import e2e_util as e


def limit_file_size():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (200, 200))


def main():
    a = e.parse_args()
    with open(os.path.join(a.source, "tests/e2e/cases/frontend_startup_file/expected_stdout"),
              "rb") as f:
        startup = f.read()
    with tempfile.TemporaryDirectory(prefix="kurvatab-ends-") as work:
        shutil.copy(os.path.join(a.source, "tests/e2e/data/demo.dat"), work)
        p = e.run(a.binary, work, ["demo.dat"], stdin=None, preexec_fn=lambda: os.close(0))
        e.check(p.returncode == 0 and p.stderr == b"" and p.stdout == startup,
                "stdin closed: status %d, %r" % (p.returncode, p.stdout[-200:]))

        ini = os.path.join(work, "kurvatab.ini")
        with open(ini, "wb") as f:
            f.write(b"x 3\n")
        os.chmod(ini, 0o600)
        os.remove(os.path.join(work, "demo.dat"))
        p = e.run(a.binary, work, stdin=b"H" + b"x" * 4000 + b"\nq\n", preexec_fn=limit_file_size)
        tail = b"NO FILE >parameters of the h (grace hardcopy) command set to \"%s\" \nNO FILE >"
        e.check(p.returncode == 0 and p.stderr == b"" and p.stdout.endswith(tail % (b"x" * 4000)),
                "unwritable ini: status %d, %r" % (p.returncode, p.stdout[-200:]))
        with open(ini, "rb") as f:
            e.check(f.read() == b"x 3\n", "the initialization file changed")
        e.check(os.listdir(work) == ["kurvatab.ini"], "left in the folder: %r" % os.listdir(work))
        for option, first in ((b"--version", b"kurvatab, rel "), (b"--help", b"kurvatab, rel ")):
            p = e.run(a.binary, work, [option.decode()], stdin=b"")
            e.check(p.returncode == 0 and p.stderr == b"" and p.stdout.startswith(first)
                    and b"initialization" not in p.stdout and (option != b"--help" or
                                                               b"--version" in p.stdout),
                    "%s: status %d, %r" % (option, p.returncode, p.stdout))
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
