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
import argparse
import os
import shutil
import subprocess
import sys
import tempfile


def read(path, default=None):
    if not os.path.exists(path):
        return default
    with open(path, "rb") as f:
        return f.read()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--binary", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--update", action="store_true")
    ap.add_argument("case")
    a = ap.parse_args()
    case = os.path.abspath(a.case)
    binary = os.path.abspath(a.binary)

    work = tempfile.mkdtemp(prefix="kurvatab-e2e-")
    try:
        for d in (os.path.join(a.source, "examples"), os.path.join(a.source, "tests/e2e/data")):
            if os.path.isdir(d):
                for n in os.listdir(d):
                    p = os.path.join(d, n)
                    if os.path.isfile(p):
                        shutil.copy(p, work)
        if os.path.isdir(os.path.join(case, "files")):
            shutil.copytree(os.path.join(case, "files"), work, dirs_exist_ok=True)
        # Files only their owner may write, as a user's own files are (a
        # checkout made under another umask may let the group write them).
        for n in os.listdir(work):
            p = os.path.join(work, n)
            if os.path.isfile(p) and not os.path.islink(p):
                os.chmod(p, os.stat(p).st_mode & ~0o022)
        env = dict(os.environ)
        env["HOME"] = work
        env.pop("DISPLAY", None)
        envtext = read(os.path.join(case, "env"), b"").decode()
        for line in envtext.splitlines():
            if "=" in line:
                k, v = line.split("=", 1)
                if v == "":
                    env.pop(k, None)
                else:
                    env[k] = v.replace("@WORK@", work)
        if os.path.exists(os.path.join(case, "setup.sh")):
            subprocess.run(["bash", os.path.join(case, "setup.sh")], cwd=work, env=env, check=True)
        args = read(os.path.join(case, "args"), b"").decode().splitlines()
        args = [x.replace("@WORK@", work) for x in args]
        stdin = read(os.path.join(case, "cmd"), b"")
        p = subprocess.run(["kurvatab"] + args, executable=binary, cwd=work, env=env,
                           input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=120)
        out = p.stdout.replace(work.encode(), b"@WORK@")
        err = p.stderr.replace(work.encode(), b"@WORK@")

        if a.update:
            with open(os.path.join(case, "expected_stdout"), "wb") as f:
                f.write(out)
            if err or os.path.exists(os.path.join(case, "expected_stderr")):
                with open(os.path.join(case, "expected_stderr"), "wb") as f:
                    f.write(err)
            if p.returncode != 0:
                with open(os.path.join(case, "expected_status"), "w") as f:
                    f.write("%d\n" % p.returncode)
            ed = os.path.join(case, "expected_files")
            if os.path.isdir(ed):
                for n in os.listdir(ed):
                    src = os.path.join(work, n)
                    if os.path.exists(src):
                        shutil.copy(src, os.path.join(ed, n))
            print("updated", case)
            return 0

        failures = []

        def compare(what, expected, actual):
            if expected != actual:
                failures.append("%s differs\n--- expected\n%s\n--- actual\n%s\n" % (
                    what, expected.decode(errors="replace"), actual.decode(errors="replace")))

        compare("stdout", read(os.path.join(case, "expected_stdout"), b""), out)
        compare("stderr", read(os.path.join(case, "expected_stderr"), b""), err)
        want_status = int(read(os.path.join(case, "expected_status"), b"0").decode().strip())
        if p.returncode != want_status:
            failures.append("exit status %d, expected %d" % (p.returncode, want_status))
        ed = os.path.join(case, "expected_files")
        if os.path.isdir(ed):
            for n in sorted(os.listdir(ed)):
                actual = read(os.path.join(work, n))
                if actual is None:
                    failures.append("file %s was not written" % n)
                else:
                    compare("file " + n, read(os.path.join(ed, n)),
                            actual.replace(work.encode(), b"@WORK@"))
        for n in read(os.path.join(case, "absent_files"), b"").decode().split():
            if os.path.exists(os.path.join(work, n)):
                failures.append("file %s should not exist" % n)
        if failures:
            print("\n".join(failures))
            return 1
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
