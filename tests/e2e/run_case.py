#!/usr/bin/env python3
"""Runs one end-to-end case folder: cmd (standard input), optional args and env
(KEY=VALUE lines, KEY= removes KEY), files/ and setup.sh (copied to and run in the
working folder); expected_stdout, expected_stderr, expected_status (absent: empty,
empty, 0), expected_files/ and absent_files. The program runs as "kurvatab" in a
fresh folder (HOME, shown as @WORK@) holding examples/ and tests/e2e/data/."""
import os
import shutil
import subprocess
import sys
import tempfile

import e2e_util as e


def read(path, default=b""):
    if not os.path.exists(path):
        return default
    with open(path, "rb") as f:
        return f.read()


def main():
    a = e.parse_args(lambda ap: ap.add_argument("case"))
    at = lambda *name: os.path.join(os.path.abspath(a.case), *name)
    with tempfile.TemporaryDirectory(prefix="kurvatab-e2e-") as work:
        for d in ("examples", "tests/e2e/data"):
            for n in os.listdir(os.path.join(a.source, d)):
                shutil.copy(os.path.join(a.source, d, n), work)
        if os.path.isdir(at("files")):
            shutil.copytree(at("files"), work, dirs_exist_ok=True)
        # Only their owner may write the files, as a user's own (whatever the umask).
        for n in os.listdir(work):
            os.chmod(os.path.join(work, n), os.stat(os.path.join(work, n)).st_mode & ~0o022)
        if os.path.exists(at("setup.sh")):
            subprocess.run(["bash", at("setup.sh")], cwd=work, check=True)
        args = [x.replace("@WORK@", work) for x in read(at("args")).decode().splitlines()]
        env = dict(line.replace("@WORK@", work).split("=", 1)
                   for line in read(at("env")).decode().splitlines() if "=" in line)
        env = e.environment(work, **{k: v or None for k, v in env.items()})
        p = e.run(a.binary, work, args, read(at("cmd")), env)
        out, err = (x.replace(work.encode(), b"@WORK@") for x in (p.stdout, p.stderr))
        names = os.listdir(at("expected_files")) if os.path.isdir(at("expected_files")) else []
        produced = {n: read(os.path.join(work, n), None) for n in names}
        def compare(what, expected, actual):
            e.check(expected == actual, "%s differs\n--- expected\n%s\n--- actual\n%s\n" % (
                what, expected.decode(errors="replace"), actual.decode(errors="replace")))

        compare("stdout", read(at("expected_stdout")), out)
        compare("stderr", read(at("expected_stderr")), err)
        want = int(read(at("expected_status"), b"0").decode())
        e.check(p.returncode == want, "exit status %d, expected %d" % (p.returncode, want))
        for n in sorted(produced):
            e.check(produced[n] is not None, "file %s was not written" % n)
            if produced[n] is not None:
                compare("file " + n, read(at("expected_files", n)),
                        produced[n].replace(work.encode(), b"@WORK@"))
        for n in read(at("absent_files")).decode().split():
            e.check(not os.path.exists(os.path.join(work, n)), "file %s should not exist" % n)
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
