#!/usr/bin/env python3
"""The HDF5 (NeXus) export, read back with h5py and h5dump.

1. A loop exports a generated file of mixed scan types (repeated scan numbers,
   '#' lines among the data, a scan without data, labels with blanks) into one
   file; every column read back with h5py equals, bit for bit, what the
   column reader gives for it (the W export with "%a" conversions).
2. The NeXus attributes are there and point at existing datasets.
3. h5dump of a small export equals the stored expected dump.
4. A write that fails part-way (a file size limit) leaves the earlier file
   byte for byte as it was, and no temporary file; a second export adds to
   the file; exporting a scan again replaces it; a loop naming an existing
   HDF5 file keeps its other scans.

Runs under /usr/bin/python3 when the interpreter it was started with has no
h5py (Debian's python3-h5py belongs to /usr/bin/python3).
"""
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile

try:
    import h5py
    import numpy
except ImportError:
    if os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3") and \
            os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    sys.exit("FAIL: h5py and numpy are needed (apt-get install python3-h5py python3-numpy)")

import e2e_util

FAILURES = []


def check(cond, what):
    if not cond:
        FAILURES.append(what)
        sys.stderr.write("FAIL: %s\n" % what)


# (scan number, title, labels, rows, '#' line every k rows or 0)
SCANS = [
    (1, "ascan  th 0 1 20 1", ["Theta", "Two Theta", "Monitor", "Detector", "Seconds"], 21, 0),
    (2, "a2scan  th 0 1 tth 0 2 30 1",
     ["Theta", "Two Theta", "H", "K", "L", "Epoch", "Monitor", "Detector"], 31, 7),
    (3, "timescan  0.5", ["Time", "I0", "Detector"], 50, 10),
    (5, "dscan  chi -1 1 10 1", ["Chi", "Monitor", "Detector", "Det/Mon"], 11, 0),
    (5, "dscan  chi -1 1 10 1", ["Chi", "Monitor", "Detector", "Det/Mon"], 11, 4),
    (6, "ascan  phi 0 1 10 1", ["Phi", "Monitor", "Detector"], 0, 0),
    (7, "loopscan  12", ["Index", "Monitor", "Detector", "Detector"], 12, 0),
]


def value(k, c, r):
    """A spread of number forms: integers, decimals, exponents, negatives."""
    forms = [lambda: "%d" % (r * 7 + c),
             lambda: "%.5f" % (r * 0.013 - c),
             lambda: "%.3e" % ((r + 1) * 1.7e-9 * (c + 1)),
             lambda: "-%d.%02d" % (r, c),
             lambda: "%.17g" % (0.1 * (r + k))]
    return forms[(k + c + r) % len(forms)]()


def scan_file():
    out = ["#F mixed.dat", "#E 1765000000", "#D Sun Dec 06 12:00:00 2026",
           "#O0 Theta  Two Theta  Chi  Phi", ""]
    for k, (num, title, labels, rows, every) in enumerate(SCANS):
        out += ["#S %d  %s" % (num, title), "#D Sun Dec 06 12:%02d:00 2026" % k,
                "#P0 %d 2.5 -1 %d" % (k, k * 10), "#N %d" % len(labels),
                "#L " + "  ".join(labels)]
        for r in range(rows):
            if every and r and r % every == 0:
                out.append("#C note %d among the data" % r)
            out.append(" ".join(value(k, c, r) for c in range(len(labels))))
        out.append("")
    return "\n".join(out) + "\n"


def run(binary, work, commands, limit=None):
    def pre():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

    return subprocess.run(["kurvatab", "mixed.dat"], executable=binary, cwd=work,
                          input=commands.encode(), stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=120,
                          preexec_fn=pre if limit else None).stdout.decode("latin-1")


