#!/usr/bin/env python3
"""Benchmark: generates scan files and measures kurvatab on them against
`wc -l` (indexing) and against awk commands that do the same parsing and
printing work (exports).

    python3 bench/run_bench.py [--build build] [--sizes 100M,1G] [--runs 3]
                               [--only index,exports] [--reference OLD_KURVATAB] [--keep DIR]

Every figure is the best of --runs whole-process runs on page-cached files:
wall time, and processor time (user + system) beside it, which a machine
shared with other work disturbs less.

Indexing: for each file its bytes and scans, `kurvatab FILE` with "q" on
standard input (start-up, one index pass, the index table, quit) against
`wc -l FILE`, kurvatab's peak resident memory, the bytes a reindex reads
after one scan is appended, and the time of listing the last scan (`p`).

Exports: on one scan of 2,000,000 lines, `w` with error bars and
normalisation on, `W` with a three-column format and, when the binary has it,
the statistics command `a`; on the 100 MiB file of about 1,500 scans, the
loop `(i1,99999,w)` writing one file per scan. Each against its awk command
(written below); `same` tells whether the data lines awk wrote are those
kurvatab wrote. With --reference, every file kurvatab exports is compared
byte for byte with what the reference build writes.
"""
import argparse
import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile

# --- the awk commands the exports are measured against ----------------------

# w with error bars and normalisation on: x, y, its error, the monitor, y/n
# and its error, with the export's formats; '#' lines copied.
AWK_W = r'''
/^#/ { print; next }
NF == 0 { next }
{
  x = $1; y = $NF; z = $(NF - 1)
  e = y > 1 ? sqrt(y) : 1
  printf "%15.5f %15.7g %15.7g %15.7g", x, y, e, z
  if (z >= 1) printf " %15.7g %15.7g", y / z, sqrt(e * e + y * y / z) / z
  printf "\n"
}
'''

# W with "%8.4lf %12.6lf %12.6lf\n" typed at F (the backslash-n becomes a
# blank and a line feed) and the columns 1 -2 -1.
W_FORMAT = "%8.4lf %12.6lf %12.6lf\\n"
W_COLUMNS = "1 -2 -1"
AWK_W3 = r'''
/^#/ { print; next }
NF == 0 { next }
{ printf "%8.4f %12.6f %12.6f \n", $1, $(NF - 1), $NF }
'''

# The statistics of x and the last column: points, minimum, maximum, x at
# the maximum, the width at half height walking out from the peak, its
# centre, the centre of mass and the trapezoid integral.
AWK_STATS = r'''
/^#/ || NF == 0 { next }
{ n++; x[n] = $1; y[n] = $NF
  if (n == 1 || y[n] < ymin) ymin = y[n]
  if (n == 1 || y[n] > ymax) { ymax = y[n]; peak = n } }
END {
  half = ymin + (ymax - ymin) / 2
  for (i = peak; i > 1 && y[i - 1] > half; i--) ;
  left = i > 1 ? x[i - 1] + (half - y[i - 1]) * (x[i] - x[i - 1]) / (y[i] - y[i - 1]) : "nan"
  for (i = peak; i < n && y[i + 1] > half; i++) ;
  right = i < n ? x[i] + (half - y[i]) * (x[i + 1] - x[i]) / (y[i + 1] - y[i]) : "nan"
  for (i = 1; i <= n; i++) { w = y[i] - ymin; sw += w; sxw += x[i] * w }
  for (i = 2; i <= n; i++) area += (x[i] - x[i - 1]) * (y[i] + y[i - 1]) / 2
  printf "%d 0 %.10g %.10g %.10g %.10g %.10g %.10g %.10g\n", n, ymin, ymax, x[peak],
         right - left, (left + right) / 2, sw ? sxw / sw : "nan", area
}
'''

# The loop's files: one per scan, named as kurvatab names them, with the
# scan's '#' lines, the title and legend, and x, y and the monitor.
AWK_LOOP = r'''
/^#S/ {
  if (out != "") close(out)
  idx++
  out = sprintf("scan%03d.%03d", $2, idx)
  head = 1
}
/^#/ { if (out != "") print > out; next }
NF == 0 || out == "" { next }
{
  if (head) {
    print "#\n#kurvatab extracted columns 1, -1 -2\n#\n#  x    y    n   \n#" > out
    head = 0
  }
  printf "%15.5f %15.7g %15.7g\n", $1, $NF, $(NF - 1) > out
}
'''


