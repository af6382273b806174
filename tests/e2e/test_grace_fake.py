#!/usr/bin/env python3
"""What crosses the real pipe: a plot and q end to end, with the fake
xmgrace of tests/grace first on PATH recording what arrives on its pipe;
then the messages when there is no display or no xmgrace.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import e2e_util


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def expect(cond, msg):
    if not cond:
        fail(msg)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode()
    except OSError:
        return ""


def scan1_points(sample):
    """x and detector + 1e-6 of scan 1, "#" lines skipped."""
    out, inside = [], False
    with open(sample) as f:
        for line in f:
            if line.startswith("#S"):
                if inside:
                    break
                inside = line.split()[1] == "1"
            elif inside and line.strip() and not line.startswith("#"):
                cols = line.split()
                out.append("%.17g %.17g\n" % (float(cols[0]), float(cols[-1]) + 0.000001))
    return "".join(out)


def start(binary, work, env, args):
    return subprocess.Popen(["kurvatab"] + args, executable=binary, cwd=work, env=env,
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)


def run_with_fake(binary, source, work):
    bindir = os.path.join(work, "bin")
    os.mkdir(bindir)
    os.symlink(os.path.join(source, "tests/grace/fake_xmgrace"), os.path.join(bindir, "xmgrace"))
    tmp = os.path.join(work, "tmp")
    os.mkdir(tmp)
    log = os.path.join(work, "pipe.log")
    env = dict(os.environ, HOME=work, TMPDIR=tmp, DISPLAY=":77", FAKE_XMGRACE_LOG=log,
               PATH=bindir + ":" + os.environ.get("PATH", "/usr/bin:/bin"))
    p = start(binary, work, env, ["sample.dat"])
    out, err = p.communicate(b"v 1\nq\n", timeout=30)
    out, err = out.decode(), err.decode()
    expect(p.returncode == 0, "exit status %d" % p.returncode)
    expect(err == "", "unexpected stderr:\n" + err)
    expect(out.count("Starting xmgrace, please wait!\n") == 1, "stdout:\n" + out)
    args = read(log + ".args")
    expect(args.startswith("-dpipe ") and args.endswith(" -nosafe -noask\n"), "args: " + args)

    # The program waited for its Grace to end before it removed the plot
    # file: all was read, and the file is gone.
    text = read(log)
    first = text.splitlines()[2]
    expect(first.startswith('READ BLOCK "' + tmp + "/"), "plot file not in TMPDIR: " + first)
    tmpname = first[len('READ BLOCK "'):-1]
    # Each command as the program sent it, with the line feed grace_np adds.
    want = "".join(c + "\n" for c in [
        "AUTOSCALE ONREAD XYAXES\n", 'READ BLOCK "%s"\n' % tmpname, 'BLOCK XY "1:2"\n',
        'S_ COMMENT "sample.dat #S1"\n', 'S_ LEGEND "sample.dat #S1"\n', "G0 TYPE XY\n",
        'SUBTITLE "sample.dat #S1"\n', "LEGEND ON\n", "REDRAW\n", "exit"])
    expect(text == want, "pipe got:\n%s\nwanted:\n%s" % (text, want))
    block = read(log + ".block1")
    expect(block == scan1_points(os.path.join(work, "sample.dat")), "plot file:\n" + block)
    expect(os.listdir(tmp) == [], "temporary files left: %s" % os.listdir(tmp))


def run_cannot_start(binary, work, env_changes, reason):
    env = dict(os.environ, HOME=work, DISPLAY=":77")
    env.update(env_changes)
    if env.get("DISPLAY") == "":
        del env["DISPLAY"]
    p = start(binary, work, env, ["sample.dat"])
    out, err = p.communicate(b"v 1\nv 2\nq\n", timeout=30)
    out, err = out.decode(), err.decode()
    expect(p.returncode == 0, "exit status %d" % p.returncode)
    expect(err == (reason + "Can't run Grace.\n") * 2, "stderr:\n" + err)
    expect(out.count("Starting xmgrace, please wait!\n") == 2, "stdout:\n" + out)


def main():
    a = e2e_util.parse_args()
    binary = a.binary
    source = a.source
    for case in ("fake", "nodisplay", "noxmgrace"):
        work = tempfile.mkdtemp(prefix="kurvatab-grace-")
        try:
            shutil.copy(os.path.join(source, "examples", "sample.dat"), work)
            if case == "fake":
                run_with_fake(binary, source, work)
            elif case == "nodisplay":
                run_cannot_start(binary, work, {"DISPLAY": ""},
                                 "xmgrace: no display (DISPLAY is not set): run kurvatab in an"
                                 " X session, or set DISPLAY\n")
            else:
                os.mkdir(os.path.join(work, "empty"))
                run_cannot_start(binary, work, {"PATH": os.path.join(work, "empty")},
                                 "xmgrace: not found on PATH (or not executable): install the"
                                 " grace package (apt-get install grace)\n")
        finally:
            shutil.rmtree(work, ignore_errors=True)
    print("ok")


if __name__ == "__main__":
    main()
