#!/usr/bin/env python3
"""The bad-input matrix: hostile or broken scan files, commands, settings and
streams. Each case states what the user must see (the message, the index
table) and that nothing is lost; the program must end normally every time.
"""
import os
import re
import resource
import subprocess
import sys
import tempfile
import e2e_util

failures = []


def run(binary, files=None, args=(), cmd=b"", env=None, preexec=None, dirs=()):
    """Runs kurvatab in a fresh folder; returns (stdout, stderr, status, folder)."""
    work = tempfile.mkdtemp(prefix="kurvatab-bad-")
    for d in dirs:
        os.mkdir(os.path.join(work, d))
    for name, content in (files or {}).items():
        with open(os.path.join(work, name), "wb") as f:
            f.write(content)
    e = dict(os.environ, HOME=work)
    e.pop("DISPLAY", None)
    for k, v in (env or {}).items():
        if v is None:
            e.pop(k, None)
        else:
            e[k] = v
    p = subprocess.run(["kurvatab"] + list(args), executable=binary, cwd=work, env=e,
                       input=None if preexec else cmd, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, timeout=300, preexec_fn=preexec)
    return p.stdout, p.stderr, p.returncode, work


def expect(case, cond, detail):
    if not cond:
        failures.append("%s: %s" % (case, detail))


def expect_in(case, want, got):
    expect(case, want in got, "missing %r in\n%r" % (want, got[-3000:]))


def after_prompt(out, n, name):
    """The output of the n-th command (1-based): between the n-th prompt and
    the next one, for the scan file `name` (prompts have no newline)."""
    prompt = re.escape(name) + rb"(?: \(i=-?\d+(?:, s=-?\d+)?\))? >"
    parts = re.split(prompt, out)
    return parts[n] if n < len(parts) else b""


def closing(name, n):
    return b"\n current file is : %s with %d entries\n" % (name, n)


def table_row(k, scan, lines, ncol, lpos, txt=None):
    row = b" %4d  Scan %4d  Lines %4d N %3d (%d)" % (k, scan, lines, ncol, lpos)
    return row + (b" " + txt if txt is not None else b"\n")


# --- scan files that are not what they should be ---------------------------

def case_directory(b):
    out, err, rc, _ = run(b, args=["adir"], cmd=b"p\nq\n", dirs=["adir"])
    expect_in("directory", b" file adir can't be read: Is a directory\n", out)
    expect_in("directory", closing(b"NO FILE", 0), out)
    expect_in("directory", b"NO FILE > -1 is not a valid index\n", out)
    expect("directory", rc == 0 and err == b"", "status %d, stderr %r" % (rc, err))


def case_binary(b):
    data = bytes(range(256)) * 64 + b"\n#S 5 after binary\n\x01\x02\n7 8\n\xff\xfe\n"
    out, err, rc, _ = run(b, {"bin.dat": data}, ["bin.dat"], b"t\np\nq\n")
    # The line after the header is the first data line; only "7 8" counts.
    expect("binary", after_prompt(out, 1, b'bin.dat') == table_row(1, 5, 1, 0, 66, b"after binary\n"),
           "table %r" % after_prompt(out, 1, b'bin.dat'))
    # The listing runs from the first data line until its one counted line.
    expect("binary", after_prompt(out, 2, b'bin.dat') == b"\x01\x02\n7 8\n", "listing %r" % after_prompt(out, 2, b'bin.dat'))
    expect("binary", rc == 0 and err == b"", "status %d" % rc)


def case_nul_lines(b):
    data = b"#S 1 a\n1 2\n\x00junk 9\n3 4\n#S 2 b\n5 \x00 6\n7 8\n"
    out, err, rc, _ = run(b, {"nul.dat": data}, ["nul.dat"], b"t\np 1\nc 2\np 2\nw -\nq\n")
    # A NUL line ends scan 1's data; a NUL inside a line ends its numbers.
    expect("nul", after_prompt(out, 1, b'nul.dat') == table_row(1, 1, 1, 0, 1, b"a\n")
           + table_row(2, 2, 2, 0, 5, b"b\n"), "table %r" % after_prompt(out, 1, b'nul.dat'))
    expect("nul", after_prompt(out, 2, b'nul.dat') == b"1 2\n", "p 1 %r" % after_prompt(out, 2, b'nul.dat'))
    # Scan 2's comments start at the NUL line, which is listed as it stands.
    expect("nul", after_prompt(out, 3, b'nul.dat') == b"\x00junk 9\n#S 2 b\n", "c 2 %r" % after_prompt(out, 3, b'nul.dat'))
    expect("nul", after_prompt(out, 4, b'nul.dat') == b"5 \x00 6\n7 8\n", "p 2 %r" % after_prompt(out, 4, b'nul.dat'))
    w = after_prompt(out, 5, b'nul.dat')
    expect_in("nul", b"#S 2 b\n#\n#kurvatab extracted columns 1, -1 -2\n", w)
    # Column count 1 from "5 \0 6": y and the monitor are column 1 too.
    expect_in("nul", b"        5.00000               5               5\n", w)
    expect("nul", rc == 0 and err == b"", "status %d" % rc)


