#!/usr/bin/env python3
"""What the real Grace holds after the program's plots. The program runs
under xvfb-run with the wrapper tests/grace/xmgrace_saving first on PATH as
"xmgrace": it passes the pipe through to the real xmgrace and, when Grace is
told to exit, has it save its whole state as a project file, which is
compared here with the scans (points within 1e-15 relative: Grace's own
number reader is not correctly rounded). Three runs:

- log scale, small values, normalisation and a loop of plots ending in q;
- batch file, hard copies, names that hold quotes, planted files, and
  automatic files after d;
- the Grace window closed and a new Grace started: one Grace runs, and none
  after q;
- a follow in Grace while a writer appends 200 points: one set holds each
  point once, and its hard copy is the picture of the finished scan.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import e2e_util
from test_grace_png import decode_png

failures = []
runs = []


def check(cond, msg):
    if not cond:
        failures.append(msg)
    return cond


def head(path, n):
    """The first n bytes of a file; empty when there is none."""
    try:
        with open(path, "rb") as f:
            return f.read(n)
    except OSError:
        return b""


def read_project(path):
    """The parts of a Grace project file the tests look at."""
    p = {"sets": {}, "legend": {}, "title": None, "subtitle": None, "yscale": None,
         "world": None}
    unquote = lambda s: s.replace('\\"', '"')
    target, data = None, None
    with open(path, encoding="latin-1") as f:
        for line in f.read().split("\n"):
            if data is not None:
                if line == "&":
                    p["sets"][target], data = data, None
                else:
                    data.append([float(v) for v in line.split()])
                continue
            m = re.match(r'@target G0\.S(\d+)$', line)
            if m:
                target = int(m.group(1))
            elif line.startswith("@type ") and target is not None:
                data = []
            elif re.match(r'@    s(\d+) legend  "', line):
                n = int(line.split()[1][1:])
                p["legend"][n] = unquote(line[line.index('"') + 1:-1])
            elif line.startswith('@    title "'):
                p["title"] = unquote(line[line.index('"') + 1:-1])
            elif line.startswith('@    subtitle "'):
                p["subtitle"] = unquote(line[line.index('"') + 1:-1])
            elif line.startswith("@    yaxes scale "):
                p["yscale"] = line.split()[-1]
            elif line.startswith("@    world "):
                p["world"] = [float(v) for v in line[len("@    world "):].split(",")]
    return p


def scan_points(path, scan, normalize=False):
    """x and y of a scan as the program plots them (x column 1, y the last,
    the monitor the one before; 1e-6 added; divided by a monitor of 1 or
    more when normalising)."""
    out, inside = [], False
    with open(path, encoding="latin-1") as f:
        for line in f:
            if line.startswith("#S"):
                if inside:
                    break
                inside = line.split()[1] == str(scan)
            elif inside and line.strip() and not line.startswith("#"):
                cols = [float(v) for v in line.split()]
                y = cols[-1] + 0.000001
                if normalize and cols[-2] >= 1.0:
                    y = y / cols[-2]
                out.append([cols[0], y])
    return out


def same_points(got, want):
    if got is None or len(got) != len(want):
        return False
    for g, w in zip(got, want):
        for a, b in zip(g, w):
            if abs(a - b) > 1e-15 * max(abs(a), abs(b)):
                return False
    return True


class Run:
    """One run of the program in its own folder under xvfb."""

    def __init__(self, a, name):
        self.work = tempfile.mkdtemp(prefix="kurvatab-grace-%s-" % name)
        self.name = name
        self.save = os.path.join(self.work, "grace")
        self.tmp = os.path.join(self.work, "tmp")
        bindir = os.path.join(self.work, "bin")
        for d in (self.save, self.tmp, bindir):
            os.mkdir(d)
        os.symlink(os.path.join(a.source, "tests/grace/xmgrace_saving"),
                   os.path.join(bindir, "xmgrace"))
        self.env = dict(os.environ, HOME=self.work, TMPDIR=self.tmp, KURVATAB_GRACE_SAVE=self.save,
                        KURVATAB_REAL_XMGRACE=shutil.which("xmgrace"),
                        PATH=bindir + ":" + os.environ["PATH"])
        # A sanitizer build names the suppressed leak of grace_np otherwise.
        lsan = os.environ.get("LSAN_OPTIONS")
        self.env["LSAN_OPTIONS"] = (lsan + ":" if lsan else "") + "print_suppressions=0"
        self.binary = a.binary
        runs.append(self)

    def file(self, name, text, mode=0o644):
        path = os.path.join(self.work, name)
        with open(path, "w", encoding="latin-1") as f:
            f.write(text)
        os.chmod(path, mode)
        return path

    def start(self, args):
        # Run by its bare name, so its initialization file is ./kurvatab.ini.
        self.p = subprocess.Popen(["kurvatab"] + args, executable=self.binary, cwd=self.work,
                                  env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)

    def send(self, text):
        self.p.stdin.write(text.encode("latin-1"))
        self.p.stdin.flush()

    def running(self):
        return sorted(n for n in os.listdir(self.save) if n.endswith(".run"))

    def unreaped(self):
        """Process ids of the Graces (wrappers) the program has not reaped."""
        pids = [n[6:-4] for n in os.listdir(self.save) if n.endswith(".out")]
        return [p for p in pids if os.path.exists("/proc/" + p)]

    def projects(self):
        names = sorted((n for n in os.listdir(self.save) if n.endswith(".agr")),
                       key=lambda n: os.stat(os.path.join(self.save, n)).st_mtime_ns)
        return [read_project(os.path.join(self.save, n)) for n in names]

    def finish(self, text):
        """Sends the last commands; returns stdout once the program has
        ended. Every Grace must have ended with it."""
        self.out, err = self.p.communicate(text.encode("latin-1"), timeout=60)
        self.out = self.out.decode("latin-1")
        check(self.p.returncode == 0, "%s: exit status %d" % (self.name, self.p.returncode))
        check(err == b"", "%s: stderr: %s" % (self.name, err.decode("latin-1")))
        check(self.running() == [], "%s: Grace still running after q: %s" % (
            self.name, self.running()))
        check(os.listdir(self.tmp) == [], "%s: plot files left: %s" % (
            self.name, os.listdir(self.tmp)))
        self.stop_leftovers()
        return self.out

    def stop_leftovers(self):
        deadline = time.time() + 10
        while self.running() and time.time() < deadline:
            time.sleep(0.1)
        for n in self.running():
            try:
                with open(os.path.join(self.save, n)) as f:
                    os.kill(int(f.read()), signal.SIGKILL)
            except (OSError, ValueError):
                pass

    def wait_for(self, cond, what):
        deadline = time.time() + 30
        while not cond():
            if time.time() > deadline:
                failures.append("%s: %s never happened" % (self.name, what))
                return False
            time.sleep(0.05)
        return True


SCANS = (
    "#S 1  reflectivity\n#N 3\n#L th  mon  det\n"
    "0.1 1000 0.01\n0.2 1000 0.00001\n0.3 0.5 2\n0.4 1000 0\n"
    "#S 2  peak\n#N 3\n#L x  mon  det\n1 10 5\n2 10 50\n3 10 7\n"
    "#S 3  peak\n#N 3\n#L x  mon  det\n1 10 6\n2 10 60\n3 10 8\n"
    "#S 4  peak\n#N 3\n#L x  mon  det\n1 10 9\n2 10 90\n3 10 11\n")


def log_scale_and_loop(a):
    """Items 1, 2, 3, 5 and 7: a normalised log plot of small values is
    drawn; L off after it draws linear; a loop of plots shows each scan; the
    last plot, followed at once by q, is there."""
    r = Run(a, "log")
    scans = r.file("scans.dat", SCANS)
    snap = os.path.join(r.work, "snap.agr")
    r.file("snap.par", 'DEFAULT SFORMAT "%%.17g"\nSAVEALL "%s"\n' % snap)
    r.start(["scans.dat"])
    out = r.finish("N\nL\nv 1\nBsnap.par\nL\nN\n(2,4,v)\nq\n")
    check(" 1 of 4 points of (i=1, s=1) left unnormalised: monitor below 1\n" in out,
          "log: no line about the unnormalised point:\n" + out)
    if not check(os.path.exists(snap), "log: no project saved after the log plot"):
        return
    p = read_project(snap)
    want = scan_points(scans, 1, normalize=True)
    check(p["yscale"] == "Logarithmic", "log: y scale %s" % p["yscale"])
    check(p["world"] and 0 < p["world"][1] <= min(y for _, y in want) * (1 + 1e-7),
          "log: the points lie outside the world %s" % p["world"])
    check(same_points(p["sets"].get(0), want), "log: points %s, wanted %s" % (
        p["sets"].get(0), want))
    projects = r.projects()
    if not check(len(projects) == 1, "log: %d projects at exit" % len(projects)):
        return
    p = projects[0]
    check(p["yscale"] == "Normal", "log: y scale after L off: %s" % p["yscale"])
    for n in (2, 3, 4):
        check(p["legend"].get(n - 1) == "scans.dat #S%d" % n, "log: legend of set %d: %r" % (
            n - 1, p["legend"].get(n - 1)))
        check(same_points(p["sets"].get(n - 1), scan_points(scans, n)),
              "log: set %d holds %s" % (n - 1, p["sets"].get(n - 1)))


def files_and_names(a):
    """Items 4 and 10 and the hard copy: a batch file takes effect after a
    plot; planted files write nothing; a quote in a name ends no string;
    after d the automatic file checked is the one loaded; h writes where it
    is told and a plain h then does what it always did."""
    r = Run(a, "files")
    r.file("kurvatab.par", 'SAVEALL "par.agr"\n', 0o666)
    ini = r.file("kurvatab.ini", 'HSAVEALL "ini.agr"\n', 0o666)
    name = 'x";SAVEALL "name.agr'
    r.file(name, SCANS)
    os.mkdir(os.path.join(r.work, "sub"))
    r.file("sub/kurvatab.par", 'TITLE "sub par"\n')
    r.file("sub/sub.bat", 'SUBTITLE "from batch"\n')
    r.start([name])
    out = r.finish("v 2\nh\nd sub\nv 3\nbsub.bat\nh out.png\nh\nq\n")
    missing = failures[:]
    for msg in (" kurvatab.ini not read, nor written at q: others can write it (chmod go-w "
                "kurvatab.ini to use it)\n",
                " kurvatab.par not loaded: others can write it (chmod go-w kurvatab.par to use "
                "it)\n",
                "Using xmgr batch file sub.bat\n",
                " hard copy (PNG) goes to %s/sub/out.png\n" % r.work):
        check(msg in out, "files: missing %r" % msg)
    if missing != failures:
        failures.append("files: the output was\n" + out)
    written = [n for n in os.listdir(r.work) if ".agr" in n and n != name]
    check(written == [], "files: planted commands wrote %s" % written)
    check(head(ini, 100) == b'HSAVEALL "ini.agr"\n', "files: the planted ini was written")
    check(head(os.path.join(r.work, "sub/out.png"), 8) == b"\x89PNG\r\n\x1a\n",
          "files: no PNG in out.png")
    check(head(os.path.join(r.work, "Untitled.ps"), 4) == b"%!PS",
          "files: the plain h wrote no PostScript")
    projects = r.projects()
    if not check(len(projects) == 1, "files: %d projects at exit" % len(projects)):
        return
    p = projects[0]
    check(p["title"] == "sub par", "files: title %r" % p["title"])
    check(p["subtitle"] == "from batch", "files: subtitle %r" % p["subtitle"])
    check(p["legend"] == {0: name + " #S2", 1: name + " #S3"}, "files: legends %r" % p["legend"])


def restart(a):
    """Item 6: after the user closed the Grace window a plot starts a new
    Grace; one Grace runs, and q ends it."""
    r = Run(a, "restart")
    scans = r.file("scans.dat", SCANS)
    open(os.path.join(r.save, "quit-next"), "w").close()
    r.start(["scans.dat"])
    r.send("v 2\n")
    # Once the program has seen the first Grace end, it has reaped it.
    r.wait_for(lambda: len(r.projects()) == 1 and not r.running() and not r.unreaped(),
               "the first Grace's end")
    r.send("v 3\n")
    r.wait_for(lambda: len(r.running()) == 1, "a second Grace")
    time.sleep(0.5)
    check(len(r.running()) == 1, "restart: %d Graces running" % len(r.running()))
    out = r.finish("q\n")
    check(out.count("Starting xmgrace, please wait!\n") == 2, "restart: output\n" + out)
    projects = r.projects()
    if check(len(projects) == 2, "restart: %d projects" % len(projects)):
        p = projects[1]
        check(p["legend"] == {0: "scans.dat #S3"}, "restart: legends %r" % p["legend"])
        check(same_points(p["sets"].get(0), scan_points(scans, 3)), "restart: points %s" % (
            p["sets"].get(0)))


def follow(a):
    """u while a writer appends 200 points, some in two parts: after the
    follow Grace holds every point once, in one set, and its hard copy is
    the hard copy of the finished scan plotted in its place."""
    r = Run(a, "follow")
    scans = r.file("grow.dat", "#S 1  growing\n#N 3\n#L x  mon  det\n1 10 5\n2 10 9\n")
    snap = os.path.join(r.work, "snap.agr")
    r.file("snap.par", 'DEFAULT SFORMAT "%%.17g"\nSAVEALL "%s"\n' % snap)
    r.file("kill.par", "KILL G0.S0\n")
    r.start(["grow.dat"])
    r.send("u\n")
    log = lambda: b"".join(head(os.path.join(r.save, n), 1 << 20)
                           for n in os.listdir(r.save) if n.endswith(".log"))
    if not r.wait_for(lambda: b"REDRAW" in log(), "the first plot of the follow"):
        r.finish("\nq\n")
        return
    with open(scans, "a") as f:
        for k in range(3, 203):
            line = "%d 10 %d\n" % (k, (k * 37) % 101 + 3)
            f.write(line[:2])
            f.flush()
            if k % 3 == 0:
                time.sleep(0.004)
            f.write(line[2:])
            f.flush()
            time.sleep(0.006)
    r.wait_for(lambda: b"S_ POINT 202, " in log(), "the last point sent")
    # The set made anew by v from the finished scan, in the same graph.
    out = r.finish("\nBsnap.par\nh follow.png\nBkill.par\nv\nh full.png\nq\n")
    check(" following scan 1 (i=1) of grow.dat, Enter or Ctrl-C ends\n" in out,
          "follow: output\n" + out)
    if not check(os.path.exists(snap), "follow: no project saved after the follow"):
        return
    p = read_project(snap)
    check(list(p["sets"]) == [0], "follow: sets %s" % list(p["sets"]))
    check(same_points(p["sets"].get(0), scan_points(scans, 1)),
          "follow: the set holds %s" % p["sets"].get(0))
    pictures = [head(os.path.join(r.work, n), 1 << 20) for n in ("follow.png", "full.png")]
    if check(all(png.startswith(b"\x89PNG") for png in pictures), "follow: no PNG"):
        drawn = [drawn_pixels(png) for png in pictures]
        check(len(drawn[1]) > 1000, "follow: the plot of the finished scan is blank")
        check(drawn[0] == drawn[1], "follow: the pictures differ in %d pixels" % len(
            drawn[0] ^ drawn[1]))


def drawn_pixels(png):
    """The positions of the pixels of a picture that are not white."""
    _, _, rows = decode_png(png)
    return {(x, y) for y, row in enumerate(rows) for x, px in enumerate(row)
            if px != (255, 255, 255)}


def main():
    a = e2e_util.parse_args()
    if os.environ.get("KURVATAB_UNDER_XVFB") != "1":
        for tool in ("xvfb-run", "xmgrace"):
            if not shutil.which(tool):
                print("FAIL: %s is needed (apt-get install grace xvfb xauth)" % tool)
                return 1
        env = dict(os.environ, KURVATAB_UNDER_XVFB="1")
        env.pop("DISPLAY", None)
        os.execvpe("xvfb-run", ["xvfb-run", "-a", sys.executable, os.path.abspath(__file__),
                                "--binary", a.binary, "--source", a.source], env)
    for test in (log_scale_and_loop, files_and_names, restart, follow):
        test(a)
    if not os.environ.get("KURVATAB_KEEP"):
        for r in runs:
            shutil.rmtree(r.work, ignore_errors=True)
    if not failures:
        print("ok")
    return e2e_util.report(failures)


if __name__ == "__main__":
    sys.exit(main())
