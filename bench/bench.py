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


def drop_caches():
    """Empties the page, inode and folder caches; False where this process may not."""
    try:
        os.sync()
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


class Measure:
    """What one timed command took: seconds, and its peak resident memory in KiB (the largest of
    the process and the children it waited for, as /usr/bin/time %M reports it)."""

    def __init__(self, seconds, peak_kib):
        self.seconds = seconds
        self.peak_kib = peak_kib


PEAK_MEMORY = None  # the peak_memory program of bench/, set by main()


def timed(command, cold=False, limit=None):
    # Nothing written before may still be on its way to the disk: a run flushes its file system
    # when it ends, and would otherwise pay for what the other tool (or anyone) left unwritten.
    if cold:
        drop_caches()
    else:
        os.sync()
    peak_file = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"velmora-bench-peak-{os.getpid()}")
    start = time.perf_counter()
    bounded = ["timeout", str(limit)] if limit else []
    result = subprocess.run(bounded + [PEAK_MEMORY, peak_file] + command,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        raise SystemExit(f"{command[0]} failed ({result.returncode}): {result.stderr.decode()}")
    with open(peak_file) as f:
        peak_kib = int(f.read())
    os.remove(peak_file)
    return Measure(elapsed, peak_kib)


def load_average():
    one, five, fifteen = os.getloadavg()
    return f"load average {one:.2f}, {five:.2f}, {fifteen:.2f}"


def write_project(path, item, drive):
    with open(path, "wb") as f:
        f.write(
            (
                "vlmproject=ok\r\ndestdrive=" + drive + ":\r\ndestkind=HD\r\nconfirm=N\r\n"
                "precalc=N\r\nlongnames=N\r\nsync=N\r\nitem1=" + item + "\r\n"
            ).encode()
        )


def generate_wide_folder(root, seed, files):
    """One folder holding `files` small files: what a mail or photo folder looks like."""
    rng = random.Random(seed)
    os.makedirs(root, exist_ok=True)
    for i in range(files):
        path = os.path.join(root, f"wide{i:06d}.dat")
        with open(path, "wb") as f:
            f.write(rng.randbytes(rng.randrange(0, 512)))
        stamp = 1500000000 + rng.randrange(0, 100000000, 2)
        os.utime(path, (stamp, stamp))


class ExfatImage:
    """An exFAT image mounted through FUSE (exfat-fuse): what a USB stick formatted for every
    system is."""

    def __init__(self, work, megabytes):
        self.image = os.path.join(work, "exfat.img")
        self.mount = os.path.join(work, "exfat")
        os.makedirs(self.mount, exist_ok=True)
        subprocess.run(["truncate", "-s", f"{megabytes}M", self.image], check=True)
        subprocess.run(["mkfs.exfat", self.image], check=True, stdout=subprocess.DEVNULL)
        # exfat-fuse wants a block device.
        self.loop = subprocess.run(["losetup", "-f", "--show", self.image], check=True,
                                   capture_output=True, text=True).stdout.strip()
        subprocess.run(["mount.exfat-fuse", self.loop, self.mount], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        subprocess.run(["fusermount", "-u", self.mount])
        subprocess.run(["losetup", "-d", self.loop])
        os.remove(self.image)


class LoopbackSshfs:
    """A folder mounted over sshfs from an sshd of its own that listens on 127.0.0.1 only, with
    its own host key and a key made for this run: every call on the mount is a round trip."""

    def __init__(self, work, port=22977):
        keys = os.path.join(work, "ssh")
        self.remote = os.path.join(work, "sshfs-remote")
        self.mount = os.path.join(work, "sshfs")
        for d in (keys, self.remote, self.mount, "/run/sshd"):
            os.makedirs(d, exist_ok=True)
        for key in ("host", "user"):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f",
                            os.path.join(keys, key)], check=True)
        shutil.copy(os.path.join(keys, "user.pub"), os.path.join(keys, "authorized"))
        config = os.path.join(keys, "sshd_config")
        with open(config, "w") as f:
            f.write(f"Port {port}\nListenAddress 127.0.0.1\nHostKey {keys}/host\n"
                    f"AuthorizedKeysFile {keys}/authorized\nPasswordAuthentication no\n"
                    "KbdInteractiveAuthentication no\nPermitRootLogin prohibit-password\n"
                    "UsePAM no\nStrictModes no\nSubsystem sftp internal-sftp\n")
        self.sshd = subprocess.Popen(["/usr/sbin/sshd", "-D", "-f", config])
        time.sleep(1)
        subprocess.run(["timeout", "60", "sshfs", "-p", str(port), f"root@127.0.0.1:{self.remote}",
                        self.mount, "-o", f"IdentityFile={keys}/user,StrictHostKeyChecking=no,"
                        "UserKnownHostsFile=/dev/null,BatchMode=yes,LogLevel=ERROR"], check=True)

    def close(self):
        subprocess.run(["fusermount", "-u", self.mount])
        self.sshd.terminate()
        self.sshd.wait()


