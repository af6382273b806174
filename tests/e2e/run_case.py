#!/usr/bin/env python3
"""Runs one end-to-end case: the real kurvatab binary with commands on stdin.

A case is a folder holding:
  cmd              the text fed to standard input (absent: empty input)
  args             optional, the command-line arguments, one per line
  env              optional, KEY=VALUE lines added to the environment
                   (KEY= alone removes KEY)
  files/           optional, copied into the working folder before the run
  setup.sh         optional, run by bash in the working folder before the run
  expected_stdout  the exact standard output
  expected_stderr  optional, the exact standard error (absent: must be empty)
  expected_status  optional, the exit status (absent: 0)
  expected_files/  optional, files that must exist afterwards with exactly this content
  absent_files     optional, names (one per line) that must not exist afterwards

The program runs in a fresh temporary folder that holds the example scan file
(examples/) and the shared test data (tests/e2e/data/); HOME is that folder.
It is invoked as "kurvatab", so its initialization file is ./kurvatab.ini.
The folder's path is shown as @WORK@ in the compared output.

With --update the expected outputs are rewritten from the actual run (review
the diff before committing).
"""
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
    a = e.parse_args(lambda ap: (ap.add_argument("--update", action="store_true"),
                                 ap.add_argument("case")))
    case = os.path.abspath(a.case)
    at = lambda *name: os.path.join(case, *name)
    with tempfile.TemporaryDirectory(prefix="kurvatab-e2e-") as work:
        for d in ("examples", "tests/e2e/data"):
            for n in os.listdir(os.path.join(a.source, d)):
                shutil.copy(os.path.join(a.source, d, n), work)
        if os.path.isdir(at("files")):
            shutil.copytree(at("files"), work, dirs_exist_ok=True)
        # Files only their owner may write, as a user's own files are (a
        # checkout made under another umask may let the group write them).
        for n in os.listdir(work):
            os.chmod(os.path.join(work, n), os.stat(os.path.join(work, n)).st_mode & ~0o022)
        if os.path.exists(at("setup.sh")):
            subprocess.run(["bash", at("setup.sh")], cwd=work, check=True)
        args = [x.replace("@WORK@", work) for x in read(at("args")).decode().splitlines()]
        env = dict(line.replace("@WORK@", work).split("=", 1)
                   for line in read(at("env")).decode().splitlines() if "=" in line)
        env = e.environment(work, **{k: v or None for k, v in env.items()})
        p = e.run(a.binary, work, args, read(at("cmd")), env)
        out = p.stdout.replace(work.encode(), b"@WORK@")
        err = p.stderr.replace(work.encode(), b"@WORK@")
        produced = {n: read(os.path.join(work, n), None)
                    for n in os.listdir(at("expected_files"))} if os.path.isdir(
                        at("expected_files")) else {}

        if a.update:
            for name, text in (("expected_stdout", out), ("expected_stderr", err)):
                if text or os.path.exists(at(name)):
                    with open(at(name), "wb") as f:
                        f.write(text)
            if p.returncode != 0:
                with open(at("expected_status"), "w") as f:
                    f.write("%d\n" % p.returncode)
            for n, text in produced.items():
                if text is not None:
                    with open(at("expected_files", n), "wb") as f:
                        f.write(text)
            print("updated", case)
            return 0

        def compare(what, expected, actual):
            e.check(expected == actual, "%s differs\n--- expected\n%s\n--- actual\n%s\n" % (
                what, expected.decode(errors="replace"), actual.decode(errors="replace")))

        compare("stdout", read(at("expected_stdout")), out)
        compare("stderr", read(at("expected_stderr")), err)
        want = int(read(at("expected_status"), b"0").decode())
        e.check(p.returncode == want, "exit status %d, expected %d" % (p.returncode, want))
        for n in sorted(produced):
            if produced[n] is None:
                e.check(False, "file %s was not written" % n)
            else:
                compare("file " + n, read(at("expected_files", n)),
                        produced[n].replace(work.encode(), b"@WORK@"))
        for n in read(at("absent_files")).decode().split():
            e.check(not os.path.exists(os.path.join(work, n)), "file %s should not exist" % n)
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