def column_reader_values(binary, work):
    """Per position, the rows of all columns as the W export reads them."""
    cmds = []
    for i, (_, _, labels, rows, _) in enumerate(SCANS, 1):
        if rows == 0:
            continue
        n = len(labels)
        cmds += ["i %d" % i, "C " + " ".join(str(c) for c in range(1, n + 1)),
                 "F" + " ".join(["%a"] * n) + "\\n", "W ref%d.txt" % i]
    run(binary, work, "\n".join(cmds + ["q"]) + "\n")
    values = {}
    for i, (_, _, labels, rows, _) in enumerate(SCANS, 1):
        if rows == 0:
            continue
        with open(os.path.join(work, "ref%d.txt" % i)) as f:
            values[i] = [[float.fromhex(v) for v in line.split()]
                         for line in f if not line.startswith("#")]
    return values


def group_names():
    seen, names = {}, []
    for num, *_ in SCANS:
        seen[num] = seen.get(num, 0) + 1
        names.append("%d.%d" % (num, seen[num]))
    return names


def dataset_names(labels):
    used, names = set(), []
    for label in labels:
        name, k = label.replace("/", "_"), 2
        while name in used:
            name, k = "%s_%d" % (label.replace("/", "_"), k), k + 1
        used.add(name)
        names.append(name)
    return names


def same_bits(a, b):
    a, b = numpy.asarray(a, dtype="<f8"), numpy.asarray(b, dtype="<f8")
    return a.shape == b.shape and a.tobytes() == b.tobytes()


def check_export(path, values):
    with h5py.File(path, "r") as f:
        check(f.attrs.get("NX_class") == "NXroot", "root NX_class")
        check(f.attrs.get("default") in f, "root default names an entry")
        check(sorted(f.keys()) == sorted(group_names()),
              "entries %s" % sorted(f.keys()))
        for i, (name, (num, title, labels, rows, every)) in \
                enumerate(zip(group_names(), SCANS), 1):
            e = f[name]
            check(e.attrs.get("NX_class") == "NXentry", "%s NX_class" % name)
            check(e["title"][()].decode() == title, "%s title" % name)
            check(e["start_time"][()].decode() == "2026-12-06T12:%02d:00" % (i - 1),
                  "%s start_time" % name)
            meas = e["measurement"]
            names = dataset_names(labels)
            check(sorted(meas.keys()) == sorted(names), "%s columns %s" % (name, list(meas)))
            for c, n in enumerate(names):
                got = meas[n][()]
                if rows == 0:
                    check(got.shape == (0,), "%s/%s empty" % (name, n))
                    continue
                want = [row[c] for row in values[i]]
                check(len(want) == rows, "%s reference rows" % name)
                check(same_bits(got, want), "%s/%s values differ" % (name, n))
            header = [s.decode() for s in e["instrument/specfile/scan_header"][()]]
            check(header[0] == "#S %d  %s" % (num, title) and header[-1].startswith("#L "),
                  "%s scan_header %s" % (name, header))
            comments = [s.decode() for s in e["instrument/specfile/comments"][()]]
            notes = (rows - 1) // every if every else 0
            check(len(comments) == notes, "%s comments %s" % (name, comments))
            pos = e["instrument/positioners"]
            check(sorted(pos) == ["Chi", "Phi", "Theta", "Two Theta"] and
                  pos["Two Theta"][()] == 2.5, "%s positioners" % name)
            # The plot: NXdata whose signal and axes are the measurement's
            # datasets (the default columns x=1, y=-1).
            plot = e[e.attrs["default"]]
            check(plot.attrs.get("NX_class") == "NXdata", "%s plot NX_class" % name)
            signal_, axes = plot.attrs.get("signal"), plot.attrs.get("axes")
            check(signal_ == names[-1] and axes == names[0],
                  "%s signal %s axes %s" % (name, signal_, axes))
            for n in (signal_, axes):
                check(n in plot and plot[n] == meas[n], "%s plot/%s links measurement" % (name, n))


def h5dump_of(path, tmp_name):
    out = subprocess.run(["h5dump", path], stdout=subprocess.PIPE, check=True).stdout.decode()
    out = out.replace(os.path.realpath(tmp_name), "TMP").replace(tmp_name, "TMP")
    out = re.sub(r'(ATTRIBUTE "(file_time|creator_version|HDF5_Version)" \{.*?DATA \{\n\s*\(0\): )"[^"]*"',
                 r'\1"VARIES"', out, flags=re.S)
    return out