def case_all_nul(b):
    out, err, rc, _ = run(b, {"zero.dat": b"\x00" * (1 << 20)}, ["zero.dat"], b"t\nq\n")
    expect_in("all NUL", closing(b"zero.dat", 0), out)
    expect("all NUL", after_prompt(out, 1, b'zero.dat') == b"", "table %r" % after_prompt(out, 1, b'zero.dat'))
    expect("all NUL", rc == 0 and err == b"", "status %d" % rc)


def case_huge_line(b):
    # A 100 MB data line, written in pieces so that the forked child does not
    # start out holding it.
    work = tempfile.mkdtemp(prefix="kurvatab-big-")
    with open(os.path.join(work, "big.dat"), "wb") as f:
        f.write(b"#S 1 big\n1 2 ")
        for _ in range(50):
            f.write(b"3 " * (1 << 20))
        f.write(b"\n5 6\n#S 2 next\n7 8\n")
    out, err, rc, _ = run(b, args=[os.path.join(work, "big.dat")], cmd=b"t\np 1\nq\n")
    rss_mb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024
    name = os.path.join(work, "big.dat").encode()
    expect("100 MB line", after_prompt(out, 1, name) == table_row(1, 1, 2, 0, 1, b"big\n")
           + table_row(2, 2, 1, 0, 4, b"next\n"), "table %r" % after_prompt(out, 1, name)[:300])
    # The listing copies the whole line, nothing cut.
    listing = after_prompt(out, 2, name)
    big = b"1 2 " + b"3 " * (50 << 20) + b"\n"
    expect("100 MB line", listing == big + b"5 6\n", "listing of %d bytes" % len(listing))
    # Memory stays far below the line's size (not measured under the
    # sanitizers, which keep freed memory for a while).
    with open(b, "rb") as f:
        sanitized = b"__asan_init" in f.read()
    expect("100 MB line", sanitized or rss_mb < 60, "max RSS %d MB" % rss_mb)
    expect("100 MB line", rc == 0 and err == b"", "status %d" % rc)


def case_no_line_feed(b):
    out, _, rc, _ = run(b, {"a.dat": b"#S 1 a 1 2 3"}, ["a.dat"], b"t\nq\n")
    expect("no line feed", after_prompt(out, 1, b'a.dat') == table_row(1, 1, 0, 0, 1),
           "table %r" % after_prompt(out, 1, b'a.dat'))
    out, _, rc, _ = run(b, {"a.dat": b"#S 3 x\n1 2"}, ["a.dat"], b"t\np\nw -\nq\n")
    expect("no line feed", after_prompt(out, 1, b'a.dat') == table_row(1, 3, 1, 0, 1, b"x\n"),
           "table %r" % after_prompt(out, 1, b'a.dat'))
    expect("no line feed", after_prompt(out, 2, b'a.dat') == b"1 2", "listing %r" % after_prompt(out, 2, b'a.dat'))
    expect_in("no line feed", b"        1.00000               2               1\n",
              after_prompt(out, 3, b'a.dat'))


def case_crlf(b):
    data = b"#S 1 crlf\r\n#N 2\r\n1 2\r\n3 4\r\n"
    out, _, rc, _ = run(b, {"c.dat": data}, ["c.dat"], b"t\nW -\nq\n")
    expect("CRLF", after_prompt(out, 1, b'c.dat') == table_row(1, 1, 2, 2, 1, b"crlf\r\n"),
           "table %r" % after_prompt(out, 1, b'c.dat'))
    expect_in("CRLF", b"#S 1 crlf\r\n#N 2\r\n#\n#kurvatab extracted columns \"1 -1\"\n"
              b"  1.0000   2.0000\n  3.0000   4.0000\n", after_prompt(out, 2, b'c.dat'))


