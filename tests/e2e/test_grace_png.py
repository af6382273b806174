#!/usr/bin/env python3
"""Plots a scan of the example file in the real xmgrace under xvfb-run, has
Grace print it to a PNG file through the h command, and checks that the file
is a PNG with a drawn curve. With --keep PATH the picture is also copied there
(docs/plot.png is made this way).

Also checks that the temporary plot file is gone after the program ends.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def png_complete(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return False
    return data.startswith(b"\x89PNG\r\n\x1a\n") and b"IEND" in data[-12:]


def decode_png(data):
    """Returns (width, height, rows) with rows[y][x] = (r, g, b). 8-bit only."""
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        fail("not a PNG file")
    pos, idat, palette, hdr = 8, b"", None, None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            hdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    width, height, depth, ctype, _, _, interlace = hdr
    if depth != 8 or interlace != 0:
        fail("unexpected PNG layout: depth %d interlace %d" % (depth, interlace))
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        ftype = raw[i]
        line = bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = prev[x]
            c = prev[x - channels] if x >= channels else 0
            if ftype == 1:
                line[x] = (line[x] + a) & 255
            elif ftype == 2:
                line[x] = (line[x] + b) & 255
            elif ftype == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[x] = (line[x] + pred) & 255
        prev = line
        if ctype == 3:
            rows.append([palette[v] for v in line])
        elif ctype in (0, 4):
            rows.append([(line[x], line[x], line[x]) for x in range(0, stride, channels)])
        else:
            rows.append([tuple(line[x:x + 3]) for x in range(0, stride, channels)])
    return width, height, rows


def check_curve(path):
    with open(path, "rb") as f:
        width, height, rows = decode_png(f.read())
    if width < 200 or height < 200:
        fail("picture too small: %dx%d" % (width, height))
    dark = sum(1 for row in rows for px in row if sum(px) < 600)
    if dark < 2000:
        fail("only %d drawn pixels: no graph" % dark)
    # The example scan is a peak: in the middle of the graph it crosses most
    # rows, where a bare frame, the title or the legend would not.
    x0, x1 = int(width * 0.35), int(width * 0.65)
    y0, y1 = int(height * 0.30), int(height * 0.70)
    crossed = sum(1 for y in range(y0, y1) if any(sum(px) < 600 for px in rows[y][x0:x1]))
    if crossed < (y1 - y0) * 0.6:
        fail("no curve across the graph: %d of %d rows drawn" % (crossed, y1 - y0))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--binary", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--keep")
    a = ap.parse_args()
    for tool in ("xvfb-run", "xmgrace"):
        if not shutil.which(tool):
            fail("%s is needed (apt-get install grace xvfb xauth)" % tool)

    work = tempfile.mkdtemp(prefix="kurvatab-grace-")
    try:
        shutil.copy(os.path.join(a.source, "examples", "sample.dat"), work)
        tmp = os.path.join(work, "tmp")
        os.mkdir(tmp)
        png = os.path.join(work, "plot.png")
        env = dict(os.environ, HOME=work, TMPDIR=tmp)
        env.pop("DISPLAY", None)
        # The program runs as "kurvatab" so its initialization file stays here.
        launcher = "import os, sys; os.execv(sys.argv[1], ['kurvatab', 'sample.dat'])"
        p = subprocess.Popen(
            ["xvfb-run", "-a", sys.executable, "-c", launcher, os.path.abspath(a.binary)],
            cwd=work, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE)
        p.stdin.write(('v 1\nHHARDCOPY DEVICE "PNG"; PRINT TO "%s"\nh\n' % png).encode())
        p.stdin.flush()
        deadline = time.time() + 90
        while not png_complete(png) and time.time() < deadline and p.poll() is None:
            time.sleep(0.2)
        try:
            out, err = p.communicate(input=b"q\n", timeout=60)
        except BrokenPipeError:
            out, err = p.communicate(timeout=60)
        if p.returncode != 0:
            fail("exit status %d\n%s%s" % (p.returncode, out.decode(), err.decode()))
        if b"Starting xmgrace, please wait!\n" not in out:
            fail("Grace was not started:\n" + out.decode())
        if b"Can't run Grace." in err:
            fail("Grace could not be run:\n" + err.decode())
        if not png_complete(png):
            fail("Grace printed no PNG file\n" + err.decode())
        check_curve(png)
        left = os.listdir(tmp)
        if left:
            fail("temporary files left behind: %s" % left)
        if a.keep:
            shutil.copy(png, a.keep)
        print("ok")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
