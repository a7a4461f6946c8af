#!/usr/bin/env python3
"""The whole program against the UnRAR command line, archive by archive.

Run through scripts/bench, which builds the program and starts an X server.
Each round runs `brambold ARCHIVE`, `unrar x -idq -o+ ARCHIVE`, one plain
extraction pass through the UnRAR library (bench/library_floor), the same
pass in test mode that writes nothing (`library_floor --test`) and
`bsdtar -xf ARCHIVE` (libarchive's own RAR reader) into fresh folders, taking
turns, once on tmpfs and once in a folder on an ext4 disk;
the figures are medians over the rounds. Every tool is started by GNU time,
so its peak memory is its own and not this script's. The program's fixed
waiting (1 s before it starts, 2.1 s after it ends) is subtracted and shown
apart. A run counts only when it ends by itself with exit code 0 and leaves
exactly the archive's files and bytes.
"""

import argparse
import ctypes
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
GNU_TIME = "/usr/bin/time"
LIBC = ctypes.CDLL(None, use_errno=True)
# Sparse, so only what is written takes room; large enough for the archives,
# the largest output and D's 100,000 inodes.
IMAGE_BYTES = 6 << 30
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


# ---- where the files go ----------------------------------------------------

class Destination:
    """A kind of folder the runs extract into, and the archives read there."""

    def __init__(self, kind, root, description):
        self.kind, self.root, self.description = kind, root, description

    def archive(self, name):
        return os.path.join(self.root, name + ".rar")


def mount_of(path):
    """(file system type, source) of the mount that holds path."""
    out = subprocess.run(["findmnt", "-n", "-o", "FSTYPE,SOURCE", "-T", path],
                         capture_output=True, text=True)
    fields = out.stdout.split()
    if out.returncode != 0 or not fields:
        return "unknown", "?"
    return fields[0], fields[1] if len(fields) > 1 else "?"


def loop_mount_ext4(folder, cleanups):
    """Mounts an ext4 image file at folder: (True, what) or (False, why not)."""
    if os.geteuid() != 0:
        return False, "mounting needs root"
    if not shutil.which("mkfs.ext4") or not shutil.which("mount"):
        return False, "mkfs.ext4 or mount is missing"
    image = folder.rstrip("/") + ".ext4"
    try:
        if not os.path.exists(image):
            with open(image, "wb") as f:
                f.truncate(IMAGE_BYTES)
            # Inode tables and journal written now, so no kernel thread
            # initialises them in the background while runs are timed.
            subprocess.run(["mkfs.ext4", "-q", "-F", "-E", "lazy_itable_init=0,lazy_journal_init=0", image],
                           check=True, capture_output=True, text=True)
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["mount", "-o", "loop", image, folder], check=True, capture_output=True, text=True)
    except (OSError, subprocess.CalledProcessError) as e:
        detail = (getattr(e, "stderr", None) or str(e)).strip()
        return False, detail.splitlines()[-1] if detail else str(e)
    cleanups.append(lambda: subprocess.run(["umount", folder], capture_output=True))
    backing, _ = mount_of(image)
    return True, "ext4 image %s on a loop device (the image file is on %s)" % (image, backing)


def disk_destination(folder, direct, cleanups):
    """The ext4 folder for the disk column, or None with a message why not.

    By default the runs write to an ext4 image of their own, loop-mounted at
    folder: a file system shared with other work on the machine (a root file
    system, say) gave unrar x times from 4 to 17 s on A, most of it system
    time, while a fresh image on the same disk gives steady ones."""
    os.makedirs(folder, exist_ok=True)
    fstype, source = mount_of(folder)
    if fstype == "ext4" and (direct or source.startswith("/dev/loop")):
        return Destination("disk", folder, "%s, ext4 on %s" % (folder, source)), None
    why_not = ("%s is on %s, not ext4" % (folder, fstype) if fstype != "ext4"
               else "%s is on ext4 on %s, shared with the rest of the machine" % (folder, source))
    mounted, text = loop_mount_ext4(folder, cleanups)
    if mounted:
        return Destination("disk", folder, "%s, %s" % (folder, text)), why_not + "; mounted an ext4 image there"
    reason = text
    if fstype in ("tmpfs", "ramfs", "unknown"):
        return None, "%s, and no ext4 image could be mounted (%s): the disk column is left out" % (why_not, reason)
    note = "" if fstype == "ext4" else " (not ext4)"
    return (Destination("disk", folder, "%s, %s on %s%s" % (folder, fstype, source, note)),
            "%s, and no ext4 image could be mounted (%s): the disk column runs on %s" % (why_not, reason, fstype))


