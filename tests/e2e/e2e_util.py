"""What the scripted end-to-end tests share: their arguments, a run of the
program in a folder of its own, the verdict."""
import argparse
import os
import subprocess


def parse_args(extra=None):
    """--binary and --source as absolute paths; `extra` may add a script's own."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--binary", required=True)
    ap.add_argument("--source", required=True)
    if extra:
        extra(ap)
    a = ap.parse_args()
    a.binary, a.source = os.path.abspath(a.binary), os.path.abspath(a.source)
    return a


def environment(work, **changes):
    """HOME is `work`, no display; a change to None removes the variable."""
    env = dict(os.environ, HOME=work)
    env.pop("DISPLAY", None)
    env.update((k, v) for k, v in changes.items() if v is not None)
    return {k: v for k, v in env.items() if changes.get(k, "") is not None}


def run(binary, work, args=(), stdin=b"q\n", env=None, timeout=120, **kw):
    """Runs the program as "kurvatab" (its ini file: ./kurvatab.ini) in `work`."""
    return subprocess.run(["kurvatab"] + list(args), executable=binary, cwd=work,
                          env=env or environment(work), input=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout, **kw)


failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def report(failures=failures):
    """Prints the failures; the exit status, 0 when there are none."""
    if failures:
        print("\n".join(failures))
    return 1 if failures else 0
