#!/usr/bin/env python3
"""The HDF5 export of the real binary: a loop over mixed scans read back with h5py,
every column bit for bit as the scan file's numbers, and h5dump of the demo file's
export against the stored dump. Runs under /usr/bin/python3, whose h5py is Debian's.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

if os.path.exists("/usr/bin/python3") and sys.executable != "/usr/bin/python3":
    os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)  # Debian's h5py
import h5py  # noqa: E402
import numpy  # noqa: E402

import e2e_util

check = e2e_util.check
# (scan number, labels, rows, a '#' line every k rows or 0)
SCANS = [(1, ["Theta", "Two Theta", "Monitor", "Detector"], 21, 0),
         (2, ["Theta", "H", "K", "L", "Epoch", "Det/Mon"], 31, 7),
         (3, ["Time", "I0", "Detector"], 50, 10), (5, ["Chi", "Monitor", "Detector"], 11, 0),
         (5, ["Chi", "Monitor", "Detector"], 11, 4), (6, ["Phi", "Monitor", "Detector"], 0, 0),
         (7, ["Index", "Monitor", "Detector"], 12, 0)]
GROUPS = ["1.1", "2.1", "3.1", "5.1", "5.2", "6.1", "7.1"]  # number.occurrence


def value(k, c, r):
    """Integers, decimals, exponents, negatives, 17 digits."""
    return ["%d" % (r * 7 + c), "%.5f" % (r * 0.013 - c), "%.3e" % ((r + 1) * 1.7e-9 * (c + 1)),
            "-%d.%02d" % (r, c), "%.17g" % (0.1 * (r + k))][(k + c + r) % 5]


def spectrum_lines(key, values, per=16):
    """A spectrum as writers put it: `per` values a line, each but the last line ending in '\\'."""
    rows = [" ".join(values[i:i + per]) for i in range(0, len(values), per)] or [""]
    return [(key + " " if k == 0 else " ") + r + ("\\" if k < len(rows) - 1 else "")
            for k, r in enumerate(rows)]


# Scans with spectra: (number, header lines, points); a point is (data line, its spectra as
# (key, values)). Scan numbers out of name order check that groups keep file order.
SPECTRA = [
    (10, ["#@MCA 16C", "#@CHANN 20 100 119 1", "#@CALIB 0.1 0.01 0", "#@CTIME 1 0.9 1.0"],
     [("%d 1000 %d" % (p, p), [("@A", ["%d" % (p * 1000003 + c * c) for c in range(20)])])
      for p in range(3)]),
    (9, ["#@CHANN 5 0 8 2", "#@CHANN 4 0 3 1", "#@CALIB 1 2 0", "#@CALIB 0 1 0.5"],
     [("%d 1 2" % p, [("@A1", ["%d" % (p + c) for c in range(5)]),
                      ("@A2", ["%.17g" % (0.1 * (p + c) + 1e-9) for c in range(4)])])
      for p in range(2)]),
    (100, ["#@CHANN 8 0 7 1"],  # the third point's spectrum has no data line: aborted
     [("%d 1 2" % p, [("@A", ["%d" % (7 * p + c) for c in range(8)])]) for p in range(2)] +
     [(None, [("@A", ["9"] * 8)])]),
    (2, ["#@CHANN 6 0 5 1"],  # a mesh: no spectrum, a short, a long and a large one
     [("0 0 1 0", [("@A", [str(c) for c in range(6)])]), ("1 0 1 1", []),
      ("0 1 1 2", [("@A", ["1", "2"])]), ("1 1 1 3", [("@A", [str(c) for c in range(8)])]),
      ("2 1 1 4", [("@A", ["123456789012345"] * 6)])]),
]


def check_spectra(binary, work):
    """Spectra exported to HDF5 read back bit for bit, with their channels, calibration and
    times; groups and members in file order."""
    text = ["#F spectra.dat", ""]
    for num, header, points in SPECTRA:
        text += ["#S %d  scan" % num, "#N 3", "#L a  b  c"] + header
        for line, spectra in points:
            for key, values in spectra:
                text += spectrum_lines(key, values, per=3 if num == 100 else 16)
            text += [line] if line else ["#C aborted"]
    with open(os.path.join(work, "spectra.dat"), "w") as f:
        f.write("\n".join(text) + "\n")
    out = e2e_util.run(binary, work, ["spectra.dat"], stdin=b"(i1,4,n)sp.h5\nq\n").stdout
    check(b" scan 100.1: 1 spectrum(s) after the last data line left out\n" in out, out[-400:])
    with h5py.File(os.path.join(work, "sp.h5"), "r") as f:
        # The root as a group: this h5py takes a File's order from the file's creation
        # properties, which HDF5 1.10 does not read back.
        check(list(f["/"]) == ["10.1", "9.1", "100.1", "2.1"], "groups %s" % list(f["/"]))
        check(list(f["9.1/measurement"]) == ["a", "b", "c", "mca_0", "mca_1"],
              "members %s" % list(f["9.1/measurement"]))
        for num, header, points in SPECTRA:
            g = f["%d.1" % num]
            rows = [sp for line, sp in points if line]
            for n in range(max(len(sp) for sp in rows)):
                mca = g["instrument/mca_%d" % n]
                data = mca["data"]
                check(g["measurement/mca_%d/data" % n] == data, "%d mca_%d linked" % (num, n))
                width = max(len(sp[n][1]) for sp in rows if len(sp) > n)
                floats = any("." in v for sp in rows if len(sp) > n for v in sp[n][1])
                want = numpy.full((len(rows), width), numpy.nan if floats else -1,
                                  dtype="<f8" if floats else "<i8")
                for r, sp in enumerate(rows):
                    if len(sp) > n:
                        want[r, :len(sp[n][1])] = [(float if floats else int)(v)
                                                   for v in sp[n][1]]
                got = numpy.asarray(data[()], dtype=want.dtype)
                check(got.tobytes() == want.tobytes(), "%d mca_%d:\n%s\n%s" % (num, n, got, want))
                check(data.dtype.kind == ("f" if floats else "i"), "%d type %s" % (num, data.dtype))
                check(data.chunks == (1, width) and data.attrs["interpretation"] == "spectrum",
                      "%d chunks %s" % (num, data.chunks))
        calib = f["10.1/instrument/mca_0"]
        check(list(calib["channels"][()]) == list(range(100, 120)), "channels")
        check(list(f["9.1/instrument/mca_0/channels"][()]) == [0, 2, 4, 6, 8], "reduction")
        check(list(f["9.1/instrument/mca_1/calibration"][()]) == [0, 1, 0.5], "calibration")
        check([calib[k][()] for k in ("preset_time", "live_time", "elapsed_time")] ==
              [1, 0.9, 1.0], "times")
        check(f["10.1/instrument/mca_0/data"].dtype == "<i4", "seven digits in 32 bits")
        check(f["2.1/instrument/mca_0/data"].dtype == "<i8", "fifteen digits in 64 bits")


def main():
    a = e2e_util.parse_args()
    work = tempfile.mkdtemp(prefix="kurvatab-hdf5-")
    try:
        text, rows_of = ["#F mixed.dat", ""], []
        for k, (num, labels, rows, every) in enumerate(SCANS):
            text += ["#S %d  scan %d" % (num, k), "#N %d" % len(labels), "#L " + "  ".join(labels)]
            rows_of.append([[value(k, c, r) for c in range(len(labels))] for r in range(rows)])
            for r, row in enumerate(rows_of[-1]):
                text += ["#C note %d" % r] if every and r and r % every == 0 else []
                text.append(" ".join(row))
        with open(os.path.join(work, "mixed.dat"), "w") as f:
            f.write("\n".join(text) + "\n")
        out = e2e_util.run(a.binary, work, ["mixed.dat"], stdin=b"(i1,7,n)all.h5\nq\n").stdout
        check(b" HDF5 file 'all.h5': 7 scan(s) written\n" in out, "loop message: %r" % out[-300:])
        with h5py.File(os.path.join(work, "all.h5"), "r") as f:
            check(sorted(f) == GROUPS, "groups %s" % sorted(f))
            for g, (num, labels, rows, _), data in zip(GROUPS, SCANS, rows_of):
                names = [n.replace("/", "_") for n in labels]
                meas = f[g]["measurement"]
                check(sorted(meas) == sorted(names), "%s columns %s" % (g, sorted(meas)))
                for c, n in enumerate(names):
                    want = numpy.array([float(row[c]) for row in data], dtype="<f8")
                    got = numpy.asarray(meas[n][()], dtype="<f8")
                    check(got.tobytes() == want.tobytes(), "%s/%s" % (g, n))

        check_spectra(a.binary, work)

        shutil.copy(os.path.join(a.source, "tests/e2e/data/demo.dat"), work)
        e2e_util.run(a.binary, work, ["demo.dat"], stdin=b"N\nn\nq\n", check=True)
        dump = subprocess.run(["h5dump", os.path.join(work, "demo.dat.h5")],
                              stdout=subprocess.PIPE, check=True).stdout.decode()
        dump = dump.replace(os.path.realpath(work), "TMP").replace(work, "TMP")
        dump = re.sub(r'(ATTRIBUTE "(file_time|creator_version|HDF5_Version)" \{.*?DATA \{\n\s*'
                      r'\(0\): )"[^"]*"', r'\1"VARIES"', dump, flags=re.S)
        expected = os.path.join(a.source, "tests/e2e/data/demo.dat.h5.dump")
        with open(expected) as f:
            check(f.read() == dump, "h5dump differs from %s:\n%s" % (expected, dump))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return e2e_util.report()


if __name__ == "__main__":
    sys.exit(main())
