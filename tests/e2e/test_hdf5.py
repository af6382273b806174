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
