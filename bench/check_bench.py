#!/usr/bin/env python3
"""File check benchmark: the `K` command against awk adding up every value.

    python3 bench/check_bench.py [--build build] [--sizes 100M,1G] [--runs 5] [--keep DIR]

For each generated file (page-cached first) it runs, side by side and
interleaved, `awk '!/^#/{for(i=1;i<=NF;i++) s+=$i} END{print s}' FILE`, the
check pass alone (`check_probe FILE`), and the whole program `kurvatab FILE`
with "K" and "q" on standard input (start-up, indexing, the check, quit).
It prints the medians and the ratios to awk's time; the check must not take
longer than awk.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

from reopen_bench import measure, scan_file, setup

AWK = "!/^#/{for(i=1;i<=NF;i++) s+=$i} END{print s}"


def wall(measure_bin, stdin_path, argv, cwd):
    """Wall time of one run."""
    return measure(measure_bin, argv, stdin_path, cwd, 1)[0]


def main():
    a, kurvatab, gen, probe, measure_bin, work = setup("check_probe", "kurvatab-check-bench-")
    awk = shutil.which("awk")
    work = a.keep or tempfile.mkdtemp(prefix="kurvatab-check-bench-")
    os.makedirs(work, exist_ok=True)
    # Run as ./kurvatab so that its initialization file stays in the work folder.
    link = os.path.join(work, "kurvatab")
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(kurvatab, link)
    check_input = os.path.join(work, "check.txt")
    with open(check_input, "w") as f:
        f.write("K\nq\n")
    print("machine: %s, %d cores; awk is %s" % (os.uname().machine, os.cpu_count(),
                                               os.path.realpath(awk)))
    print("%-20s %12s %9s %8s %8s %9s %9s %9s" % ("file", "bytes", "lines", "awk_s", "check_s",
                                                  "K_run_s", "check/awk", "K_run/awk"))
    try:
        for size in a.sizes.split(","):
            for prof in a.profiles.split(","):
                path = scan_file(gen, work, size, prof)
                name = os.path.basename(path)
                t_awk, t_check, t_run = [], [], []
                lines = "?"
                for _ in range(a.runs):
                    t_awk.append(wall(measure_bin, os.devnull, [awk, AWK, path], work))
                    out = subprocess.run([probe, path], stdout=subprocess.PIPE, check=True,
                                         cwd=work).stdout.decode()
                    f = dict(kv.split("=") for kv in out.split())
                    t_check.append(float(f["check_s"]))
                    lines = f["lines"]
                    t_run.append(wall(measure_bin, check_input, ["./kurvatab", path], work))
                m_awk, m_check, m_run = (statistics.median(t) for t in (t_awk, t_check, t_run))
                print("%-20s %12d %9s %8.3f %8.3f %9.3f %9.2f %9.2f" % (
                    name, os.path.getsize(path), lines, m_awk, m_check, m_run,
                    m_check / m_awk, m_run / m_awk))
                sys.stdout.flush()
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
