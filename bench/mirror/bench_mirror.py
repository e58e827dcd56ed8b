#!/usr/bin/env python3
"""Mirroring benchmark: kestrow-cli clone against rsync -a --delete and cp -a.

Builds a synthetic Source tree, then for each scenario prepares the same Target
for every tool, runs it (warm cache, after sync), and prints one table: median
time, ratio to rsync, and peak RSS of each tool. Run it on tmpfs or a
loop-mounted ext4 image (default folder: /dev/shm/kestrow-bench-mirror).

usage: bench_mirror.py --cli BUILD/bin/kestrow-cli [--files 100000] [--rounds 3] [--dir DIR]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time


def make_tree(root, files, folders_target, seed=1):
    rng = random.Random(seed)
    folders = [root]
    # Folders up to five levels deep, about files/50 of them.
    while len(folders) < folders_target:
        parent = rng.choice(folders)
        if parent.count(os.sep) - root.count(os.sep) >= 5:
            continue
        path = os.path.join(parent, "d%05d" % len(folders))
        folders.append(path)
    for f in folders:
        os.makedirs(f, exist_ok=True)
    paths = []
    for i in range(files):
        folder = folders[i % len(folders)]
        path = os.path.join(folder, "f%06d.dat" % i)
        with open(path, "wb") as out:
            out.write(rng.randbytes(rng.randint(0, 16384)))
        paths.append(path)
    return paths


def change_tree(root, paths, seed=2):
    """1% changed, 1% added, 1% deleted."""
    rng = random.Random(seed)
    n = max(1, len(paths) // 100)
    picks = rng.sample(paths, 2 * n)
    for p in picks[:n]:
        with open(p, "ab") as out:
            out.write(b"changed")
        st = os.stat(p)
        os.utime(p, ns=(st.st_atime_ns, st.st_mtime_ns + 5_000_000_000))
    for p in picks[n:]:
        os.remove(p)
    for i in range(n):
        p = os.path.join(os.path.dirname(rng.choice(paths)), "new%06d.dat" % i)
        with open(p, "wb") as out:
            out.write(rng.randbytes(rng.randint(0, 16384)))


def run(cmd):
    """Runs cmd, returns (seconds, peak RSS in KiB)."""
    subprocess.run(["sync"], check=True)
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit("command failed (%d): %s\n%s" % (code, " ".join(cmd), err))
    return elapsed, usage.ru_maxrss


def warm(root):
    for dirpath, _, names in os.walk(root):
        for n in names:
            with open(os.path.join(dirpath, n), "rb") as f:
                while f.read(1 << 20):
                    pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--files", type=int, default=100000)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--dir", default="/dev/shm/kestrow-bench-mirror")
    a = ap.parse_args()

    base = a.dir
    shutil.rmtree(base, ignore_errors=True)
    src, pristine, dst, home = (os.path.join(base, x) for x in ("src", "pristine", "dst", "home"))
    os.makedirs(home)
    os.environ["KESTROW_HOME"] = home
    print("building %d files in %s ..." % (a.files, src), file=sys.stderr)
    paths = make_tree(src, a.files, max(1, a.files // 50))

    cli = [a.cli, "clone", "--quiet", "--delete", "regular", "--copy", "regular", "--no-skip-hidden"]
    tools = {
        "kestrow": lambda s, d: cli + [s, d],
        "rsync": lambda s, d: ["rsync", "-a", "--delete", s + "/", d + "/"],
        "cp": lambda s, d: ["cp", "-a", "--reflink=never", "-T", s, d],
    }

    def prepare(target_state):
        shutil.rmtree(dst, ignore_errors=True)
        if target_state == "empty":
            os.makedirs(dst)
        else:
            subprocess.run(["cp", "-a", "-T", target_state, dst], check=True)

    scenarios = []
    # Initial mirror into an empty Target.
    scenarios.append(("initial mirror", "empty"))
    subprocess.run(["cp", "-a", "-T", src, pristine], check=True)
    scenarios.append(("no-change re-run", pristine))

    results = {}
    for name, state in scenarios:
        warm(src)
        for tool, cmd in tools.items():
            times, rss = [], []
            for _ in range(a.rounds):
                prepare(state)
                t, r = run(cmd(src, dst))
                times.append(t)
                rss.append(r)
            results[(name, tool)] = (statistics.median(times), max(rss))

    change_tree(src, paths)
    warm(src)
    name = "1% changed/added/deleted"
    for tool, cmd in tools.items():
        times, rss = [], []
        for _ in range(a.rounds):
            prepare(pristine)
            t, r = run(cmd(src, dst))
            times.append(t)
            rss.append(r)
        results[(name, tool)] = (statistics.median(times), max(rss))
    scenarios.append((name, pristine))

    print("%d files, medians of %d runs, %s" % (a.files, a.rounds, base))
    print("%-28s %-8s %9s %9s %10s" % ("scenario", "tool", "seconds", "x rsync", "peak RSS"))
    for name, _ in scenarios:
        ref = results[(name, "rsync")][0]
        for tool in tools:
            t, r = results[(name, tool)]
            print("%-28s %-8s %9.3f %9.2f %8d KiB" % (name, tool, t, t / ref if ref else 0, r))
    shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    main()
