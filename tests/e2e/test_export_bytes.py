#!/usr/bin/env python3
"""The bytes of the w and W exports of a generated file that holds, in every
column, the number forms a scan file may hold (signs, negative zero, long
mantissas, rounding boundaries, huge, tiny and subnormal values, overflow,
hexadecimal, inf and nan, exponents without digits) among tabs, CR LF, numbers
joined by a sign and text after the numbers. Each written file must equal the
one stored in export_bytes/ byte for byte (--update stores them anew)."""
import os
import shutil
import sys
import tempfile

import e2e_util

TOKENS = """
0 1 -1 +1 7 42 -42 0.5 .5 -.5 +.5 5. -5. 123.456 -123.456 0000123 0.000001 1000000 12345678.9
99999.999995 999999.5 1234567.85 0.99999995 9.9999995 1.000005 2.675 0.125 0.375 1.5 2.5 -2.5
0.05 4.5 0.45 100 1e0 0.1 0.2 0.3 65535 -0.001 3.14159 1013.25 0.0078125 2147483647 4294967296
-0 -0.0 +0.0 -0.000 -.0
1E1 1e-5 1e+5 -2.5e-3 1.5E-3 6.02214076e23 1e22 1e23 9.999999999999999e22 5e-5 1e-7 7.0e+002
9007199254740992 9007199254740993 9007199254740995 18014398509481985 12345678901234567890
123456789012345678901234567890 0.1000000000000000055511151231257827021181583404541015625
0.30000000000000004 3.141592653589793238462643383279 2.718281828459045
1.00000000000000011102230246251565 0.000000000000000000000000000000001234567890123456789
1.5e300 1e308 1.7976931348623157e308 1.7976931348623159e308 1e309 -1e400 8.98846567431158e307
2.2250738585072014e-308 2.2250738585072011e-308 4.9406564584124654e-324 5e-324 2e-324 3e-324
1e-400 -1e-320
0x10 0x1p-3 0X1.8P3 0x.8p1 -0x1.fffffffffffffp1023 0x1p-1074 0x1.0000000000001p0 0xAbC 0x1P+4
-0x0p0
inf -inf +inf INF Infinity -Infinity nan -nan NaN NAN +nan
1e 2.5E 3e+ 4e-
""".split()
SEPARATORS = [" ", "  ", "\t", " \t ", "   "]


def number_line(i):
    parts = [TOKENS[(i * (2 * k + 1) + 17 * k) % len(TOKENS)] for k in range(5)]
    out = ("  " if i % 7 == 0 else "") + parts[0]
    for k in range(1, 5):
        joined = i % 5 == 1 and parts[k][0] in "+-" and not parts[k - 1].endswith(tuple("eE+-pP"))
        out += ("" if joined else SEPARATORS[(i + k) % 5]) + parts[k]  # "1.5-2": two columns
    out += " trailing words 9 9" if i % 11 == 3 else ""
    return out + ("\r\n" if i % 13 == 5 else "\n")


def scan_file():
    s = "#F numforms.dat\n#C generated: number forms for the export bytes test\n\n"
    s += "#S 1  number forms\n#N 5\n#L a  b  c  d  e\n"
    for i in range(2 * len(TOKENS)):
        s += number_line(i) + ("#C comment among the data\n" if i == 40 else "")
    s += "\n#S 2  monitors and short lines\n#L x  y  mon\n"
    s += ("1 100 4\n2 0 4\n3 0.5 0.5\n4 4 1\n5 1 0.999999\n6 -9 2\n7 16 -3\n8 nan 5\n9 25 nan\n"
          "10 inf inf\n11 2 1e-300\n12 1e300 1e-10\n")
    s += "#C y and the monitor missing\n13\n14 7\n15,3,4\n16 2 abc 4\n17 1.5-2 3\nx 1 2\n18 1 1\n"
    return s + "\n#S 3  column count from #N\n#N 4\n#L a  b  c\n1 2 3\n4 5 6\n\n"


# (output name, commands before it); settings carry over, "#" turns comments
# on and off. A loop at the end writes each scan to its generated name.
STEPS = [
    ("s1_w", "s 1\nx 1\ny 2\nz 3\n"), ("s1_w_e", "E\n"), ("s1_w_en", "N\n#\n"), ("s1_w_n", "E\n"),
    ("s1_w_cols", "E\nx -5\ny -4\nz -1\n"), ("s2_w", "s 2\nx 1\ny 2\nz 3\n#\n"), ("s2_w_en", "#\n"),
    ("s1_W_default", "s 1\n"),
    ("s1_W_gef", "F%g %G %e %E %f\\n\nC 1 2 3 4 5\n"),
    ("s1_W_prec", "F%.17g %.0f %.0e %#.3g %+.10e\\n\n"),
    ("s1_W_hex", "F%a %A %15.7lg %-15.5lf| %015.3f\\n\nC 5 4 3 2 1\n"),
    ("s1_W_flags", "F% .3f %+g %.30g %10.0g %-+12.4E\\n\n"),
    ("s1_W_wide", "F%F %.1f %.2e %.25f %5.1g\\n\nC -1 -2 -3 -4 -5\n"),
    ("s1_W_long", "F%.40e|%.60g|%#.0f|%#.0e|% 08.2f\\n\nC 3 4 5 1 2\n"),
    ("s1_W_g", "F%.1g %.2g %.6g %.15g %.16g\\n\nC 2 3 4 5 1\n"),
    ("s1_W_lit", "F[%%] %12.5lf %15.7lg end\\n\nC 1 2\n"),
    ("s2_W", "s 2\nF%8.4lf %8.4lf\\n\nC 1 -1\n"), ("s3_W", "s 3\nC 1 -1\n")]
LOOP_FILES = ["scan001.001", "scan002.002", "scan003.003"]


def commands():
    s = "".join("%s%s %s\n" % (before, "W" if "_W" in name else "w", name)
                for name, before in STEPS)
    return s + "#\n(i1,3,w)\nq\n"


def main():
    a = e2e_util.parse_args(lambda ap: ap.add_argument("--update", action="store_true"))
    expected_dir = os.path.join(a.source, "tests", "e2e", "export_bytes")
    work = tempfile.mkdtemp(prefix="kurvatab-bytes-")
    try:
        with open(os.path.join(work, "numforms.dat"), "w", newline="") as f:
            f.write(scan_file())
        p = e2e_util.run(a.binary, work, ["numforms.dat"], stdin=commands().encode())
        e2e_util.check(p.returncode == 0, "exit status %d: %r" % (p.returncode, p.stderr))
        for name in [n for n, _ in STEPS] + LOOP_FILES:
            got_path, want_path = os.path.join(work, name), os.path.join(expected_dir, name)
            if not os.path.exists(got_path):
                e2e_util.check(False, "%s was not written" % name)
                continue
            if a.update:
                shutil.copy(got_path, want_path)
                continue
            with open(got_path, "rb") as f, open(want_path, "rb") as g:
                gl, wl = f.read().splitlines(True), g.read().splitlines(True)
            k = next((j for j, (x, y) in enumerate(zip(gl, wl)) if x != y), min(len(gl), len(wl)))
            e2e_util.check(gl == wl, "%s differs at line %d:\n got  %r\n want %r" % (
                name, k + 1, gl[k] if k < len(gl) else b"(end)", wl[k] if k < len(wl) else b"(end)"))
        return e2e_util.report()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
