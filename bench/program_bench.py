#!/usr/bin/env python3
"""The whole program against the UnRAR command line, archive by archive.

Run through scripts/bench, which builds the program and starts an X server.
Each round runs `brambold ARCHIVE`, `unrar x -idq -o+ ARCHIVE` and one plain
extraction pass through the UnRAR library (bench/library_floor) into fresh
folders on tmpfs, taking turns; the figures are medians over the rounds. The
program's fixed waiting (1 s before it starts, 2.1 s after it ends) is
subtracted and shown apart. A run counts only when it ends by itself with
exit code 0 and leaves exactly the archive's files and bytes.
"""

import argparse
import fcntl
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

FIXED_WAIT = 1.0 + 2.1
LOCK = "/tmp/brambold-e2e.lock"
WORDS = ("archive folder entry header volume window progress unpack listing solid "
         "stored packed bytes name path time zone user file data block table row").split()


# ---- test archives ---------------------------------------------------------

def write_small_tree(root, folders, per_folder, size_of, rng):
    for d in range(folders):
        folder = os.path.join(root, "d%03d" % d)
        os.makedirs(folder)
        for f in range(per_folder):
            size = size_of(rng)
            text = []
            length = 0
            while length < size:
                word = rng.choice(WORDS)
                text.append(word)
                length += len(word) + 1
            with open(os.path.join(folder, "f%05d.txt" % f), "w") as out:
                out.write(" ".join(text)[:size])


def write_log_file(path, size):
    # Log-like lines: fixed words and fresh hex digits, so the file packs
    # about four to one without long repeats.
    written = 0
    with open(path, "wb") as out:
        while written < size:
            noise = os.urandom(10000 * 8).hex()
            lines = [("2026-12-08 13:%s INFO worker-%s request id=%s path=/api/v1/items/%s took %s ms\n"
                      % (noise[i:i + 4], noise[i + 4:i + 6], noise[i + 6:i + 14], noise[i + 14:i + 20],
                         noise[i + 20:i + 22])).encode()
                     for i in range(0, len(noise) - 32, 16)]
            block = b"".join(lines)
            out.write(block[:size - written])
            written += min(len(block), size - written)


def write_random_file(path, size):
    with open(path, "wb") as out:
        for _ in range(size // (1 << 20)):
            out.write(os.urandom(1 << 20))


ARCHIVES = {
    "A": ("20,000 files of ~1 KiB in 100 folders", ["-m3"]),
    "B": ("the same, solid", ["-m3", "-s"]),
    "C": ("one 300 MB compressible file", ["-m3"]),
    "D": ("100,000 empty or tiny files", ["-m3"]),
    "E": ("one 256 MB stored file", ["-m0"]),
}


def make_source(name, root):
    rng = random.Random(name)
    if name in "AB":
        write_small_tree(root, 100, 200, lambda r: r.randint(900, 1150), rng)
    elif name == "C":
        os.makedirs(root)
        write_log_file(os.path.join(root, "server.log"), 300 * 1000 * 1000)
    elif name == "D":
        write_small_tree(root, 100, 1000, lambda r: 0 if r.random() < 0.5 else r.randint(1, 64), rng)
    elif name == "E":
        os.makedirs(root)
        write_random_file(os.path.join(root, "random.bin"), 256 << 20)


def tree_size(root, skip=None):
    files = total = 0
    for folder, _, names in os.walk(root):
        for n in names:
            path = os.path.join(folder, n)
            if path == skip:
                continue
            files += 1
            total += os.lstat(path).st_size
    return files, total


def prepare(name, work):
    """The archive and what it must unpack to, made once and kept."""
    archive = os.path.join(work, name + ".rar")
    manifest = archive + ".json"
    if os.path.exists(manifest):
        with open(manifest) as f:
            return archive, tuple(json.load(f))
    source = os.path.join(work, "source-" + name)
    shutil.rmtree(source, ignore_errors=True)
    print("making %s (%s) ..." % (name, ARCHIVES[name][0]), flush=True)
    make_source(name, source)
    expected = tree_size(source)
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["rar", "a", "-ma5", "-r", "-idq", "-y"] + ARCHIVES[name][1] + [archive, "."],
                   cwd=source, check=True)
    shutil.rmtree(source)
    with open(manifest, "w") as f:
        json.dump(expected, f)
    return archive, expected


# ---- runs ------------------------------------------------------------------

class Run:
    def __init__(self, wall, cpu, rss_kib, ok, stderr=""):
        self.wall, self.cpu, self.rss_kib, self.ok, self.stderr = wall, cpu, rss_kib, ok, stderr


def run_measured(command, cwd, env=None, lock=False, timeout=300):
    lock_file = None
    if lock:
        # Any run of the real program may be ended by another test's
        # "brambold shutdown": take the machine-wide lock before starting.
        lock_file = open(LOCK, "a")
        fcntl.flock(lock_file, fcntl.LOCK_EX)
    try:
        start = time.perf_counter()
        child = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        # A run that waits on a window of its own never ends by itself.
        watchdog = threading.Timer(timeout, child.kill)
        watchdog.start()
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        watchdog.cancel()
    finally:
        if lock_file:
            fcntl.flock(lock_file, fcntl.LOCK_UN)
            lock_file.close()
    stderr = child.stderr.read().decode(errors="replace")
    child.stderr.close()
    ok = os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0
    return Run(wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, ok, stderr)


