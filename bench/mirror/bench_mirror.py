#!/usr/bin/env python3
"""Mirroring benchmark: kestrow-cli clone against rsync -a --delete, cp -a and
(when installed) rclone sync, on the same synthetic trees in the same run.

Every tool runs under bench_peak, which gives its wall time and the peak memory
of all its processes together (rsync is three processes). Each scenario also
runs its floor, the least work any tool could do:
  scans (no-change, churn)    bench_floor walk: getdents64 + fstatat of both trees
  copies                      cp -R --reflink=never, keeping modes and times
  comparisons by contents     bench_floor read: every file of both trees read
                              once through CRC-32
and the table gives each tool's median time, its ratio to rsync and to the
floor, and its peak memory (the largest of its rounds).

Scenarios (--scenarios, comma-separated; default small,compare,three,large):
  small    --files files (default 100,000) of 0-16 KiB in files/50 folders up
           to five levels deep: initial mirror into an empty Target; re-run
           with no change; re-run after 1% changed, 1% added, 1% deleted; the
           same churn with old versions kept (kestrow --versions against
           kestrow without and rsync --backup --backup-dir)
  compare  the same set: comparison by contents and by CRC-32, nothing changed
  three    one Source, three Targets (the same set): initial mirror and
           no-change re-run; rsync and cp run once per Target (times added)
  large    --large-count files (default 8) of --large-mib MiB (default 512):
           initial mirror; contents and CRC-32 comparisons; one file changed
Use --files 1000000 for the million-file set (best on an --ext4 image: two
copies of it take 16 GB).

Run it on tmpfs or a loop-mounted ext4 image, not on the root file system
(default folder: /dev/shm/kestrow-bench-mirror; --ext4 MiB builds and mounts an
ext4 image of that size in the folder, which needs root). Caches are warm: the
Source (and for comparisons the Target) is read before each scenario, and
`sync` runs before every timed command.

usage: bench_mirror.py --bin BUILD/bin [--files N] [--rounds 3] [--dir DIR]
                       [--scenarios small,compare,three,large] [--large-mib 512]
                       [--large-count 8] [--ext4 MIB] [--keep]
"""
import argparse
import os
import platform
import random
import shutil
import statistics
import subprocess
import sys
import tempfile


# ---------------------------------------------------------------------------
# Trees

def make_tree(root, files, folders_target, seed=1):
    """files of 0-16 KiB spread over folders_target folders up to five levels deep."""
    rng = random.Random(seed)
    folders = [root]
    while len(folders) < folders_target:
        parent = rng.choice(folders)
        if parent.count(os.sep) - root.count(os.sep) >= 5:
            continue
        folders.append(os.path.join(parent, "d%05d" % len(folders)))
    for f in folders:
        os.makedirs(f, exist_ok=True)
    paths = []
    noise = os.urandom(1 << 20)
    for i in range(files):
        path = os.path.join(folders[i % len(folders)], "f%06d.dat" % i)
        size = rng.randint(0, 16384)
        start = rng.randint(0, len(noise) - 16385)
        with open(path, "wb") as out:
            # Different bytes in every file, cheap to make.
            out.write((i.to_bytes(8, "little") + noise[start:start + size])[:size])
        paths.append(path)
    return paths


def make_large(root, count, mib, seed=3):
    os.makedirs(root, exist_ok=True)
    rng = random.Random(seed)
    paths = []
    block = os.urandom(1 << 20)
    for i in range(count):
        path = os.path.join(root, "large%02d.bin" % i)
        with open(path, "wb") as out:
            for k in range(mib):
                out.write(rng.randbytes(16) + block[16:])
        paths.append(path)
    return paths