def median_of(measures, field="seconds"):
    return statistics.median(getattr(m, field) for m in measures)


class Bench:
    def __init__(self, runner, walker, work):
        self.runner = runner
        self.walker = walker
        self.work = work
        self.prog = os.path.join(work, "prog")
        self.data = os.path.join(work, "data")
        for d in (self.prog, self.data):
            os.makedirs(d, exist_ok=True)
        self.fresh_destinations("start")
        self.rows = []

    def fresh_destinations(self, tag, base=None):
        # Every first copy goes to folders that never held anything. Creating many files right
        # after many were deleted is slow on ext4 (it passes over recently freed inodes), and
        # that cost would fall on whichever tool happens to run first after a deletion.
        self.vdest = os.path.join(base or self.work, "vdest-" + tag)
        self.rdest = os.path.join(base or self.work, "rdest-" + tag)
        self.wdest = os.path.join(self.work, "wdest-" + tag)
        self.cdest = os.path.join(self.work, "cdest-" + tag)
        for d in (self.vdest, self.rdest, self.wdest, self.cdest):
            os.makedirs(d, exist_ok=True)
        with open(os.path.join(self.prog, "drives.ini"), "w") as f:
            f.write(f"[Drives]\r\ns={self.data}\r\nv={self.vdest}\r\n")
        os.sync()

    def velmora(self, name, cold=False, limit=None):
        project = os.path.join(self.prog, name + ".vlm")
        write_project(project, "s:\\" + name, "v")
        return timed([self.runner, project, "--log-level", "none", "--program-folder", self.prog],
                     cold, limit)

    def rsync(self, name, cold=False, options=("-a",), limit=None):
        return timed(["rsync", *options, "--delete", os.path.join(self.data, name) + "/",
                      os.path.join(self.rdest, name) + "/"], cold, limit)

    def walk(self, name, cold=False):
        return timed([self.walker, os.path.join(self.data, name), os.path.join(self.wdest, name)],
                     cold)

    def cp(self, name):
        target = os.path.join(self.cdest, name)
        shutil.rmtree(target, ignore_errors=True)
        return timed(["cp", "-a", os.path.join(self.data, name), target])

    def flushed(self, measure, folder):
        # The tool, then one flush of its destination's file system: a run of Velmora makes that
        # flush itself before it reports its result, so it finds little left to write.
        return Measure(measure.seconds + timed(["sync", "-f", folder]).seconds, measure.peak_kib)

    def record(self, label, results, targets=()):
        """results: [(tool, measures)], Velmora first. targets: [(peer, most ratio)]."""
        ours = median_of(results[0][1])
        print(f"{label}  ({load_average()})", flush=True)
        row = {"label": label, "tools": {}}
        for tool, measures in results:
            times = sorted(m.seconds for m in measures)
            peak = median_of(measures, "peak_kib") / 1024
            line = (f"    {tool:<16} median {median_of(measures):8.3f} s"
                    f"  (rounds {times[0]:.3f}-{times[-1]:.3f})  peak {peak:6.1f} MB")
            if tool != results[0][0]:
                ratio = ours / median_of(measures)
                line += f"   Velmora / {tool} {ratio:5.2f}"
                for peer, most in targets:
                    if peer == tool:
                        line += f"  target <= {most:.2f}: " + ("met" if ratio <= most else "missed")
            print(line, flush=True)
            row["tools"][tool] = measures
        self.rows.append(row)

    @staticmethod
    def alternate(reps, runs, before=None):
        # The tools take turns going first, so that none always finds the cache as another left
        # it. runs: [(tool, callable)]; the result keeps that order.
        results = [(tool, []) for tool, _ in runs]
        for i in range(reps):
            if before:
                before(i)
            for k in range(len(runs)):
                j = (i + k) % len(runs)
                results[j][1].append(runs[j][1]())
        return results

    def small(self, seed, reps, fraction, cold_allowed):
        name = "small"
        folder = lambda base: os.path.join(base, name)
        first = [
            ("velmora", lambda: self.flushed(self.velmora(name), self.vdest)),
            ("rsync", lambda: self.flushed(self.rsync(name), folder(self.rdest))),
            ("cp -a", lambda: self.flushed(self.cp(name), folder(self.cdest))),
            ("walker", lambda: self.flushed(self.walk(name), folder(self.wdest))),
        ]
        results = self.alternate(reps, first, lambda i: self.fresh_destinations(f"small{i}"))
        self.record("small files, first full copy, each followed by sync -f", results,
                    [("cp -a", 0.9)])
        warm = [("velmora", lambda: self.velmora(name)), ("rsync", lambda: self.rsync(name)),
                ("walker", lambda: self.walk(name))]
        self.record("small files, nothing changed", self.alternate(reps, warm),
                    [("rsync", 0.5), ("walker", 1.05)])
        if cold_allowed:
            cold = [("velmora", lambda: self.velmora(name, cold=True)),
                    ("rsync", lambda: self.rsync(name, cold=True)),
                    ("walker", lambda: self.walk(name, cold=True))]
            self.record("small files, nothing changed, cold cache", self.alternate(reps, cold),
                        [("rsync", 0.5)])
        else:
            print("small files, nothing changed, cold cache: not permitted here (dropping the "
                  "caches needs root), skipped", flush=True)
        # Each round changes the source once; every tool then brings its own mirror up to date.
        changed = self.alternate(
            reps, warm,
            lambda i: change_and_delete(folder(self.data), seed + 1000 + i, fraction))
        self.record("small files, 1% changed + 1% deleted", changed, [("rsync", 0.6)])

    def wide(self, seed, reps, files):
        name = "wide"
        generate_wide_folder(os.path.join(self.data, name), seed, files)
        self.fresh_destinations("wide")
        runs = [("velmora", lambda: self.velmora(name)), ("rsync", lambda: self.rsync(name)),
                ("walker", lambda: self.walk(name))]
        for _, run in runs:
            run()  # the first copy, not measured here
        results = self.alternate(reps, runs)
        self.record(f"one folder of {files} files, nothing changed", results)
        ours = median_of(results[0][1], "peak_kib")
        theirs = median_of(results[1][1], "peak_kib")
        print(f"    peak memory Velmora / rsync {ours / theirs:5.2f}  target <= 1.00: " +
              ("met" if ours <= theirs else "missed"), flush=True)

    def media(self, seed, reps, files, folders):
        """Nothing changed, onto an exFAT image through FUSE and onto a loopback sshfs mount,
        against rsync on the same mount. rsync runs with -rlt: exFAT keeps neither owners nor
        bits, so -a would fail on every file there, and sshfs gets the same options; it compares
        sizes and times as Velmora does. Every command is bounded (10 minutes)."""
        name = "media"
        generate_small_tree(os.path.join(self.data, name), seed, files, folders)
        megabytes = max(256, files // 10)
        for label, make in (("exFAT image through FUSE", lambda: ExfatImage(self.work, megabytes)),
                            ("sshfs from 127.0.0.1", lambda: LoopbackSshfs(self.work))):
            try:
                mount = make()
            except (OSError, subprocess.CalledProcessError) as error:
                print(f"{label}: cannot be mounted here ({error}), skipped", flush=True)
                continue
            try:
                self.fresh_destinations(name, mount.mount)
                options = ("-rlt", "--modify-window=1")
                runs = [("velmora", lambda: self.velmora(name, limit=600)),
                        ("rsync", lambda: self.rsync(name, options=options, limit=600))]
                for _, run in runs:
                    run()  # the first copy, not measured here
                self.record(f"{files} small files, nothing changed, onto {label}",
                            self.alternate(reps, runs), [("rsync", 1.0)])
            finally:
                mount.close()
        self.fresh_destinations("after-media")

    def large(self, reps):
        name = "large"
        runs = [("velmora", lambda: self.velmora(name)), ("cp -a", lambda: self.cp(name))]
        plain = self.alternate(reps, runs, lambda i: self.fresh_destinations(f"large{i}"))
        self.record("large files, first copy", plain)
        runs = [("velmora", lambda: self.velmora(name)),
                ("cp -a + sync -f",
                 lambda: self.flushed(self.cp(name), os.path.join(self.cdest, name)))]
        flushed = self.alternate(reps, runs, lambda i: self.fresh_destinations(f"large{i}-f"))
        # At least 95 % of cp's throughput: at most 1/0.95 of its time.
        self.record("large files, first copy, both flushed", flushed,
                    [("cp -a + sync -f", 1 / 0.95)])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--walker", required=True, help="the mirror walker of bench/")
    parser.add_argument("--peak-memory", required=True, help="the peak_memory program of bench/")
    parser.add_argument("--work", default="/tmp/velmora-bench")
    parser.add_argument("--seed", type=int, default=20261207)
    parser.add_argument("--scale", type=float, default=1.0,
                        help="1.0: 100,000 small files in 2,000 folders, 1 GiB of large files "
                             "and one folder of 100,000 files")
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--only", choices=["small", "wide", "large", "media"], action="append",
                        help="run only these cases (may be given more than once)")
    args = parser.parse_args()
    cases = args.only or ["small", "wide", "large", "media"]
    global PEAK_MEMORY
    PEAK_MEMORY = os.path.abspath(args.peak_memory)

    shutil.rmtree(args.work, ignore_errors=True)
    bench = Bench(os.path.abspath(args.runner), os.path.abspath(args.walker), args.work)
    files = max(100, int(100000 * args.scale))
    folders = max(10, int(2000 * args.scale))
    large_bytes = max(16 << 20, int((1 << 30) * args.scale))
    print(f"{time.strftime('%Y-%m-%d %H:%M:%S')}, {os.cpu_count()} cores, {load_average()}",
          flush=True)
    cold_allowed = drop_caches()
    if "small" in cases:
        print(f"generating {files} small files in {folders} folders (seed {args.seed})",
              flush=True)
        generate_small_tree(os.path.join(bench.data, "small"), args.seed, files, folders)
        bench.small(args.seed, args.reps, 0.01, cold_allowed)
    if "wide" in cases:
        bench.wide(args.seed, args.reps, files)
    if "large" in cases:
        print(f"generating {large_bytes >> 20} MiB of large files", flush=True)
        generate_large_files(os.path.join(bench.data, "large"), args.seed, 4, large_bytes)
        bench.large(args.reps)
    if "media" in cases:
        # A tenth of the tree: every call on these mounts is a round trip.
        bench.media(args.seed, args.reps, max(100, files // 10), max(10, folders // 10))
    print(f"{time.strftime('%Y-%m-%d %H:%M:%S')}, {load_average()}", flush=True)
    shutil.rmtree(args.work, ignore_errors=True)


if __name__ == "__main__":
    main()