def run_measure(measure_bin, argv, stdin_path, cwd, out_path=None):
    cmd = [measure_bin, stdin_path] + (["-o", out_path] if out_path else []) + argv
    out = subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.PIPE).stdout.split()
    return float(out[0]), int(out[1]), float(out[2])


def best_of(runs, once):
    """Best wall time, best processor time and the largest peak RSS (KiB)
    over `runs` calls of once(), which returns (wall, rss, cpu)."""
    walls, cpus, rss = [], [], 0
    for _ in range(runs):
        w, r, c = once()
        walls.append(w)
        cpus.append(c)
        rss = max(rss, r)
    return min(walls), min(cpus), rss


def parse_size(s):
    mult = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    return int(float(s[:-1]) * mult[s[-1]]) if s[-1] in mult else int(s)


def cache(path):
    subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)


def data_lines(path):
    with open(path, "rb") as f:
        return [l for l in f if not l.startswith(b"#")]


class Kurvatab:
    """Runs a kurvatab binary through a link in its own folder, so that its
    initialization file lies there and is removed before every run: each run
    starts from the default settings."""

    def __init__(self, binary, work, name):
        self.home = os.path.join(work, name)
        os.makedirs(self.home, exist_ok=True)
        self.link = os.path.join(self.home, "kurvatab")
        if os.path.lexists(self.link):
            os.remove(self.link)
        os.symlink(binary, self.link)

    def fresh(self):
        ini = self.link + ".ini"
        if os.path.exists(ini):
            os.remove(ini)

    def has_command(self, letter):
        self.fresh()
        out = subprocess.run([self.link], input=b"?\nq\n", stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, cwd=self.home).stdout.decode("latin-1")
        return re.search(r"(^|\s)%s :" % re.escape(letter), out) is not None


def bench_index(a, build, work, files, quit_input):
    kurvatab = os.path.join(build, "kurvatab")
    probe = os.path.join(build, "bench", "reindex_probe")
    measure_bin = os.path.join(build, "bench", "measure")
    k = Kurvatab(kurvatab, work, "index")
    print("\nIndexing (target: index_s at most 1.5 times wc_l_s)")
    print("%-22s %12s %8s %9s %9s %6s %7s %9s %13s %9s" %
          ("file", "bytes", "scans", "index_s", "wc_l_s", "ratio", "cpu_r", "rss_MiB",
           "reindex_bytes", "p_last_s"))
    for name, path in files:
        cache(path)
        w_wc, c_wc, _ = best_of(a.runs, lambda: run_measure(
            measure_bin, ["wc", "-l", path], quit_input, work))

        def once():
            k.fresh()
            return run_measure(measure_bin, [k.link, path], quit_input, k.home)
        w_k, c_k, rss = best_of(a.runs, once)
        pr = subprocess.run([probe, path], stdout=subprocess.PIPE, check=True,
                            cwd=work).stdout.decode()
        f = dict(kv.split("=") for kv in pr.split())
        print("%-22s %12d %8s %9.3f %9.3f %6.2f %7.2f %9.1f %13s %9s" % (
            name, os.path.getsize(path), f["scans"], w_k, w_wc, w_k / w_wc, c_k / c_wc,
            rss / 1024.0, f["reindex_bytes"], f["p_last_s"]))
        sys.stdout.flush()