class Churn:
    """1% of the Source changed, 1% added, 1% deleted; `restore` puts a Target
    mirrored before the churn back as it was, so every round starts alike."""

    def __init__(self, src, paths, stash, seed=2):
        rng = random.Random(seed)
        n = max(1, len(paths) // 100)
        picks = rng.sample(paths, 2 * n)
        self.src = src
        self.stash = stash
        self.changed = [os.path.relpath(p, src) for p in picks[:n]]
        self.deleted = [os.path.relpath(p, src) for p in picks[n:]]
        self.added = []
        for rel in self.changed + self.deleted:
            keep = os.path.join(stash, rel)
            os.makedirs(os.path.dirname(keep), exist_ok=True)
            shutil.copy2(os.path.join(src, rel), keep)
        for rel in self.changed:
            p = os.path.join(src, rel)
            with open(p, "ab") as out:
                out.write(b"changed")
            st = os.stat(p)
            os.utime(p, ns=(st.st_atime_ns, st.st_mtime_ns + 5_000_000_000))
        for rel in self.deleted:
            os.remove(os.path.join(src, rel))
        for i in range(n):
            rel = os.path.join(os.path.dirname(os.path.relpath(rng.choice(paths), src)), "new%06d.dat" % i)
            with open(os.path.join(src, rel), "wb") as out:
                out.write(rng.randbytes(rng.randint(0, 16384)))
            self.added.append(rel)

    def restore(self, dst):
        for rel in self.changed + self.deleted:
            target = os.path.join(dst, rel)
            if os.path.lexists(target):
                os.remove(target)
            shutil.copy2(os.path.join(self.stash, rel), target)
        for rel in self.added:
            target = os.path.join(dst, rel)
            if os.path.lexists(target):
                os.remove(target)


def warm(*roots):
    for root in roots:
        for dirpath, _, names in os.walk(root):
            for n in names:
                p = os.path.join(dirpath, n)
                if os.path.isfile(p) and not os.path.islink(p):
                    with open(p, "rb") as f:
                        while f.read(1 << 20):
                            pass


def remove(path):
    if os.path.lexists(path):
        subprocess.run(["rm", "-rf", path], check=True)


def clone_tree(src, dst):
    remove(dst)
    subprocess.run(["cp", "-a", "-T", src, dst], check=True)


# ---------------------------------------------------------------------------
# Running

class Runner:
    def __init__(self, peak, rounds, workdir):
        self.peak = peak
        self.rounds = rounds
        self.out = os.path.join(workdir, "peak.out")

    def once(self, cmd):
        """(seconds, peak KiB of all processes together, CPU seconds) of one command."""
        subprocess.run(["sync"], check=True)
        proc = subprocess.run([self.peak, "-o", self.out, "--"] + cmd, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
        with open(self.out) as f:
            seconds, kib, code, cpu = f.read().split()
        if int(code) != 0:
            sys.exit("command failed (%s): %s\n%s" % (code, " ".join(cmd),
                                                       proc.stderr.decode(errors="replace")[-2000:]))
        return float(seconds), int(kib), float(cpu)

    def measure(self, tools, prepare):
        """Per tool: median time, largest peak and median CPU time over the rounds.
        The tools take turns round by round, so a change in the machine's load
        falls on all of them alike. A tool's commands (one per Target) run one
        after the other: times add, peaks do not."""
        samples = {name: [] for name, _ in tools}
        for _ in range(self.rounds):
            for name, cmds in tools:
                prepare()
                total, peak, cpu = 0.0, 0, 0.0
                for cmd in cmds:
                    t, kib, c = self.once(cmd)
                    total += t
                    peak = max(peak, kib)
                    cpu += c
                samples[name].append((total, peak, cpu))
        return [(name, statistics.median(s[0] for s in samples[name]), max(s[1] for s in samples[name]),
                 statistics.median(s[2] for s in samples[name])) for name, _ in tools]


def describe_machine(folder):
    cpu = platform.processor()
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    fs = subprocess.run(["findmnt", "-n", "-o", "FSTYPE,SOURCE", "-T", folder], capture_output=True,
                        text=True).stdout.strip()
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    return "%s, %d cores, %.0f GiB, Linux %s; %s on %s" % (cpu, os.cpu_count(), mem, platform.release(),
                                                           folder, fs)


def tool_versions(tools):
    out = []
    for name, cmd in tools:
        if shutil.which(cmd):
            first = subprocess.run([cmd, "--version"], capture_output=True, text=True).stdout.splitlines()
            out.append(first[0].strip() if first else name)
    return "; ".join(out)


# ---------------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin", required=True, help="folder holding kestrow-cli, bench_peak, bench_floor")
    ap.add_argument("--files", type=int, default=100000)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--dir", default="/dev/shm/kestrow-bench-mirror")
    ap.add_argument("--scenarios", default="small,compare,three,large")
    ap.add_argument("--large-mib", type=int, default=512)
    ap.add_argument("--large-count", type=int, default=8)
    ap.add_argument("--ext4", type=int, default=0, metavar="MIB",
                    help="run on an ext4 image of this size made in --dir (root only)")
    ap.add_argument("--keep", action="store_true", help="leave the trees behind")
    a = ap.parse_args()
    chosen = set(a.scenarios.split(","))

    cli = os.path.join(a.bin, "kestrow-cli")
    floor = os.path.join(a.bin, "bench_floor")
    runner_tool = os.path.join(a.bin, "bench_peak")
    for p in (cli, floor, runner_tool):
        if not os.access(p, os.X_OK):
            sys.exit("missing %s: build kestrow-cli, bench_floor and bench_peak first" % p)
    have_rclone = shutil.which("rclone") is not None

    os.makedirs(a.dir, exist_ok=True)
    image = mount = None
    base = os.path.join(a.dir, "work")
    if a.ext4:
        image = os.path.join(a.dir, "ext4.img")
        mount = tempfile.mkdtemp(prefix="kestrow-bench-ext4-")
        subprocess.run(["truncate", "-s", "%dM" % a.ext4, image], check=True)
        # One inode per 8 KiB: the default (16 KiB) runs out before two copies of the million-file set.
        subprocess.run(["mkfs.ext4", "-q", "-F", "-i", "8192", image], check=True)
        subprocess.run(["mount", "-o", "loop", image, mount], check=True)
        base = os.path.join(mount, "work")
    remove(base)
    home = os.path.join(base, "home")
    os.makedirs(home)
    os.environ["KESTROW_HOME"] = home
    os.environ["XDG_DATA_HOME"] = os.path.join(home, "xdg-data")
    runner = Runner(runner_tool, a.rounds, base)
    rows = []  # (scenario, tool, seconds, peak KiB, CPU seconds); the tool "floor" is the floor

    def kestrow(src, *dsts, compare=None, versions=False):
        cmd = [cli, "clone", "--quiet", "--delete", "regular", "--copy", "regular", "--no-skip-hidden",
               "--no-skip-system", "--no-ignore-2s", "--no-ignore-dst"]
        if compare:
            cmd += ["--compare", compare]
        cmd += ["--versions", "--keep-versions-days", "0"] if versions else ["--no-versions"]
        return [cmd + [src] + list(dsts)]

    def rsync(src, *dsts, checksum=False):
        extra = ["--checksum"] if checksum else []
        return [["rsync", "-a", "--delete"] + extra + [src + "/", d + "/"] for d in dsts]

    def rclone(src, *dsts, checksum=False):
        extra = ["--checksum"] if checksum else []
        return [["rclone", "sync"] + extra + [src, d] for d in dsts]

    def cp(src, *dsts):
        return [["cp", "-a", "-T", src, d] for d in dsts]

    def cp_never(src, *dsts):
        return [["cp", "-R", "--reflink=never", "--preserve=mode,timestamps", "-T", src, d] for d in dsts]

    def copy_floor(src, *dsts):
        return [[floor, "copy", src] + list(dsts)]

    def run_scenario(name, tools, prepare):
        for tool, seconds, kib, cpu in runner.measure(tools, prepare):
            rows.append((name, tool, seconds, kib, cpu))
            print("  %-34s %-8s %8.3f s %9d KiB %8.3f s CPU" % (name, tool, seconds, kib, cpu),
                  file=sys.stderr)

    def empty(*dsts):
        def prepare():
            for d in dsts:
                remove(d)
                os.makedirs(d)
        return prepare

    def nothing():
        pass

    def file_set(label, src, paths, folders):
        dst = os.path.join(base, label + "-dst")
        print("%s: %d files in %d folders" % (label, len(paths), folders), file=sys.stderr)
        warm(src)
        run_scenario(label + " initial mirror",
                     [("kestrow", kestrow(src, dst)), ("rsync", rsync(src, dst)), ("cp -a", cp(src, dst))] +
                     ([("rclone", rclone(src, dst))] if have_rclone else []) +
                     [("cp-never", cp_never(src, dst)), ("floor", copy_floor(src, dst))], empty(dst))
        clone_tree(src, dst)
        run_scenario(label + " no-change re-run",
                     [("kestrow", kestrow(src, dst)), ("rsync", rsync(src, dst))] +
                     ([("rclone", rclone(src, dst))] if have_rclone else []) +
                     [("floor", [[floor, "walk", src, dst]])], nothing)
        return dst

    def compare_scenarios(label, src, dst):
        warm(src, dst)
        for method in ("contents", "crc32"):
            run_scenario("%s %s, no change" % (label, method),
                         [("kestrow", kestrow(src, dst, compare=method)),
                          ("rsync", rsync(src, dst, checksum=True))] +
                         ([("rclone", rclone(src, dst, checksum=True))] if have_rclone else []) +
                         [("floor", [[floor, "read", src, dst]])], nothing)

    if chosen & {"small", "compare", "three"}:
        src = os.path.join(base, "files-src")
        folders = max(1, a.files // 50)
        print("building %d files in %s ..." % (a.files, src), file=sys.stderr)
        paths = make_tree(src, a.files, folders)
        label = "%dk" % (a.files // 1000) if a.files % 1000 == 0 else str(a.files)
        dst = os.path.join(base, label + "-dst")
        if "small" in chosen:
            file_set(label, src, paths, folders)
        if "compare" in chosen:
            if not os.path.exists(dst):
                clone_tree(src, dst)
            compare_scenarios(label, src, dst)
        if "three" in chosen:
            dsts = [os.path.join(base, "three-dst%d" % i) for i in range(3)]
            warm(src)
            run_scenario(label + " three Targets, initial",
                         [("kestrow", kestrow(src, *dsts)), ("rsync", rsync(src, *dsts)), ("cp -a", cp(src, *dsts))] +
                         ([("rclone", rclone(src, *dsts))] if have_rclone else []) +
                         [("cp-never", cp_never(src, *dsts)), ("floor", copy_floor(src, *dsts))],
                         empty(*dsts))
            for d in dsts:
                clone_tree(src, d)
            run_scenario(label + " three Targets, no change",
                         [("kestrow", kestrow(src, *dsts)), ("rsync", rsync(src, *dsts))] +
                         ([("rclone", rclone(src, *dsts))] if have_rclone else []) +
                         [("floor", [[floor, "walk", src] + dsts])], nothing)
            for d in dsts:
                remove(d)
        if "small" in chosen:
            churn = Churn(src, paths, os.path.join(base, "churn-stash"))
            warm(src)
            run_scenario(label + " 1% changed/added/deleted",
                         [("kestrow", kestrow(src, dst)), ("rsync", rsync(src, dst))] +
                         ([("rclone", rclone(src, dst))] if have_rclone else []) +
                         [("floor", [[floor, "walk", src, dst]])], lambda: churn.restore(dst))
            # The same churn with what it replaces and deletes kept: renames into the
            # Target's moment folder, against rsync moving them to a backup folder.
            backup = os.path.join(base, "rsync-backup")

            def restore_without_versions():
                churn.restore(dst)
                remove(os.path.join(dst, ".kestrow-versions"))
                remove(backup)
            run_scenario(label + " 1% churn, old versions kept",
                         [("kestrow", kestrow(src, dst)), ("kestrow+v", kestrow(src, dst, versions=True)),
                          ("rsync+b", [["rsync", "-a", "--delete", "--backup", "--backup-dir=" + backup,
                                        src + "/", dst + "/"]]),
                          ("floor", [[floor, "walk", src, dst]])], restore_without_versions)
        remove(dst)
        remove(src)

    if "large" in chosen:
        src = os.path.join(base, "large-src")
        dst = os.path.join(base, "large-dst")
        label = "%dx%d MiB" % (a.large_count, a.large_mib)
        print("building %s in %s ..." % (label, src), file=sys.stderr)
        paths = make_large(src, a.large_count, a.large_mib)
        warm(src)
        run_scenario(label + " initial mirror",
                     [("kestrow", kestrow(src, dst)), ("rsync", rsync(src, dst)), ("cp -a", cp(src, dst))] +
                     ([("rclone", rclone(src, dst))] if have_rclone else []) +
                     [("cp-never", cp_never(src, dst)), ("floor", copy_floor(src, dst))], empty(dst))
        clone_tree(src, dst)
        compare_scenarios(label, src, dst)
        # One file changed: its old copy in the Target is put back before each round.
        changed = paths[0]
        old = os.path.join(base, "large-old.bin")
        shutil.copy2(changed, old)
        with open(changed, "r+b") as f:
            f.seek(os.path.getsize(changed) // 2)
            f.write(b"changed")
        st = os.stat(changed)
        os.utime(changed, ns=(st.st_atime_ns, st.st_mtime_ns + 5_000_000_000))
        target = os.path.join(dst, os.path.basename(changed))
        # The floor copies that one file: a folder holding a second name for it.
        one_src = os.path.join(base, "large-one-src")
        one_dst = os.path.join(base, "large-one-dst")
        os.makedirs(one_src)
        os.link(changed, os.path.join(one_src, os.path.basename(changed)))

        def put_back():
            shutil.copy2(old, target)
            remove(one_dst)
            os.makedirs(one_dst)

        warm(src)
        run_scenario(label + " one file changed",
                     [("kestrow", kestrow(src, dst)), ("rsync", rsync(src, dst))] +
                     ([("rclone", rclone(src, dst))] if have_rclone else []) +
                     [("cp-never", [["cp", "--reflink=never", "--preserve=mode,timestamps", changed,
                                     os.path.join(one_dst, "copy.bin")]]),
                      ("floor", [[floor, "copy", one_src, one_dst]])],
                     put_back)
        for p in (src, dst, old, one_src, one_dst):
            remove(p)

    # The table.
    print()
    print("Machine: " + describe_machine(base))
    print("Tools: " + tool_versions([("rsync", "rsync"), ("cp", "cp"), ("rclone", "rclone")]))
    print("Medians of %d rounds, the tools taking turns; peak memory: all processes of a tool together, "
          "largest round; CPU: user and system time of all its processes." % a.rounds)
    print()
    print("%-34s %-8s %9s %8s %8s %10s %8s" % ("scenario", "tool", "seconds", "x rsync", "x floor", "peak MiB",
                                                "CPU s"))
    scenarios = []
    for name, *_ in rows:
        if name not in scenarios:
            scenarios.append(name)
    for name in scenarios:
        these = [r for r in rows if r[0] == name]
        ref = next((r[2] for r in these if r[1].startswith("rsync")), 0)
        low = next((r[2] for r in these if r[1] == "floor"), 0)
        for _, tool, seconds, kib, cpu in these:
            print("%-34s %-8s %9.3f %8s %8s %10.1f %8.2f" % (
                name, tool, seconds, "%.2f" % (seconds / ref) if ref else "-",
                "%.2f" % (seconds / low) if low else "-", kib / 1024, cpu))
    print()
    print("floor: scans = bench_floor walk of both trees (one thread); copies = bench_floor copy (one thread:")
    print("  copy_file_range, mode and last-write time); comparisons = bench_floor read (every file read once,")
    print("  CRC-32, one thread). cp-never = cp -R --reflink=never --preserve=mode,timestamps.")

    if not a.keep:
        remove(base)
    if mount:
        subprocess.run(["umount", mount], check=True)
        os.rmdir(mount)
        os.remove(image)


if __name__ == "__main__":
    main()
