#!/usr/bin/env python3
"""y chosen by label in a loop over mixed scan types (Detector is column 5 of an
ascan, 6 of an a2scan; a timescan has none): each scan's own Detector is written,
the scan without one is said and counted."""
import os
import sys
import tempfile

import e2e_util as e

MIXED = (
    "#F mixed.dat\n\n"
    "#S 1  ascan  th 10 11  2 1\n#N 5\n#L Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 100 1 1000 5\n10.5 101 1 1000 7\n11 102 1 1000 9\n\n"
    "#S 2  a2scan  th 10 11  tth 20 22  2 1\n#N 6\n"
    "#L Theta  Two Theta  Epoch  Seconds  Monitor  Detector\n"
    "10 20 103 1 2000 50\n10.5 21 104 1 2000 70\n11 22 105 1 2000 90\n\n"
    "#S 3  timescan\n#N 4\n#L Epoch  Seconds  Monitor  Diode\n106 1 1000 3\n107 1 1000 4\n\n"
    "#S 4  ascan  th 10 11  1 1\n#N 5\n#L Theta Epoch Seconds Monitor Detector\n"
    "10 108 1 500 15\n11 109 1 500 17\n")


def rows(*points):
    return "".join("%15.5f %15.7g %15.7g\n" % p for p in points).encode()


def main():
    a = e.parse_args()
    with tempfile.TemporaryDirectory(prefix="kurvatab-labels-") as work:
        with open(os.path.join(work, "mixed.dat"), "w") as f:
            f.write(MIXED)
        p = e.run(a.binary, work, ["mixed.dat"], b"#\ny Detector\n(1,4,w)\nq\n")
        e.check(p.returncode == 0 and p.stderr == b"", "status %d, %r" % (p.returncode, p.stderr))
        want = {"scan001.001": rows((10, 5, 1000), (10.5, 7, 1000), (11, 9, 1000)),
                "scan002.002": rows((10, 50, 2000), (10.5, 70, 2000), (11, 90, 2000)),
                "scan004.004": rows((10, 15, 500), (11, 17, 500)),  # single blanks
                "scan003.003": None}
        for name, text in want.items():
            path = os.path.join(work, name)
            got = open(path, "rb").read() if os.path.exists(path) else None
            e.check(got == text, "%s: %r, expected %r" % (name, got, text))
        said = (b" writing data for (i=2, s=2) on 'scan002.002'\n scan 3 (i=3) has no label"
                b' "Detector"; its labels are "Epoch" "Seconds" "Monitor" "Diode"\n'
                b" writing data on ''\n writing data for (i=4, s=4) on 'scan004.004'\n"
                b" 1 scan(s) skipped: a chosen label is missing or ambiguous there\n")
        e.check(said in p.stdout, "the skipped scan said and counted:\n%s" % p.stdout.decode())
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
