"""What the scripted end-to-end tests share: their arguments, a run of the
program in a folder of its own, a session driven command by command, the verdict."""
import argparse
import os
import select
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


def demo(source):
    with open(os.path.join(source, "tests/e2e/data/demo.dat"), "rb") as f:
        return f.read()


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


class Session:
    """The program on pipes, one command at a time, each answer read up to the next prompt."""

    def __init__(self, binary, work, args=(), timeout=30):
        self.timeout = timeout
        self.p = subprocess.Popen(["kurvatab"] + list(args), executable=binary, cwd=work,
                                  env=environment(work), stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.startup = self.until_prompt()

    def until_prompt(self):
        out = b""
        while not out.endswith(b" >"):
            ready, _, _ = select.select([self.p.stdout], [], [], self.timeout)
            chunk = os.read(self.p.stdout.fileno(), 1 << 16) if ready else b""
            if not chunk:
                self.p.kill()
                raise AssertionError("no prompt; got %r" % out[-500:])
            out += chunk
        return out

    def command(self, line):
        self.p.stdin.write(line + b"\n")
        self.p.stdin.flush()
        return self.until_prompt()

    def quit(self):
        """Quits; returns the exit status and standard error."""
        self.p.stdin.write(b"q\n")
        self.p.stdin.close()
        self.p.wait(timeout=self.timeout)
        return self.p.returncode, self.p.stderr.read()


failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def report(failures=failures):
    """Prints the failures; the exit status, 0 when there are none."""
    if failures:
        print("\n".join(failures))
    return 1 if failures else 0
