#!/usr/bin/env python3
"""Times velmora-run against rsync -a --delete (and cp -a for large files) on generated trees.

Trees are generated reproducibly from a seed. Each measurement alternates the two tools and
reports medians and the ratio Velmora / peer. See README.md for how to run it.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import time


def generate_small_tree(root, seed, files, folders):
    rng = random.Random(seed)
    dirs = []
    for i in range(folders):
        depth_parent = dirs[rng.randrange(len(dirs))] if dirs and rng.random() < 0.7 else root
        d = os.path.join(depth_parent, f"dir{i:05d}")
        dirs.append(d)
    for d in dirs:
        os.makedirs(d, exist_ok=True)
    for i in range(files):
        d = dirs[i % len(dirs)]
        size = min(int(rng.expovariate(1 / 4096)), 256 * 1024)
        with open(os.path.join(d, f"file{i:06d}.dat"), "wb") as f:
            f.write(rng.randbytes(size))
        # even seconds, well inside the 1980-2107 range of the file-system stamp
        stamp = 1500000000 + rng.randrange(0, 100000000, 2)
        os.utime(os.path.join(d, f"file{i:06d}.dat"), (stamp, stamp))


def generate_large_files(root, seed, count, total_bytes):
    rng = random.Random(seed)
    os.makedirs(root, exist_ok=True)
    each = total_bytes // count
    chunk = 16 * 1024 * 1024
    for i in range(count):
        with open(os.path.join(root, f"large{i}.bin"), "wb") as f:
            left = each
            while left > 0:
                n = min(chunk, left)
                f.write(rng.randbytes(n))
                left -= n


def all_files(root):
    out = []
    for dirpath, _, names in os.walk(root):
        out.extend(os.path.join(dirpath, n) for n in names)
    out.sort()
    return out


def change_and_delete(root, seed, fraction):
    rng = random.Random(seed)
    files = all_files(root)
    picked = rng.sample(files, max(1, int(len(files) * fraction * 2)))
    half = len(picked) // 2
    for path in picked[:half]:
        with open(path, "ab") as f:
            f.write(b"changed")
    for path in picked[half:]:
        os.remove(path)


def timed(command):
    # Nothing written before may still be on its way to the disk: a run flushes its file system
    # when it ends, and would otherwise pay for what the other tool (or anyone) left unwritten.
    os.sync()
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        raise SystemExit(f"{command[0]} failed ({result.returncode}): {result.stderr.decode()}")
    return elapsed


def write_project(path, item, drive):
    with open(path, "wb") as f:
        f.write(
            (
                "vlmproject=ok\r\ndestdrive=" + drive + ":\r\ndestkind=HD\r\nconfirm=N\r\n"
                "precalc=N\r\nlongnames=N\r\nsync=N\r\nitem1=" + item + "\r\n"
            ).encode()
        )


class Bench:
    def __init__(self, runner, work):
        self.runner = runner
        self.work = work
        self.prog = os.path.join(work, "prog")
        self.data = os.path.join(work, "data")
        for d in (self.prog, self.data):
            os.makedirs(d, exist_ok=True)
        self.fresh_destinations("start")
        self.rows = []

    def fresh_destinations(self, tag):
        # Every first copy goes to folders that never held anything. Creating many files right
        # after many were deleted is slow on ext4 (it passes over recently freed inodes), and
        # that cost would fall on whichever tool happens to run first after a deletion.
        self.vdest = os.path.join(self.work, "vdest-" + tag)
        self.rdest = os.path.join(self.work, "rdest-" + tag)
        for d in (self.vdest, self.rdest):
            os.makedirs(d, exist_ok=True)
        with open(os.path.join(self.prog, "drives.ini"), "w") as f:
            f.write(f"[Drives]\r\ns={self.data}\r\nv={self.vdest}\r\n")
        os.sync()

    def velmora(self, name):
        project = os.path.join(self.prog, name + ".vlm")
        write_project(project, "s:\\" + name, "v")
        return timed([self.runner, project, "--log-level", "none", "--program-folder", self.prog])

    def rsync(self, name):
        return timed(["rsync", "-a", "--delete", os.path.join(self.data, name) + "/",
                      os.path.join(self.rdest, name) + "/"])

    def cp(self, name):
        target = os.path.join(self.rdest, name)
        shutil.rmtree(target, ignore_errors=True)
        return timed(["cp", "-a", os.path.join(self.data, name), target])

    def record(self, label, ours, peer, peer_name):
        mo, mp = statistics.median(ours), statistics.median(peer)
        self.rows.append((label, mo, mp, peer_name, mo / mp))
        print(f"{label:<34} velmora {mo:8.3f} s   {peer_name} {mp:8.3f} s   ratio {mo / mp:5.2f}",
              flush=True)

    @staticmethod
    def alternate(reps, ours_run, peer_run, before=None):
        # The two tools take turns going first, so that neither always finds a warm cache.
        ours, peer = [], []
        for i in range(reps):
            if before:
                before(i)
            if i % 2 == 0:
                ours.append(ours_run())
                peer.append(peer_run())
            else:
                peer.append(peer_run())
                ours.append(ours_run())
        return ours, peer

    def small(self, seed, reps, fraction):
        ours_run, peer_run = (lambda: self.velmora("small")), (lambda: self.rsync("small"))
        ours, peer = self.alternate(reps, ours_run, peer_run,
                                    lambda i: self.fresh_destinations(f"small{i}"))
        self.record("small files, first full copy", ours, peer, "rsync")
        ours, peer = self.alternate(reps, ours_run, peer_run)
        self.record("small files, nothing changed", ours, peer, "rsync")
        ours, peer = self.alternate(
            reps, ours_run, peer_run,
            lambda i: change_and_delete(os.path.join(self.data, "small"), seed + 1000 + i,
                                        fraction))
        self.record("small files, 1% changed + 1% deleted", ours, peer, "rsync")

    def cp_flushed(self, name):
        # cp -a, then the same one flush of the destination's file system that a run makes
        # before it reports its result.
        elapsed = self.cp(name)
        return elapsed + timed(["sync", "-f", os.path.join(self.rdest, name)])

    def large(self, reps):
        ours, peer = self.alternate(reps, lambda: self.velmora("large"), lambda: self.cp("large"),
                                    lambda i: self.fresh_destinations(f"large{i}"))
        flushed = []
        for i in range(reps):
            self.fresh_destinations(f"large{i}-flushed")
            flushed.append(self.cp_flushed("large"))
        self.record("large files, first copy", ours, peer, "cp -a")
        self.record("large files, first copy (both flushed)", ours, flushed, "cp -a + sync -f")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--work", default="/tmp/velmora-bench")
    parser.add_argument("--seed", type=int, default=20261207)
    parser.add_argument("--scale", type=float, default=1.0,
                        help="1.0: 100,000 small files in 2,000 folders and 1 GiB of large files")
    parser.add_argument("--reps", type=int, default=3)
    args = parser.parse_args()

    shutil.rmtree(args.work, ignore_errors=True)
    bench = Bench(os.path.abspath(args.runner), args.work)
    files = max(100, int(100000 * args.scale))
    folders = max(10, int(2000 * args.scale))
    large_bytes = max(16 << 20, int((1 << 30) * args.scale))
    print(f"generating {files} small files in {folders} folders and {large_bytes >> 20} MiB of "
          f"large files (seed {args.seed})", flush=True)
    generate_small_tree(os.path.join(bench.data, "small"), args.seed, files, folders)
    generate_large_files(os.path.join(bench.data, "large"), args.seed, 4, large_bytes)
    bench.small(args.seed, args.reps, 0.01)
    bench.large(args.reps)
    shutil.rmtree(args.work, ignore_errors=True)


if __name__ == "__main__":
    main()
