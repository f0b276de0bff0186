#!/usr/bin/env python3
"""Times a run in the run window (offscreen) against velmora-run on the same tree.

Both run the same project at the Normal report level with the log file on, so that both do the
same work; the window also paints its report and progress. The two alternate in each round,
each after `sync`, and every first copy goes to a destination that never held anything.
Prints the medians (with the smallest and largest round) and the ratio window / velmora-run.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import generate_small_tree  # noqa: E402


def timed(command, env=None):
    subprocess.run(["sync"], check=True)
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        raise SystemExit(f"{command[0]} failed ({done.returncode}): {done.stderr.decode()[-2000:]}")
    return elapsed


class Bench:
    def __init__(self, velmora, runner, work):
        self.work = work
        self.prog = os.path.join(work, "prog")
        os.makedirs(self.prog, exist_ok=True)
        # The program folder is the executable's own: each binary is copied in beside drives.ini.
        self.velmora = shutil.copy(velmora, os.path.join(self.prog, "velmora"))
        self.runner = shutil.copy(runner, os.path.join(self.prog, "velmora-run"))
        with open(os.path.join(self.prog, "p.vlm"), "w", newline="") as f:
            f.write("vlmproject=ok\r\ndestdrive=v:\r\ndestkind=HD\r\nconfirm=N\r\nprecalc=N\r\n"
                    "longnames=N\r\nsync=N\r\nitem1=s:\\tree\r\n")
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

    def point_at(self, destination):
        os.makedirs(destination, exist_ok=True)
        with open(os.path.join(self.prog, "drives.ini"), "w") as f:
            f.write(f"[Drives]\ns={self.work}/src\nv={destination}\np={self.prog}\n")

    def window(self, destination):
        self.point_at(destination)
        return timed([self.velmora, "p:\\p.vlm", "-qrun", "-", "-close"], self.env)

    def headless(self, destination):
        self.point_at(destination)
        return timed([self.runner, os.path.join(self.prog, "p.vlm"), "--log-level", "normal"])


def spread(values):
    return f"{statistics.median(values):.3f} s ({min(values):.3f}-{max(values):.3f})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--velmora", required=True)
    parser.add_argument("--runner", required=True)
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--folders", type=int, default=400)
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--seed", type=int, default=20261207)
    parser.add_argument("--work", default="/tmp/velmora-window-bench")
    args = parser.parse_args()

    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    bench = Bench(args.velmora, args.runner, args.work)
    generate_small_tree(os.path.join(args.work, "src", "tree"), args.seed, args.files, args.folders)
    print(f"{args.files} files in {args.folders} folders, {args.reps} rounds, "
          f"load average {os.getloadavg()[0]:.1f}", flush=True)

    ours = {"first": [], "unchanged": []}
    peer = {"first": [], "unchanged": []}
    for rep in range(args.reps):
        order = [("window", bench.window, ours), ("velmora-run", bench.headless, peer)]
        if rep % 2:
            order.reverse()
        for name, run, into in order:
            destination = os.path.join(args.work, f"dst-{name}-{rep}")
            into["first"].append(run(destination))
            into["unchanged"].append(run(destination))
            shutil.rmtree(destination)
    for case, label in (("first", "first full copy"), ("unchanged", "nothing changed")):
        ratio = statistics.median(ours[case]) / statistics.median(peer[case])
        verdict = "met" if ratio <= 1.3 else "missed"
        print(f"{label}: window {spread(ours[case])}, velmora-run {spread(peer[case])}, "
              f"ratio {ratio:.2f} (target <= 1.3: {verdict})")
    print(f"load average at the end {os.getloadavg()[0]:.1f}")
    shutil.rmtree(args.work, ignore_errors=True)


if __name__ == "__main__":
    main()
