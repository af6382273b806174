#!/usr/bin/env python3
"""Indexing benchmark: generates scan files and measures kurvatab on them.

    python3 bench/run_bench.py [--build build] [--sizes 100M,1G] [--runs 5] [--keep DIR]

For each file it prints its bytes and scans, the median whole-process time
of `kurvatab FILE` with "q" on standard input (start-up, one index pass,
quit) and of `wc -l FILE` on the page-cached file, their ratio, kurvatab's
peak resident memory, the bytes a reindex reads after one scan is appended,
the time of listing the last scan (`p`), and, for opening the file again
with its index in the cache, the whole-process time, peak memory and the
bytes of the file read. The index cache lives in a folder of the run; the
indexing times are taken with it turned off.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def measure(measure_bin, argv, stdin_path, cwd, runs, env=None):
    """Median wall time and the largest peak RSS (KiB) over `runs` runs."""
    times, rss = [], 0
    for _ in range(runs):
        out = subprocess.run([measure_bin, stdin_path] + argv, cwd=cwd, check=True, env=env,
                             stdout=subprocess.PIPE).stdout.split()
        times.append(float(out[0]))
        rss = max(rss, int(out[1]))
    return statistics.median(times), rss


def parse_size(s):
    mult = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    return int(float(s[:-1]) * mult[s[-1]]) if s[-1] in mult else int(s)


def setup(probe_name, prefix):
    """The arguments the benchmarks share, the built tools and the folder for
    the generated files: (args, kurvatab, gen_scans, probe, measure, folder)."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--sizes", default="100M,1G")
    ap.add_argument("--profiles", default="typical,short")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--keep", help="folder for the generated files (kept)")
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    tools = [os.path.join(build, "kurvatab")] + [
        os.path.join(build, "bench", n) for n in ("gen_scans", probe_name, "measure")]
    for b in tools:
        if not os.path.exists(b):
            sys.exit("missing %s: build first (make build)" % b)
    work = a.keep or tempfile.mkdtemp(prefix=prefix)
    os.makedirs(work, exist_ok=True)
    return [a] + tools + [work]


def scan_file(gen, work, size, prof):
    """The generated file of that size and profile (made when missing), page-cached."""
    path = os.path.join(work, "%s-%s.dat" % (prof, size))
    nbytes = parse_size(size)
    if not os.path.exists(path) or abs(os.path.getsize(path) - nbytes) > (4 << 20):
        subprocess.run([gen, path, str(nbytes), prof], check=True, stderr=subprocess.DEVNULL)
    subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)
    return path


def main():
    a, kurvatab, gen, probe, measure_bin, work = setup("reindex_probe", "kurvatab-bench-")
    print("machine: %s, %d cores" % (os.uname().machine, os.cpu_count()))
    cached = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "cache"))
    cached.pop("KURVATAB_NO_CACHE", None)
    uncached = dict(cached, KURVATAB_NO_CACHE="1")
    quit_input = os.path.join(work, "quit.txt")
    with open(quit_input, "w") as f:
        f.write("q\n")
    hdr = ("%-22s %12s %8s %9s %9s %6s %9s %13s %9s %9s %10s %12s" %
           ("file", "bytes", "scans", "index_s", "wc_l_s", "ratio", "rss_MiB",
            "reindex_bytes", "p_last_s", "reopen_s", "reopen_MiB", "reopen_bytes"))
    print(hdr)
    try:
        for size in a.sizes.split(","):
            for prof in a.profiles.split(","):
                path = scan_file(gen, work, size, prof)
                name = os.path.basename(path)
                t_wc, _ = measure(measure_bin, ["wc", "-l", path], quit_input, work, a.runs)
                t_k, rss = measure(measure_bin, [kurvatab, path], quit_input, work, a.runs,
                                   uncached)
                # The probe's first pass fills the cache; its second open is a reopen.
                pr = subprocess.run([probe, path], stdout=subprocess.PIPE, check=True, env=cached,
                                    cwd=work).stdout.decode()
                f = dict(kv.split("=") for kv in pr.split())
                t_r, rss_r = measure(measure_bin, [kurvatab, path], quit_input, work, a.runs,
                                     cached)
                print("%-22s %12d %8s %9.3f %9.3f %6.2f %9.1f %13s %9s %9.3f %10.1f %12s" % (
                    name, os.path.getsize(path), f["scans"], t_k, t_wc, t_k / t_wc,
                    rss / 1024.0, f["reindex_bytes"], f["p_last_s"], t_r, rss_r / 1024.0,
                    f["reopen_bytes"]))
                sys.stdout.flush()
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