def bench_exports(a, build, work, single, loop_file):
    measure_bin = os.path.join(build, "bench", "measure")
    k = Kurvatab(os.path.join(build, "kurvatab"), work, "kurvatab")
    ref = Kurvatab(os.path.abspath(a.reference), work, "reference") if a.reference else None
    awk_home = os.path.join(work, "awk")
    os.makedirs(awk_home, exist_ok=True)
    scripts = {}
    for name, text in (("w", AWK_W), ("W3", AWK_W3), ("stats", AWK_STATS), ("loop", AWK_LOOP)):
        scripts[name] = os.path.join(work, name + ".awk")
        with open(scripts[name], "w") as f:
            f.write(text)

    cases = [
        ("w E N", single, "E\nN\nw out.dat\nq\n", "w", "out.dat"),
        ("W 3 columns", single, "F%s\nC %s\nW out.dat\nq\n" % (W_FORMAT, W_COLUMNS), "W3",
         "out.dat"),
    ]
    if k.has_command("a"):
        cases.append(("a statistics", single, "a\nq\n", "stats", None))
    else:
        print("\n(no statistics command `a` in this build: not measured)")
    cases.append(("loop (i1,99999,w)", loop_file, "(i1,99999,w)\nq\n", "loop", "*"))

    print("\nExports (target: ratio at most 0.5)")
    print("%-20s %-18s %10s %8s %6s %8s %8s %6s %5s %9s" %
          ("command", "file", "kurvatab_s", "awk_s", "ratio", "kt_cpu", "awk_cpu", "cpu_r",
           "same", "reference"))
    for label, path, commands, awk_name, output in cases:
        cache(path)
        cmd_file = os.path.join(work, "commands.txt")
        with open(cmd_file, "w") as f:
            f.write(commands)

        def clean(folder):
            for n in os.listdir(folder):
                if n.startswith("scan") or n.startswith("out"):
                    os.remove(os.path.join(folder, n))

        def kt_once(runner=k):
            runner.fresh()
            clean(runner.home)
            return run_measure(measure_bin, [runner.link, path], cmd_file, runner.home,
                               None if output else os.path.join(runner.home, "out.txt"))

        def awk_once():
            clean(awk_home)
            out = None if output == "*" else os.path.join(awk_home, "out_awk.txt")
            return run_measure(measure_bin, ["awk", "-f", scripts[awk_name], path], cmd_file,
                               awk_home, out)

        w_k, c_k, _ = best_of(a.runs, kt_once)
        w_a, c_a, _ = best_of(a.runs, awk_once)
        same = "-"
        if output == "*":
            names = sorted(n for n in os.listdir(k.home) if n.startswith("scan"))
            same = "yes" if names and all(
                os.path.exists(os.path.join(awk_home, n)) and
                data_lines(os.path.join(k.home, n)) == data_lines(os.path.join(awk_home, n))
                for n in names) else "NO"
        elif output:
            same = "yes" if data_lines(os.path.join(k.home, output)) == data_lines(
                os.path.join(awk_home, "out_awk.txt")) else "NO"
        against = "-"
        if ref and output:
            kt_once(ref)
            names = ([n for n in os.listdir(k.home) if n.startswith("scan")]
                     if output == "*" else [output])
            against = "same" if all(filecmp.cmp(os.path.join(k.home, n), os.path.join(ref.home, n),
                                                shallow=False) for n in names) else "DIFFERS"
        print("%-20s %-18s %10.3f %8.3f %6.2f %8.3f %8.3f %6.2f %5s %9s" % (
            label, os.path.basename(path), w_k, w_a, w_k / w_a, c_k, c_a, c_k / c_a, same,
            against))
        sys.stdout.flush()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--sizes", default="100M,1G")
    ap.add_argument("--profiles", default="typical,short")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--only", default="index,exports")
    ap.add_argument("--reference", help="an older kurvatab whose exports must be the same bytes")
    ap.add_argument("--keep", help="folder for the generated files (kept)")
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    for b in ("kurvatab", "bench/gen_scans", "bench/reindex_probe", "bench/measure"):
        if not os.path.exists(os.path.join(build, b)):
            sys.exit("missing %s: build first (make build)" % os.path.join(build, b))
    gen = os.path.join(build, "bench", "gen_scans")
    work = os.path.abspath(a.keep or tempfile.mkdtemp(prefix="kurvatab-bench-"))
    os.makedirs(work, exist_ok=True)
    print("machine: %s, %d cores, load average %.1f" % (os.uname().machine, os.cpu_count(),
                                                        os.getloadavg()[0]))
    quit_input = os.path.join(work, "quit.txt")
    with open(quit_input, "w") as f:
        f.write("q\n")

    def generated(name, amount, profile, slack):
        path = os.path.join(work, name)
        if not os.path.exists(path) or abs(os.path.getsize(path) - amount) > slack:
            subprocess.run([gen, path, str(amount), profile], check=True,
                           stderr=subprocess.DEVNULL)
        return path

    try:
        only = a.only.split(",")
        if "index" in only:
            files = []
            for size in a.sizes.split(","):
                for prof in a.profiles.split(","):
                    name = "%s-%s.dat" % (prof, size)
                    files.append((name, generated(name, parse_size(size), prof, 4 << 20)))
            bench_index(a, build, work, files, quit_input)
        if "exports" in only:
            single = os.path.join(work, "single-2M.dat")
            if not os.path.exists(single):
                subprocess.run([gen, single, "2000000", "single"], check=True,
                               stderr=subprocess.DEVNULL)
            loop_file = generated("typical-100M.dat", 100 << 20, "typical", 4 << 20)
            bench_exports(a, build, work, single, loop_file)
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
