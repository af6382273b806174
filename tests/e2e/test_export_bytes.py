#!/usr/bin/env python3
"""The bytes of the w and W exports of export_bytes/numforms.dat (every number form
in every column; monitors below 1, short lines) equal the stored files exactly.
"""
import os
import shutil
import sys
import tempfile

import e2e_util

# (output name, commands before it); settings carry over, "#" turns comments
# on and off. A loop at the end writes each scan to its generated name.
STEPS = [
    ("s1_w", "s 1\nx 1\ny 2\nz 3\n"), ("s1_w_e", "E\n"), ("s1_w_en", "N\n#\n"), ("s1_w_n", "E\n"),
    ("s1_w_cols", "E\nx -5\ny -4\nz -1\n"), ("s2_w", "s 2\nx 1\ny 2\nz 3\n#\n"), ("s2_w_en", "#\n"),
    ("s1_W_default", "s 1\n"), ("s1_W_gef", "F%g %G %e %E %f\\n\nC 1 2 3 4 5\n"),
    ("s1_W_prec", "F%.17g %.0f %.0e %#.3g %+.10e\\n\n"),
    ("s1_W_hex", "F%a %A %15.7lg %-15.5lf| %015.3f\\n\nC 5 4 3 2 1\n"),
    ("s1_W_flags", "F% .3f %+g %.30g %10.0g %-+12.4E\\n\n"),
    ("s1_W_wide", "F%F %.1f %.2e %.25f %5.1g\\n\nC -1 -2 -3 -4 -5\n"),
    ("s1_W_long", "F%.40e|%.60g|%#.0f|%#.0e|% 08.2f\\n\nC 3 4 5 1 2\n"),
    ("s1_W_g", "F%.1g %.2g %.6g %.15g %.16g\\n\nC 2 3 4 5 1\n"),
    ("s1_W_lit", "F[%%] %12.5lf %15.7lg end\\n\nC 1 2\n"),
    ("s2_W", "s 2\nF%8.4lf %8.4lf\\n\nC 1 -1\n"), ("s3_W", "s 3\nC 1 -1\n")]
LOOP_FILES = ["scan001.001", "scan002.002", "scan003.003"]


def main():
    a = e2e_util.parse_args()
    stored = os.path.join(a.source, "tests", "e2e", "export_bytes")
    work = tempfile.mkdtemp(prefix="kurvatab-bytes-")
    try:
        shutil.copy(os.path.join(stored, "numforms.dat"), work)
        commands = "".join("%s%s %s\n" % (before, "W" if "_W" in name else "w", name)
                           for name, before in STEPS) + "#\n(i1,3,w)\nq\n"
        p = e2e_util.run(a.binary, work, ["numforms.dat"], stdin=commands.encode())
        e2e_util.check(p.returncode == 0, "exit status %d: %r" % (p.returncode, p.stderr))
        for name in [n for n, _ in STEPS] + LOOP_FILES:
            got_path = os.path.join(work, name)
            with open(os.path.join(stored, name), "rb") as g:
                wl = g.read().splitlines(True)
            gl = open(got_path, "rb").read().splitlines(True) if os.path.exists(got_path) else []
            k = next((j for j, (x, y) in enumerate(zip(gl, wl)) if x != y), min(len(gl), len(wl)))
            e2e_util.check(gl == wl, "%s differs at line %d: got %r, want %r" % (
                name, k + 1, gl[k:k + 1], wl[k:k + 1]))
        return e2e_util.report()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