def place_archive(name, tmpfs, dest):
    """The archive as the runs in dest read it: a copy on that file system."""
    archive = tmpfs.archive(name)
    if dest.root == tmpfs.root:
        return archive
    copy = dest.archive(name)
    have = os.stat(archive)
    try:
        there = os.stat(copy)
        if there.st_size == have.st_size and int(there.st_mtime) == int(have.st_mtime):
            return copy
    except FileNotFoundError:
        pass
    shutil.copyfile(archive, copy)
    shutil.copystat(archive, copy)
    sync_file_system(dest.root)
    return copy


# ---- runs ------------------------------------------------------------------

class Run:
    def __init__(self, wall, cpu, rss_kib, ok, stderr=""):
        self.wall, self.cpu, self.rss_kib, self.ok, self.stderr = wall, cpu, rss_kib, ok, stderr


def run_measured(command, cwd, rss_file, env=None, lock=False, timeout=300):
    lock_file = None
    if lock:
        # Any run of the real program may be ended by another test's
        # "brambold shutdown": take the machine-wide lock before starting.
        lock_file = open(LOCK, "a")
        fcntl.flock(lock_file, fcntl.LOCK_EX)
    try:
        # GNU time forks the tool from its own small process and reports that
        # child's peak alone; a peak from our own wait4 would also count this
        # script, whose pages the child holds until it execs.
        start = time.perf_counter()
        child = subprocess.Popen([GNU_TIME, "-f", "%M", "-o", rss_file] + command, cwd=cwd, env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True)
        # A run that waits on a window of its own never ends by itself.
        watchdog = threading.Timer(timeout, lambda: os.killpg(child.pid, signal.SIGKILL))
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
    if not ok:
        stderr += "\n[%s]" % ("exit %d" % os.WEXITSTATUS(status) if os.WIFEXITED(status)
                              else "signal %d" % os.WTERMSIG(status))
    try:
        # GNU time writes a line of its own before the figure when the tool failed.
        with open(rss_file) as f:
            rss_kib = int(f.read().split()[-1])
    except (OSError, ValueError, IndexError):
        rss_kib, ok = float("nan"), False
    # CPU time from the launcher's wait4 includes GNU time's own ~2 ms.
    return Run(wall, usage.ru_utime + usage.ru_stime, rss_kib, ok, stderr)


# Seconds every run waits, its folder ready, before its tool starts. On a
# virtual machine that hands freed memory back to its host (free page
# reporting, about 2 s after it is freed), a tool that writes at once reuses
# the pages the previous run's output just freed, while one that writes a
# second later, as the program does, meets pages the host must map afresh:
# 256 MB then cost unrar 0.36 s instead of 0.20 s on ext4. After the pause
# every tool meets the same memory, as it would when started by a user.
SETTLE = 3.0


def fresh_folder(dest, label):
    folder = os.path.join(dest.root, "run", label)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    if dest.kind == "disk":
        # No run pays for writing back what an earlier one left dirty. Only
        # this file system: others' builds keep the rest of the machine busy.
        sync_file_system(folder)
    time.sleep(SETTLE)
    return folder


def sync_file_system(path):
    fd = os.open(path, os.O_RDONLY | os.O_DIRECTORY)
    try:
        if LIBC.syncfs(fd) != 0:
            os.sync()
    finally:
        os.close(fd)


def rss_path(work):
    return os.path.join(work, "peak.txt")


def run_brambold(program, archive, dest, work, label, env_extra=None, timeout=300):
    folder = fresh_folder(dest, label)
    copy = os.path.join(folder, os.path.basename(archive))
    os.link(archive, copy)
    env = dict(os.environ)
    env.update(env_extra or {})
    run = run_measured([program, copy], folder, rss_path(work), env=env, lock=True, timeout=timeout)
    return run, folder, copy