def case_scan_numbers(b):
    data = b"#S 99999999999 huge\n1\n#S -5 neg\n1\n#S\n#N abc\n1 2\n#S 4\n#N 2147483648\n1 2\n"
    out, _, rc, _ = run(b, {"n.dat": data}, ["n.dat"], b"t\ns 2147483647\ni 4\nw -\nq\n")
    # Numbers beyond an int are clamped; "-5" is not skipped as digits.
    expect("scan numbers", after_prompt(out, 1, b'n.dat') == table_row(1, 2147483647, 1, 0, 1, b"huge\n")
           + table_row(2, -5, 1, 0, 3, b"-5 neg\n") + table_row(3, 0, 1, 0, 5, b"\n")
           + table_row(4, 4, 1, 2147483647, 8, b"\n"), "table %r" % after_prompt(out, 1, b'n.dat'))
    expect("scan numbers", b"(i=1, s=2147483647)" in out, "s 2147483647 did not find scan 1")
    # Scan 4: the x column reads; y and the monitor count from a #N of
    # 2147483647, which the line lacks, and are written as nan.
    expect_in("scan numbers", b"        1.00000             nan             nan\n",
              after_prompt(out, 4, b'n.dat'))


# --- commands and settings at their limits ---------------------------------

def case_column_limits(b):
    cmd = b"x 2147483647\ny -2147483648\nz -2147483647\nx 2147483648\nw -\nq\n"
    out, _, rc, _ = run(b, args=["demo.dat"], cmd=cmd, files={"demo.dat": DEMO})
    msg = b" using columns x=2147483647 and y=-2147483648 for xmgr, z=-2147483647 as monitor\n"
    # A column the current scan does not have is said so when it is set.
    fit = b" z column -2147483647 is not in scan 2 (i=2), which has columns 1 to 3 (or -1 to -3)\n"
    expect("column limits", after_prompt(out, 3, b'demo.dat') == msg + fit and after_prompt(out, 4, b'demo.dat') == msg,
           "messages %r %r" % (after_prompt(out, 3, b'demo.dat'), after_prompt(out, 4, b'demo.dat')))
    # No line has column 2147483647: the export holds its header and no data,
    # and says where it stopped.
    w = after_prompt(out, 5, b'demo.dat')
    expect("column limits", w.endswith(b"#\n#  x    y    n   \n#\n writing data on 'stdout' stopped "
                                       b"at line 13 of demo.dat: 0 of 2 data lines written\n"),
           "export %r" % w)
    out, _, _, _ = run(b, args=["-X99999999999", "-Y-99999999999"], cmd=b"q\n")
    expect_in("column limits", b" setting is : x=2147483647, y=-2147483648 ", out)


def case_getnum_limits(b):
    cmd = b"i 2147483647\np -2147483648\np +2147483647\ni -2147483647\ns 2147483648\nq\n"
    out, _, rc, _ = run(b, args=["demo.dat"], cmd=cmd, files={"demo.dat": DEMO})
    expect("getnum limits", after_prompt(out, 1, b'demo.dat') == b" 2147483646 is not a valid index\n",
           "i %r" % after_prompt(out, 1, b'demo.dat'))
    # -2147483648 is beyond the range: the index stays; so does an overflowing +n.
    expect("getnum limits", after_prompt(out, 2, b'demo.dat') == b"-1 1000 3\n1 1000 4\n",
           "p %r" % after_prompt(out, 2, b'demo.dat'))
    expect("getnum limits", after_prompt(out, 3, b'demo.dat') == b"-1 1000 3\n1 1000 4\n",
           "p + %r" % after_prompt(out, 3, b'demo.dat'))
    # From index 2: 2 - 2147483647, 0-based one less.
    expect("getnum limits", after_prompt(out, 4, b'demo.dat') == b" -2147483646 is not a valid index\n",
           "i - %r" % after_prompt(out, 4, b'demo.dat'))
    expect_in("getnum limits", b"demo.dat (i=2, s=2) >", out)
    expect("getnum limits", rc == 0, "status %d" % rc)


def case_formats(b):
    refused = [(b"%s", b"%s"), (b"%n", b"%n"), (b"%*f", b"%*"), (b"%1$f", b"%1$")]
    for fmt, bad in refused:
        out, err, rc, _ = run(b, args=["demo.dat"], cmd=b"F" + fmt + b"\nW -\nq\n",
                              files={"demo.dat": DEMO})
        want = (b" printing failed ; conversion \"" + bad + b"\" not allowed in format \"" + fmt
                + b"\" (only %e %E %f %F %g %G %a %A and %%)\n")
        expect("format " + fmt.decode(), after_prompt(out, 2, b'demo.dat') == want,
               "%r" % after_prompt(out, 2, b'demo.dat'))
        expect("format " + fmt.decode(), rc == 0 and err == b"", "status %d" % rc)
    fmt = b"%f " * 21
    out, _, _, _ = run(b, args=["demo.dat"], cmd=b"F" + fmt + b"\nW -\nq\n",
                       files={"demo.dat": DEMO})
    expect("21 conversions", after_prompt(out, 2, b'demo.dat') ==
           b" printing failed ; more than 20 conversions in format \"" + fmt + b"\"\n",
           "%r" % after_prompt(out, 2, b'demo.dat'))


