#!/usr/bin/env python3
"""The Debian package: it declares Grace and readline, installs the program,
the manuals and the example under /usr, and the program runs from there."""
import os
import shutil
import subprocess
import sys
import tempfile

import e2e_util as e


def main():
    a = e.parse_args()
    config = os.path.join(os.path.dirname(a.binary), "CPackConfig.cmake")
    if not (shutil.which("cpack") and shutil.which("dpkg-deb") and os.path.exists(config)):
        print("skipped: cpack, dpkg-deb or %s missing" % config)
        return 0
    with tempfile.TemporaryDirectory(prefix="kurvatab-package-") as tmp:
        p = subprocess.run(["cpack", "-G", "DEB", "--config", config, "-B", tmp],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
        debs = [n for n in os.listdir(tmp) if n.endswith(".deb")]
        if p.returncode != 0 or len(debs) != 1:
            print(p.stdout.decode(errors="replace"))
            return 1
        deb = os.path.join(tmp, debs[0])
        info = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Depends"],
                              stdout=subprocess.PIPE, check=True).stdout.decode()
        e.check("Package: kurvatab" in info and "grace" in info and "libreadline8" in info,
                "package fields: %s" % info)
        root = os.path.join(tmp, "root")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        docs = os.path.join(root, "usr/share/doc/kurvatab")
        for path in ("usr/bin/kurvatab", "usr/share/man/man1/kurvatab.1", docs + "/kurvatab.html",
                     docs + "/plot.png", docs + "/COPYING", docs + "/examples/sample.dat"):
            e.check(os.path.isfile(os.path.join(root, path)), "not installed: %s" % path)
        work = os.path.join(tmp, "work")  # run as a user would, from an empty folder
        os.mkdir(work)
        example = os.path.join(docs, "examples/sample.dat")
        run = e.run(os.path.join(root, "usr/bin/kurvatab"), work, [example], b"p 1\nq\n")
        out = run.stdout.decode(errors="replace")
        e.check(run.returncode == 0 and run.stderr == b"", "status %d" % run.returncode)
        e.check("current file is : %s with 12 entries" % example in out
                and "10.0000 100.0 1 989 5" in out, "installed example: %s" % out[:500])
    return e.report()


if __name__ == "__main__":
    sys.exit(main())