def run_unrar(archive, dest, work, label, timeout=300):
    folder = fresh_folder(dest, label)
    run = run_measured(["unrar", "x", "-idq", "-o+", archive], folder, rss_path(work), timeout=timeout)
    return run, folder, None


def run_bsdtar(archive, dest, work, label, timeout=300):
    folder = fresh_folder(dest, label)
    run = run_measured(["bsdtar", "-xf", archive, "-C", folder], folder, rss_path(work), timeout=timeout)
    return run, folder, None


def run_library(floor, archive, dest, work, label, test=False):
    folder = fresh_folder(dest, label)
    env = dict(os.environ)
    env.setdefault("TZ", ":/etc/localtime")  # as the program has it
    run = run_measured([floor] + (["--test"] if test else []) + [archive], folder, rss_path(work), env=env)
    return run, folder, None


def checked(result, expected):
    run, folder, skip = result
    if run.ok and expected is not None:
        found = tree_size(folder, skip)
        if found != tuple(expected):
            run.ok = False
            run.stderr += "\n[left %d files, %d bytes; want %d, %d]" % (found + tuple(expected))
    shutil.rmtree(folder, ignore_errors=True)
    return run


def median(values):
    return statistics.median(values) if values else float("nan")


def paired_ratios(ours, theirs):
    """brambold's net time over unrar's, round by round, where both runs were good."""
    return [(b.wall - FIXED_WAIT) / u.wall for b, u in zip(ours, theirs) if b.ok and u.ok]


def spread(ratios):
    if not ratios:
        return "-"
    return "%.2f / %.2f / %.2f" % (min(ratios), median(ratios), max(ratios))


TOOLS = ("brambold", "unrar", "library", "unpack", "bsdtar")


def main():
    global SETTLE
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--library-floor", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--only", default="ABCDE")
    parser.add_argument("--work", default="/dev/shm/brambold-bench")
    parser.add_argument("--disk", default="/var/tmp/brambold-bench",
                        help="folder for the disk column; a fresh ext4 image is mounted there for the run")
    parser.add_argument("--disk-direct", action="store_true",
                        help="write into --disk's own file system when it is ext4, without an image")
    parser.add_argument("--no-disk", action="store_true")
    parser.add_argument("--no-probe", action="store_true")
    parser.add_argument("--busy", action="store_true",
                        help="keep one processor busy with a spinning program throughout, as on a machine "
                             "doing other work")
    parser.add_argument("--settle", type=float, default=SETTLE,
                        help="seconds each run waits before its tool starts (default %(default)s)")
    args = parser.parse_args()
    SETTLE = args.settle
    # Every run starts in its own folder.
    args.program = os.path.abspath(args.program)
    args.library_floor = os.path.abspath(args.library_floor)
    os.makedirs(args.work, exist_ok=True)
    if not os.access(GNU_TIME, os.X_OK):
        print("bench: %s is missing (Debian package time)" % GNU_TIME, file=sys.stderr)
        return 1

    cleanups = []
    # An ended run still unmounts the ext4 image it mounted.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        if args.busy:
            start_busy_processor(cleanups)
        return measure(args, cleanups)
    finally:
        for cleanup in reversed(cleanups):
            cleanup()


def start_busy_processor(cleanups):
    # Pinned, so the scheduler cannot spread it out: the tools measured share
    # the other processors with each other and with the display server.
    cpu = max(os.sched_getaffinity(0))
    spinner = subprocess.Popen([sys.executable, "-c",
                                "import os\nos.sched_setaffinity(0, {%d})\nwhile True:\n    pass" % cpu])
    cleanups.append(lambda: (spinner.kill(), spinner.wait()))
    print("bench: processor %d is kept busy by a spinning program throughout" % cpu, flush=True)