def fresh_folder(work, label):
    folder = os.path.join(work, "run", label)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def run_brambold(program, archive, work, label, env_extra=None):
    folder = fresh_folder(work, label)
    copy = os.path.join(folder, os.path.basename(archive))
    os.link(archive, copy)
    env = dict(os.environ)
    env.update(env_extra or {})
    run = run_measured([program, copy], folder, env=env, lock=True)
    return run, folder, copy


def run_unrar(archive, work, label):
    folder = fresh_folder(work, label)
    run = run_measured(["unrar", "x", "-idq", "-o+", archive], folder)
    return run, folder, None


def run_library(floor, archive, work, label):
    folder = fresh_folder(work, label)
    env = dict(os.environ)
    env.setdefault("TZ", ":/etc/localtime")  # as the program has it
    run = run_measured([floor, archive], folder, env=env)
    return run, folder, None


def checked(result, expected):
    run, folder, skip = result
    if run.ok and tree_size(folder, skip) != tuple(expected):
        run.ok = False
    shutil.rmtree(folder, ignore_errors=True)
    return run


def median(values):
    return statistics.median(values) if values else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--library-floor", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--only", default="ABCDE")
    parser.add_argument("--work", default="/dev/shm/brambold-bench")
    parser.add_argument("--no-probe", action="store_true")
    args = parser.parse_args()
    # Every run starts in its own folder.
    args.program = os.path.abspath(args.program)
    args.library_floor = os.path.abspath(args.library_floor)
    os.makedirs(args.work, exist_ok=True)

    rows = []
    for name in args.only:
        archive, expected = prepare(name, args.work)
        runs = {"brambold": [], "unrar": [], "library": []}
        starters = {
            "brambold": lambda label: run_brambold(args.program, archive, args.work, label),
            "unrar": lambda label: run_unrar(archive, args.work, label),
            "library": lambda label: run_library(args.library_floor, archive, args.work, label),
        }
        tools = list(starters)
        for r in range(args.rounds):
            # Who goes first turns round, so no tool always finds a warm cache.
            for tool in tools[r % 3:] + tools[:r % 3]:
                run = checked(starters[tool]("%s%s%d" % (tool[0], name, r)), expected)
                runs[tool].append(run)
                if not run.ok:
                    print("  %s round %d: %s run FAILED %s" % (name, r, tool, run.stderr.strip()[-300:]), flush=True)
        good_b = [x for x in runs["brambold"] if x.ok]
        good_u = [x for x in runs["unrar"] if x.ok]
        good_l = [x for x in runs["library"] if x.ok]
        b_wall = median([x.wall for x in good_b])
        u_wall = median([x.wall for x in good_u])
        rows.append((name, len(good_b), len(good_u), b_wall, b_wall - FIXED_WAIT, median([x.cpu for x in good_b]),
                     median([x.rss_kib for x in good_b]) / 1024, u_wall, median([x.cpu for x in good_u]),
                     median([x.rss_kib for x in good_u]) / 1024, median([x.wall for x in good_l])))
        print("  %s done: %d + %d good runs" % (name, len(good_b), len(good_u)), flush=True)

    print()
    print("Medians over %d rounds; brambold's wall time shown whole and less its fixed %.1f s "
          "(1 s before the run, 2.1 s after it)." % (args.rounds, FIXED_WAIT))
    print()
    header = ("arch", "runs", "ours wall", "ours net", "ours cpu", "ours RSS", "unrar wall", "unrar cpu",
              "unrar RSS", "net/unrar", "net-unrar", "cpu ratio", "lib wall", "lib/unrar")
    print("%-4s %5s %10s %9s %9s %9s %10s %9s %9s %9s %9s %9s %9s %9s" % header)
    for (name, nb, nu, b_wall, b_net, b_cpu, b_rss, u_wall, u_cpu, u_rss, l_wall) in rows:
        print("%-4s %5s %9.3fs %8.3fs %8.3fs %6.1fMiB %9.3fs %8.3fs %6.1fMiB %9.2f %+8.3fs %9.2f %8.3fs %9.2f"
              % (name, "%d/%d" % (nb, nu), b_wall, b_net, b_cpu, b_rss, u_wall, u_cpu, u_rss,
                 b_net / u_wall, b_net - u_wall, b_cpu / u_cpu, l_wall, l_wall / u_wall))
    print()
    print("lib: one extraction pass straight through the UnRAR library (bench/library_floor), "
          "the floor of any program built on it.")

    if "C" in args.only and not args.no_probe:
        archive, expected = prepare("C", args.work)
        u_wall = next(r[7] for r in rows if r[0] == "C")
        stop_after = max(50, int(u_wall * 1000 / 2))
        print()
        print("Responsiveness on C (10 ms probe timer during the extraction run):")
        gaps, stops = [], []
        for r in range(3):
            run = checked(run_brambold(args.program, archive, args.work, "pg%d" % r, {"BRAMBOLD_PROBE": "gaps"}),
                          expected)
            gaps.append(run.stderr.strip())
            result = run_brambold(args.program, archive, args.work, "ps%d" % r,
                                  {"BRAMBOLD_PROBE": "stop:%d" % stop_after})
            shutil.rmtree(result[1], ignore_errors=True)
            stops.append(result[0].stderr.strip())
        for line in gaps:
            print("  " + " | ".join(l for l in line.splitlines() if l.startswith("probe:")))
        print("  stopped %d ms into the extraction run:" % stop_after)
        for line in stops:
            print("  " + " | ".join(l for l in line.splitlines() if l.startswith("probe:")))


if __name__ == "__main__":
    sys.exit(main())
