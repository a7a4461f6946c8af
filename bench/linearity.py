#!/usr/bin/env python3
"""Whether the program's cost grows linearly with the number of entries.

Run through `scripts/bench --million`, which builds the program and the
archive writer and starts an X server. Two stored RAR 4 archives of tiny
entries in 1,000 folders, 100,000 and 1,000,000 entries, are written once by
bench/many_entries and kept beside the other benchmark archives. Each is
unpacked on tmpfs by `brambold ARCHIVE` and, for reference, by `unrar x`,
measured as in program_bench.py. Linear means ten times the entries cost ten
times the time and about the same peak memory.
"""

import argparse
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import program_bench as pb  # noqa: E402

# A million entries take minutes; the default watchdog is for single archives.
TIMEOUT = 3600


def prepare(generator, work, entries, folders):
    archive = os.path.join(work, "many-%d-in-%d.rar" % (entries, folders))
    manifest = archive + ".json"
    if os.path.exists(manifest):
        with open(manifest) as f:
            return archive, tuple(json.load(f))
    print("writing %s (%d entries in %d folders) ..." % (archive, entries, folders), flush=True)
    out = subprocess.run([generator, archive, str(entries), str(folders)], check=True,
                         capture_output=True, text=True)
    expected = tuple(int(x) for x in out.stdout.split())
    with open(manifest, "w") as f:
        json.dump(expected, f)
    return archive, expected


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--generator", required=True, help="the many_entries tool")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--work", default="/dev/shm/brambold-bench")
    parser.add_argument("--folders", type=int, default=1000)
    parser.add_argument("--sizes", default="100000,1000000",
                        help="entry counts, smallest first; ratios are of each to the first")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    generator = os.path.abspath(args.generator)
    os.makedirs(args.work, exist_ok=True)
    if not os.access(pb.GNU_TIME, os.X_OK):
        print("bench: %s is missing (Debian package time)" % pb.GNU_TIME, file=sys.stderr)
        return 1
    sizes = [int(x) for x in args.sizes.split(",")]

    fstype, _ = pb.mount_of(args.work)
    # tmpfs only: an ext4 image of the size program_bench mounts has too few
    # inodes for a million files.
    tmpfs = pb.Destination("tmpfs", args.work, "%s, %s" % (args.work, fstype))
    print("destination: %s" % tmpfs.description, flush=True)

    results = {}
    for entries in sizes:
        archive, expected = prepare(generator, args.work, entries, args.folders)
        runs = {"brambold": [], "unrar": []}
        for r in range(args.rounds):
            # Who goes first turns round, as in program_bench.
            tools = ("brambold", "unrar") if r % 2 == 0 else ("unrar", "brambold")
            for tool in tools:
                label = "%s-many%d-%d" % (tool[0], entries, r)
                if tool == "brambold":
                    result = pb.run_brambold(program, archive, tmpfs, args.work, label, timeout=TIMEOUT)
                else:
                    result = pb.run_unrar(archive, tmpfs, args.work, label, timeout=TIMEOUT)
                # checked() also removes the extracted tree.
                run = pb.checked(result, expected)
                runs[tool].append(run)
                if not run.ok:
                    print("  %d entries round %d: %s run FAILED %s"
                          % (entries, r, tool, run.stderr.strip()[-300:]), flush=True)
                else:
                    print("  %d entries round %d: %s %.2f s wall, %.2f s cpu, %.1f MiB"
                          % (entries, r, tool, run.wall, run.cpu, run.rss_kib / 1024), flush=True)
        good = {tool: [x for x in runs[tool] if x.ok] for tool in runs}
        results[entries] = {
            tool: (len(good[tool]), pb.median([x.wall for x in good[tool]]), pb.median([x.cpu for x in good[tool]]),
                   pb.median([x.rss_kib for x in good[tool]]) / 1024)
            for tool in runs}

    print()
    print("Medians over %d rounds on %s; brambold's net wall time is its wall time less its fixed %.1f s."
          % (args.rounds, tmpfs.description, pb.FIXED_WAIT))
    print("Stored RAR 4 archives, entries of 0-64 bytes in %d folders; peak RSS from GNU time." % args.folders)
    print()
    print("%9s %5s %10s %9s %9s %9s %10s %9s %9s %10s %10s"
          % ("entries", "runs", "ours wall", "ours net", "ours cpu", "ours RSS", "unrar wall", "unrar cpu",
             "unrar RSS", "ours us/e", "unrar us/e"))
    for entries in sizes:
        nb, b_wall, b_cpu, b_rss = results[entries]["brambold"]
        nu, u_wall, u_cpu, u_rss = results[entries]["unrar"]
        b_net = b_wall - pb.FIXED_WAIT
        print("%9d %5s %9.2fs %8.2fs %8.2fs %6.1fMiB %9.2fs %8.2fs %6.1fMiB %10.1f %10.1f"
              % (entries, "%d/%d" % (nb, nu), b_wall, b_net, b_cpu, b_rss, u_wall, u_cpu, u_rss,
                 b_net / entries * 1e6, u_wall / entries * 1e6))
    base = sizes[0]
    for entries in sizes[1:]:
        scale = entries / base
        b0, b1 = results[base]["brambold"], results[entries]["brambold"]
        u0, u1 = results[base]["unrar"], results[entries]["unrar"]
        print()
        print("%d / %d entries (linear: %.0fx time, about 1x memory):" % (entries, base, scale))
        print("  brambold  net wall %6.2fx   cpu %6.2fx   RSS %5.2fx"
              % ((b1[1] - pb.FIXED_WAIT) / (b0[1] - pb.FIXED_WAIT), b1[2] / b0[2], b1[3] / b0[3]))
        print("  unrar x   wall     %6.2fx   cpu %6.2fx   RSS %5.2fx"
              % (u1[1] / u0[1], u1[2] / u0[2], u1[3] / u0[3]))
        # Memory that grows with the entries is held per entry somewhere.
        print("  peak RSS grows by %.0f bytes (brambold) and %.0f bytes (unrar x) per extra entry"
              % ((b1[3] - b0[3]) * (1 << 20) / (entries - base), (u1[3] - u0[3]) * (1 << 20) / (entries - base)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