def measure(args, cleanups):
    tmpfs_type, _ = mount_of(args.work)
    tmpfs = Destination("tmpfs", args.work, "%s, %s" % (args.work, tmpfs_type))
    dests = [tmpfs]
    if not args.no_disk:
        disk, message = disk_destination(os.path.abspath(args.disk), args.disk_direct, cleanups)
        if message:
            print("bench: " + message, flush=True)
        if disk:
            dests.append(disk)
    for dest in dests:
        print("%-5s destination: %s" % (dest.kind, dest.description), flush=True)

    rows = []
    for name in args.only:
        _, expected = prepare(name, args.work)
        archives = {dest.kind: place_archive(name, tmpfs, dest) for dest in dests}
        runs = {(dest.kind, tool): [] for dest in dests for tool in TOOLS}

        def start(tool, dest, label):
            archive = archives[dest.kind]
            if tool == "brambold":
                return run_brambold(args.program, archive, dest, args.work, label)
            if tool == "unrar":
                return run_unrar(archive, dest, args.work, label)
            if tool == "bsdtar":
                return run_bsdtar(archive, dest, args.work, label)
            return run_library(args.library_floor, archive, dest, args.work, label, test=tool == "unpack")

        for r in range(args.rounds):
            # Who goes first turns round, so no tool always finds a warm cache;
            # the destinations take turns too.
            order = dests[r % len(dests):] + dests[:r % len(dests)]
            for dest in order:
                for tool in TOOLS[r % len(TOOLS):] + TOOLS[:r % len(TOOLS)]:
                    # The test pass writes nothing: its exit code is its check.
                    run = checked(start(tool, dest, "%s%s%d" % (tool[:2], name, r)),
                                  None if tool == "unpack" else expected)
                    runs[(dest.kind, tool)].append(run)
                    if not run.ok:
                        print("  %s %s round %d: %s run FAILED %s"
                              % (name, dest.kind, r, tool, run.stderr.strip()[-300:]), flush=True)
        for dest in dests:
            good = {tool: [x for x in runs[(dest.kind, tool)] if x.ok] for tool in TOOLS}
            b, u, l, t = good["brambold"], good["unrar"], good["library"], good["bsdtar"]
            p = good["unpack"]
            b_wall = median([x.wall for x in b])
            rows.append((name, dest.kind, len(b), len(u), b_wall, b_wall - FIXED_WAIT, median([x.cpu for x in b]),
                         median([x.rss_kib for x in b]) / 1024, median([x.wall for x in u]),
                         median([x.cpu for x in u]), median([x.rss_kib for x in u]) / 1024,
                         median([x.wall for x in l]), len(t), median([x.wall for x in t]),
                         median([x.cpu for x in t]), median([x.rss_kib for x in t]) / 1024,
                         median([x.wall for x in p]),
                         paired_ratios(runs[(dest.kind, "brambold")], runs[(dest.kind, "unrar")])))
        print("  %s done: %s good runs (brambold + unrar + bsdtar)"
              % (name, ", ".join("%s %s" % (d.kind, " + ".join(str(len([x for x in runs[(d.kind, tool)] if x.ok]))
                                                                for tool in ("brambold", "unrar", "bsdtar")))
                                 for d in dests)),
              flush=True)

    print()
    print("Medians over %d rounds; brambold's wall time shown whole and less its fixed %.1f s "
          "(1 s before the run, 2.1 s after it)." % (args.rounds, FIXED_WAIT))
    print("Peak RSS is each tool's own, from GNU time. Every tool started %.1f s after its folder was ready." % SETTLE)
    for dest in dests:
        print("%-5s = %s" % (dest.kind, dest.description))
    print()
    header = ("arch", "dest", "runs", "ours wall", "ours net", "ours cpu", "ours RSS", "unrar wall", "unrar cpu",
              "unrar RSS", "net/unrar", "net-unrar", "cpu ratio", "lib wall", "lib/unrar", "bsd wall", "bsd cpu",
              "bsd RSS", "bsd/unrar")
    print("%-4s %-5s %7s %10s %9s %9s %9s %10s %9s %9s %9s %9s %9s %9s %9s %9s %9s %9s %9s" % header)
    for (name, kind, nb, nu, b_wall, b_net, b_cpu, b_rss, u_wall, u_cpu, u_rss, l_wall,
         nt, t_wall, t_cpu, t_rss, _, _) in rows:
        if nt:
            bsdtar = "%8.3fs %8.3fs %6.1fMiB %9.2f" % (t_wall, t_cpu, t_rss, t_wall / u_wall)
        else:
            # No good run at all, say because libarchive cannot read this kind of archive.
            bsdtar = "%9s %9s %9s %9s" % ("failed", "-", "-", "-")
        print("%-4s %-5s %7s %9.3fs %8.3fs %8.3fs %6.1fMiB %9.3fs %8.3fs %6.1fMiB %9.2f %+8.3fs %9.2f %8.3fs %9.2f %s"
              % (name, kind, "%d/%d/%d" % (nb, nu, nt), b_wall, b_net, b_cpu, b_rss, u_wall, u_cpu, u_rss,
                 b_net / u_wall, b_net - u_wall, b_cpu / u_cpu, l_wall, l_wall / u_wall, bsdtar))
    print()
    print("runs: good runs of brambold/unrar/bsdtar. lib: one extraction pass straight through the UnRAR library "
          "(bench/library_floor), its reads buffered as the program buffers them: the floor of a program built on it so.")
    print("unpack: the same pass in test mode, its bytes taken by a callback and nothing written: what one "
          "library handle costs alone, the bound of a program that unpacks on one thread.")
    print("bsd: bsdtar -xf ARCHIVE -C DEST, libarchive's own RAR reader; \"failed\" when no run of it was good.")
    print()
    kinds = [dest.kind for dest in dests]
    print("brambold net / unrar x wall, same archive, same destination kind; then lib, unpack and bsdtar / unrar:")
    print("%-4s" % "arch" + "".join(" %9s" % k for k in kinds) + "".join(" %9s" % ("lib " + k) for k in kinds)
          + "".join(" %11s" % ("unpack " + k) for k in kinds) + "".join(" %9s" % ("bsd " + k) for k in kinds))
    for name in args.only:
        mine = {row[1]: row for row in rows if row[0] == name}
        print("%-4s" % name + "".join(" %9.2f" % (mine[k][5] / mine[k][8]) for k in kinds)
              + "".join(" %9.2f" % (mine[k][11] / mine[k][8]) for k in kinds)
              + "".join(" %11.2f" % (mine[k][16] / mine[k][8]) for k in kinds)
              + "".join(" %9.2f" % (mine[k][13] / mine[k][8]) if mine[k][12] else " %9s" % "failed"
                        for k in kinds))
    print()
    # The machine's own noise, seen in the pairs: within a round, brambold
    # and unrar x run on the same archive a few seconds apart.
    print("brambold net / unrar x within each round, lowest / median / highest:")
    print("%-4s" % "arch" + "".join(" %20s" % k for k in kinds))
    for name in args.only:
        mine = {row[1]: row for row in rows if row[0] == name}
        print("%-4s" % name + "".join(" %20s" % spread(mine[k][17]) for k in kinds))

    if "C" in args.only and not args.no_probe:
        archive, expected = prepare("C", args.work)
        u_wall = next(r[8] for r in rows if r[0] == "C" and r[1] == "tmpfs")
        stop_after = max(50, int(u_wall * 1000 / 2))
        print()
        print("Responsiveness on C, tmpfs (10 ms probe timer during the extraction run):")
        gaps, stops = [], []
        for r in range(3):
            run = checked(run_brambold(args.program, archive, tmpfs, args.work, "pg%d" % r,
                                       {"BRAMBOLD_PROBE": "gaps"}), expected)
            gaps.append(run.stderr.strip())
            result = run_brambold(args.program, archive, tmpfs, args.work, "ps%d" % r,
                                  {"BRAMBOLD_PROBE": "stop:%d" % stop_after})
            shutil.rmtree(result[1], ignore_errors=True)
            stops.append(result[0].stderr.strip())
        for line in gaps:
            print("  " + " | ".join(l for l in line.splitlines() if l.startswith("probe:")))
        print("  stopped %d ms into the extraction run:" % stop_after)
        for line in stops:
            print("  " + " | ".join(l for l in line.splitlines() if l.startswith("probe:")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
