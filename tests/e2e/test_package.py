#!/usr/bin/env python3
"""Builds the Debian package, unpacks it into a temporary root and runs the
installed program on the installed example file.

The package must declare Grace and the readline run-time library as
dependencies and install the program, the man page, the HTML manual with its
picture and the example file under /usr.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import e2e_util

FAILURES = []


def check(cond, what):
    if not cond:
        FAILURES.append(what)
        sys.stderr.write("FAIL: %s\n" % what)


def main():
    a = e2e_util.parse_args()
    build = os.path.dirname(os.path.abspath(a.binary))
    config = os.path.join(build, "CPackConfig.cmake")
    if not (shutil.which("cpack") and shutil.which("dpkg-deb") and os.path.exists(config)):
        print("skipped: cpack, dpkg-deb or %s missing" % config)
        return
    tmp = tempfile.mkdtemp(prefix="kurvatab-package-")
    try:
        p = subprocess.run(["cpack", "-G", "DEB", "--config", config, "-B", tmp],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
        debs = [n for n in os.listdir(tmp) if n.endswith(".deb")]
        if p.returncode != 0 or len(debs) != 1:
            sys.stderr.write(p.stdout.decode(errors="replace"))
            sys.exit("FAIL: cpack made no package")
        deb = os.path.join(tmp, debs[0])

        info = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Depends"],
                              stdout=subprocess.PIPE, check=True).stdout.decode()
        check("Package: kurvatab" in info, "package name: %s" % info)
        check("grace" in info and "libreadline8" in info, "dependencies declared: %s" % info)

        root = os.path.join(tmp, "root")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        prog = os.path.join(root, "usr/bin/kurvatab")
        docs = os.path.join(root, "usr/share/doc/kurvatab")
        for path in (prog, os.path.join(root, "usr/share/man/man1/kurvatab.1"),
                     os.path.join(docs, "kurvatab.html"), os.path.join(docs, "plot.png"),
                     os.path.join(docs, "examples/sample.dat")):
            check(os.path.isfile(path), "installed: %s" % os.path.relpath(path, root))
        check(os.access(prog, os.X_OK), "installed program is executable")

        ldd = subprocess.run(["ldd", prog], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        check(b"not found" not in ldd.stdout and b"libreadline" in ldd.stdout,
              "installed program finds its libraries: %r" % ldd.stdout)

        # Run it the way a user would, from an empty folder.
        work = os.path.join(tmp, "work")
        os.mkdir(work)
        env = dict(os.environ, HOME=work, PATH=os.path.dirname(prog) + ":" + os.environ["PATH"])
        env.pop("DISPLAY", None)
        example = os.path.join(docs, "examples/sample.dat")
        run = subprocess.run(["kurvatab", example], cwd=work, env=env, input=b"p 1\nq\n",
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        out = run.stdout.decode(errors="replace")
        check(run.returncode == 0, "installed program exits with 0 (got %d)" % run.returncode)
        check(run.stderr == b"", "nothing on stderr: %r" % run.stderr[:300])
        check("current file is : %s with 12 entries" % example in out,
              "installed example indexed: %s" % out[:500])
        check("10.0000 100.0 1 989 5" in out, "p 1 lists the first scan")
        check(os.path.isfile(os.path.join(work, "kurvatab.ini")), "kurvatab.ini written")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    if FAILURES:
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