# --- outputs that cannot be written ----------------------------------------

def case_outputs(b):
    cmd = b"w nodir/out\nW nodir/out\nw /dev/full\n(1,2,p)nodir/x\n(1,2,p)/dev/full\nq\n"
    out, err, rc, work = run(b, args=["demo.dat"], cmd=cmd, files={"demo.dat": DEMO})
    expect_in("outputs", b" writing data for (i=2, s=2) on 'nodir/out'\n"
              b" unable to write data on 'nodir/out': No such file or directory\n",
              after_prompt(out, 1, b'demo.dat'))
    expect_in("outputs", b" unable to write data on 'nodir/out': No such file or directory\n",
              after_prompt(out, 2, b'demo.dat'))
    expect_in("outputs", b" error writing data on '/dev/full': No space left on device\n",
              after_prompt(out, 3, b'demo.dat'))
    expect_in("outputs", b" unable to write loop listings on 'nodir/x': No such file or "
              b"directory; loop abandoned\n", after_prompt(out, 4, b'demo.dat'))
    expect_in("outputs", b" unable to write loop listings on '/dev/full': No space left on "
              b"device\n", after_prompt(out, 5, b'demo.dat'))
    expect("outputs", not os.path.exists(os.path.join(work, "nodir")), "nodir was made")
    expect("outputs", rc == 0 and err == b"", "status %d, stderr %r" % (rc, err))


# --- the initialization file and the environment ---------------------------

def case_ini_garbage(b):
    ini = (b"\xff\xfe\x00garbage\n" + b"x 3\n" + b"H" + b"h" * (2 << 20) + b"\n"
           + b"\x00\n" + b"y 2")  # the last line has no line feed and is not taken
    out, err, rc, work = run(b, {"kurvatab.ini": ini}, cmd=b"q\n")
    expect_in("ini garbage", b"Using initialization file : kurvatab.ini\n"
              b" using columns x=3 and y=-1 for xmgr, z=-2 as monitor\n", out)
    expect_in("ini garbage", b" setting is : x=3, y=-1 ", out)
    expect("ini garbage", rc == 0 and err == b"", "status %d, stderr %r" % (rc, err[:200]))
    with open(os.path.join(work, "kurvatab.ini"), "rb") as f:
        written = f.read()
    expect_in("ini garbage", b"f NO FILE\nx 3\ny -1\n", written)


def case_home_unset(b):
    out, err, rc, _ = run(b, args=["~/demo.dat"], cmd=b"d ~\nq\n", env={"HOME": None},
                          files={"demo.dat": DEMO})
    expect_in("HOME unset", b" file ~/demo.dat not found\n", out)
    expect_in("HOME unset", closing(b"NO FILE", 0), out)
    expect_in("HOME unset", b"current working dir : ", after_prompt(out, 1, b'NO FILE'))
    expect("HOME unset", rc == 0 and err == b"", "status %d" % rc)


def case_stdin_closed(b):
    # End of input at once: the status, one prompt, and a normal end.
    out, err, rc, work = run(b, args=["demo.dat"], files={"demo.dat": DEMO})
    expect("stdin at end", out.endswith(b"demo.dat (i=2, s=2) >") and rc == 0 and err == b"",
           "status %d, end %r" % (rc, out[-60:]))
    # Standard input closed: the scan file must not be read as commands.
    out, err, rc, work = run(b, args=["demo.dat"], files={"demo.dat": DEMO},
                             preexec=lambda: os.close(0))
    expect("stdin closed", out.endswith(b"demo.dat (i=2, s=2) >") and rc == 0,
           "status %d, end %r" % (rc, out[-200:]))
    expect("stdin closed", b"turned" not in out, "a line of the scan file ran as a command")
    with open(os.path.join(work, "kurvatab.ini"), "rb") as f:
        expect_in("stdin closed", b"# 1\n", f.read())


DEMO = (b"#F demo\n\n#S 1  first scan\n#N 3\n#L x  mon  det\n0 1000 12\n1 1000 15\n"
        b"#D stopped\n\n#S 2  second scan\n#N 3\n#L x  mon  det\n-1 1000 3\n1 1000 4\n")


def main():
    a = e2e_util.parse_args()
    b = os.path.abspath(a.binary)
    for name, fn in sorted(globals().items()):
        if name.startswith("case_"):
            fn(b)
    return e2e_util.report(failures, "\n\n")


if __name__ == "__main__":
    sys.exit(main())
