"""What the scripted end-to-end tests share: their arguments and their verdict."""
import argparse
import os


def parse_args(extra=None):
    """The --binary and --source arguments every script is called with, as
    absolute paths. `extra` may add arguments of a script's own."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--binary", required=True)
    ap.add_argument("--source", required=True)
    if extra:
        extra(ap)
    a = ap.parse_args()
    a.binary = os.path.abspath(a.binary)
    a.source = os.path.abspath(a.source)
    return a


def report(failures, sep="\n"):
    """Prints the failures and gives the exit status: 0 when there are none."""
    if failures:
        print(sep.join(failures))
        return 1
    return 0
