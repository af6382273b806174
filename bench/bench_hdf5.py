#!/usr/bin/env python3
"""HDF5 (NeXus) export benchmark.

    python3 bench/bench_hdf5.py [--build build] [--size 100M] [--lines 2000000]
                                [--runs 5] [--silx-runs 1] [--keep DIR] [--no-silx]
                                [--many-size 20M] [--mid-size 3600000]

1. Whole generated files: `gen_scans ... typical` (about 1,500 scans in
   100 MiB), `many` (short scans of ten columns, about 150 a MiB) and `mid`
   (about 260 scans in 3.6 MB), each exported in one loop, `(i1,999999,n)out.h5`, against Debian's
   `silx convert` (package `silx`, needed only here): wall time, CPU time,
   peak memory, output size; and kurvatab's memory beyond what indexing the
   same file takes (its run with `q` alone).
2. One scan of 2,000,000 lines of 8 columns (`gen_scans ... single`): `n`
   (all columns into HDF5) against `w` (x, y and monitor as text) and `W`
   (all 8 columns as text, `%.10g`).

Each figure is the median of --runs runs (--silx-runs for silx), the
memory the largest.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

from run_bench import parse_size


def measure(measure_bin, argv, stdin_text, cwd, runs, before=None):
    """Median wall and CPU time, largest peak RSS (KiB)."""
    inp = os.path.join(cwd, "input.txt")
    with open(inp, "w") as f:
        f.write(stdin_text)
    wall, cpu, rss = [], [], 0
    for _ in range(runs):
        if before:
            before()
        out = subprocess.run([measure_bin, inp] + argv, cwd=cwd, check=True,
                             stdout=subprocess.PIPE).stdout.split()
        wall.append(float(out[0]))
        rss = max(rss, int(out[1]))
        cpu.append(float(out[2]))
    return statistics.median(wall), statistics.median(cpu), rss


def remove(*paths):
    def run():
        for p in paths:
            if os.path.exists(p):
                os.remove(p)
    return run


def mib(n):
    return n / (1 << 20)


def whole_file(a, work, gen, measure_bin, kurvatab, silx, profile, size):
    """One generated file exported whole by kurvatab and by silx convert."""
    name = "%s-%s.dat" % (profile, size)
    path = os.path.join(work, name)
    nbytes = parse_size(size)
    if not os.path.exists(path) or abs(os.path.getsize(path) - nbytes) > (4 << 20):
        subprocess.run([gen, path, str(nbytes), profile], check=True, stderr=subprocess.DEVNULL)
    subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)
    k_out = os.path.join(work, "kurvatab.h5")
    _, _, rss_index = measure(measure_bin, [kurvatab, path], "q\n", work, a.runs)
    t_k, c_k, rss_k = measure(measure_bin, [kurvatab, path], "(i1,999999,n)kurvatab.h5\nq\n",
                              work, a.runs, before=remove(k_out))
    with open(path, "rb") as f:
        scans = sum(1 for line in f if line.startswith(b"#S"))
    print("\nwhole file: %s, %d bytes, %d scans (%.0f a MiB), load %.1f" % (
        name, os.path.getsize(path), scans, scans / mib(os.path.getsize(path)),
        os.getloadavg()[0]))
    print("%-22s %9s %9s %9s %9s" % ("export", "wall_s", "cpu_s", "rss_MiB", "out_MiB"))
    print("%-22s %9.2f %9.2f %9.1f %9.2f" % ("kurvatab (i1,N,n)", t_k, c_k, rss_k / 1024,
                                             mib(os.path.getsize(k_out))))
    if silx and not (profile == "typical" and a.skip_typical_silx):
        s_out = os.path.join(work, "silx.h5")
        t_s, c_s, rss_s = measure(measure_bin, [silx, "convert", path, "-m", "w", "-o", s_out],
                                  "", work, a.silx_runs, before=remove(s_out))
        print("%-22s %9.2f %9.2f %9.1f %9.2f" % ("silx convert", t_s, c_s, rss_s / 1024,
                                                 mib(os.path.getsize(s_out))))
        print("kurvatab faster: %.1fx (wall), %.1fx (CPU); file %.2f of silx's" % (
            t_s / t_k, c_s / c_k, os.path.getsize(k_out) / os.path.getsize(s_out)))
    elif not silx:
        print("silx convert: not installed (apt-get install silx)")
    print("kurvatab memory beyond indexing alone (%.1f MiB): %.1f MiB" % (
        rss_index / 1024, (rss_k - rss_index) / 1024))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--size", default="100M")
    ap.add_argument("--lines", type=int, default=2000000)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--silx-runs", type=int, default=1)
    ap.add_argument("--keep", help="folder for the generated files (kept)")
    ap.add_argument("--no-silx", action="store_true")
    ap.add_argument("--many-size", default="20M", help="file of short scans, ten columns")
    ap.add_argument("--mid-size", default="3600000", help="file of about 75 scans a MiB")
    ap.add_argument("--skip-typical-silx", action="store_true")
    ap.add_argument("--only-whole", action="store_true", help="leave out the long scan")
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    kurvatab = os.path.join(build, "kurvatab")
    gen = os.path.join(build, "bench", "gen_scans")
    measure_bin = os.path.join(build, "bench", "measure")
    for b in (kurvatab, gen, measure_bin):
        if not os.path.exists(b):
            sys.exit("missing %s: build first (make build)" % b)
    silx = None if a.no_silx else shutil.which("silx")
    work = a.keep or tempfile.mkdtemp(prefix="kurvatab-bench-hdf5-")
    os.makedirs(work, exist_ok=True)
    print("machine: %s, %d cores, load %.1f" % (os.uname().machine, os.cpu_count(),
                                               os.getloadavg()[0]))
    try:
        # 1. Whole files in one loop each, against silx convert.
        for profile, size in (("typical", a.size), ("many", a.many_size), ("mid", a.mid_size)):
            whole_file(a, work, gen, measure_bin, kurvatab, silx, profile, size)

        if a.only_whole:
            return
        # 2. One long scan: n against w and W.
        lpath = os.path.join(work, "single-%d.dat" % a.lines)
        if not os.path.exists(lpath):
            subprocess.run([gen, lpath, str(a.lines), "single"], check=True,
                           stderr=subprocess.DEVNULL)
        subprocess.run(["cat", lpath], stdout=subprocess.DEVNULL, check=True)
        print("\none scan of %d lines, 8 columns, %d bytes" % (a.lines, os.path.getsize(lpath)))
        print("%-34s %9s %9s %9s %9s" % ("export", "wall_s", "cpu_s", "rss_MiB", "out_MiB"))
        cases = [
            ("n (8 columns, HDF5)", "n long.h5\nq\n", "long.h5"),
            ("w (x, y, monitor, text)", "w long.txt\nq\n", "long.txt"),
            ("W (8 columns %.10g, text)",
             "C 1 2 3 4 5 6 7 8\nF" + " ".join(["%.10g"] * 8) + "\\n\nW longW.txt\nq\n",
             "longW.txt"),
        ]
        for label, cmds, out in cases:
            out = os.path.join(work, out)
            t, c, rss = measure(measure_bin, [kurvatab, lpath], cmds, work, a.runs,
                                before=remove(out))
            print("%-34s %9.2f %9.2f %9.1f %9.1f" % (label, t, c, rss / 1024,
                                                     mib(os.path.getsize(out))))
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
