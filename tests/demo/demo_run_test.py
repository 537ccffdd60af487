#!/usr/bin/python3
"""Runs the README's demo command the way a newcomer does and checks its work.

usage: demo_run_test.py SOURCE_DIR

Copies the tracked files of SOURCE_DIR (uncommitted edits included) into a
fresh folder, runs scripts/demo.sh there without a display, so it builds
tovra-cli in that copy's own build folder and uploads the demo pages to its
throw-away FTP server, then checks that the demo ended cleanly and that every
file of the demo site (each one is a page or used by one) arrived
byte-identical under its name. Names on disk are UTF-8; the demo's server
announces UTF8 and the demo site asks for the server's encoding, so every
remote name, those of the Shift-JIS pages included, is the local name itself
(the server keeps the bytes it was sent).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile


def tracked_files(source):
    """Relative paths of the tracked files; without git, every file outside
    build folders."""
    try:
        listed = subprocess.run(["git", "-C", source, "ls-files", "-z"], check=True,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        return [name for name in listed.decode("utf-8", "surrogateescape").split("\0") if name]
    except (OSError, subprocess.CalledProcessError):
        files = []
        for folder, dirs, names in os.walk(source):
            dirs[:] = [d for d in dirs if not d.startswith("build") and d != ".git"]
            files += [os.path.relpath(os.path.join(folder, n), source) for n in names]
        return files


def copy_tree(source, target):
    for rel in tracked_files(source):
        src = os.path.join(source, rel)
        if not os.path.lexists(src):
            continue  # deleted but not yet committed
        dst = os.path.join(target, rel)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy2(src, dst, follow_symlinks=False)


def demo_environment(copy):
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env["LC_ALL"] = "C.UTF-8"
    if shutil.which("ccache"):
        # A fresh configure takes the launcher from here; with the copy as
        # base folder, later runs reuse the objects of earlier ones.
        env["CMAKE_CXX_COMPILER_LAUNCHER"] = env["CMAKE_C_COMPILER_LAUNCHER"] = "ccache"
        env["CCACHE_BASEDIR"] = copy
        env["CCACHE_NOHASHDIR"] = "1"
    return env


def missing_or_different(site, remote):
    """The demo site's files that did not arrive whole, as messages."""
    problems = []
    for folder, _, names in os.walk(site.encode()):
        for name in names:
            local = os.path.join(folder, name)
            rel = os.path.relpath(local, site.encode())
            remote_path = os.path.join(remote.encode(), rel)
            shown = rel.decode("utf-8")
            if not os.path.isfile(remote_path):
                problems.append("not on the server: " + shown)
                continue
            with open(local, "rb") as a, open(remote_path, "rb") as b:
                if a.read() != b.read():
                    problems.append("arrived altered: " + shown)
    return problems


def main():
    source = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory(prefix="tovra-demo-test-") as copy:
        copy_tree(source, copy)
        run = subprocess.run([os.path.join(copy, "scripts", "demo.sh")], cwd=copy, env=demo_environment(copy),
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             timeout=1700)
        out = run.stdout.decode("utf-8", "replace")
        found = re.search(r"\(remote root (\S+)\)", out)
        work = os.path.dirname(found.group(1)) if found else None
        try:
            problems = []
            if run.returncode != 0:
                problems.append("scripts/demo.sh exited with %d" % run.returncode)
            if not found:
                problems.append("the demo named no remote root")
            else:
                problems += missing_or_different(os.path.join(copy, "demo", "site"), found.group(1))
        finally:
            if work and os.path.basename(work).startswith("tovra-demo-"):
                shutil.rmtree(work, ignore_errors=True)
    if problems:
        print(out[-6000:])
        print("\n".join(problems), file=sys.stderr)
        return 1
    print("demo ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