def main():
    a = e2e_util.parse_args(lambda ap: ap.add_argument("--update-dump", action="store_true"))
    work = tempfile.mkdtemp(prefix="kurvatab-hdf5-")
    try:
        with open(os.path.join(work, "mixed.dat"), "w") as f:
            f.write(scan_file())
        values = column_reader_values(a.binary, work)
        n = len(SCANS)

        # 1, 2: one loop over all scans; the word behind ")" names the file.
        out = run(a.binary, work, "(i1,%d,n)all.h5\nq\n" % n)
        check(" HDF5 file 'all.h5': %d scan(s) written\n" % n in out, "loop message: %s" % out)
        check_export(os.path.join(work, "all.h5"), values)

        # 3: the layout of a small export, against the stored dump.
        small = os.path.join(work, "small")
        os.mkdir(small)
        shutil.copy(os.path.join(a.source, "tests/e2e/data/demo.dat"), small)
        subprocess.run(["kurvatab", "demo.dat"], executable=a.binary, cwd=small,
                       input=b"N\nn\nq\n", stdout=subprocess.PIPE, check=True, timeout=60)
        dump = h5dump_of(os.path.join(small, "demo.dat.h5"), small)
        expected = os.path.join(a.source, "tests/e2e/data/demo.dat.h5.dump")
        if a.update_dump:
            with open(expected, "w") as f:
                f.write(dump)
        with open(expected) as f:
            check(f.read() == dump, "h5dump differs from %s:\n%s" % (expected, dump))

        # 4: safety and adding.
        all_h5 = os.path.join(work, "all.h5")
        before = open(all_h5, "rb").read()
        big = "".join("%d %d %d\n" % (r, r * 3, r * 7) for r in range(200000))
        with open(os.path.join(work, "mixed.dat"), "a") as f:
            f.write("#S 99  long scan\n#N 3\n#L a  b  c\n" + big)
        out = run(a.binary, work, "i %d\nn all.h5\nq\n" % (n + 1), limit=len(before) + 65536)
        check(" unable to write HDF5 on 'all.h5': File too large\n" in out,
              "message of the failed write: %s" % out)
        check(open(all_h5, "rb").read() == before, "earlier file unchanged after a failed write")
        check(sorted(os.listdir(work)) == sorted(["mixed.dat", "all.h5", "small", "kurvatab.ini"] +
                                                 ["ref%d.txt" % i for i in values]),
              "no temporary file left: %s" % sorted(os.listdir(work)))

        out = run(a.binary, work, "i %d\nn all.h5\ni 2\ny 3\nn all.h5\nq\n" % (n + 1))
        check(" HDF5 file 'all.h5': 1 scan(s) written, %d kept from the earlier file\n" % n
              in out, "second export adds: %s" % out)
        with h5py.File(all_h5, "r") as f:
            check(len(f) == n + 1 and f["99.1/measurement/c"].shape == (200000,),
                  "file holds the added scan")
            check(f["2.1/plot"].attrs["signal"] == "H", "re-export replaced 2.1")
        out = run(a.binary, work, "(i1,2,n)all.h5\nq\n")
        check(" HDF5 file 'all.h5': 2 scan(s) written, %d kept from the earlier file\n" % (n - 1)
              in out, "loop over an existing file: %s" % out)
        with h5py.File(all_h5, "r") as f:
            check(len(f) == n + 1 and f["99.1/measurement/c"][-1] == 199999 * 7,
                  "a loop into an existing file keeps its other scans")

        # Another scan file's export is refused, and left as it was.
        shutil.copy(os.path.join(work, "mixed.dat"), os.path.join(work, "copy.dat"))
        p = subprocess.run(["kurvatab", "copy.dat"], executable=a.binary, cwd=work,
                           input=b"n all.h5\nq\n", stdout=subprocess.PIPE, timeout=60)
        msg = " unable to write HDF5 on 'all.h5': it was made from another scan file, %s\n" % \
            os.path.join(os.path.realpath(work), "mixed.dat")
        check(msg in p.stdout.decode(), "another scan file refused: %s" % p.stdout[-300:])
    finally:
        shutil.rmtree(work, ignore_errors=True)
    sys.exit(e2e_util.report(FAILURES))


if __name__ == "__main__":
    main()
