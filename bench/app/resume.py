#!/usr/bin/env python3
"""The cost and the saving of `vettrix check --resume`, on loopback pages.

1. The journal's cost: uninterrupted runs over N pages (default 20 000) with
   and without --resume (a fresh journal each time), interleaved; wall time
   and CPU time (user + system of the vettrix process alone, the server's
   excluded): medians, quartiles and extremes, and the difference of the
   medians in per cent (goal: at most 5 %), and the median of each journaled
   run against the plain run next to it, with a 95 % bootstrap interval.
   With --compare OTHER (another build's vettrix) both builds' runs are
   interleaved in the same loop, for a before and after on equal terms. The load average is told before and
   after: the machine may be shared.
2. Runs killed with SIGKILL (at a quarter, a half, three quarters in turn),
   each resumed: the pages fetched by both together (counted by the server),
   against N + --jobs + the checking threads and against the run's own bound
   of N + --jobs + 16 x the checking threads; and the resumed report against
   an uninterrupted run's (they must be equal).
3. What syncing each record would cost instead of batches: write+fdatasync
   per record against one fdatasync at the end, on the journal's disk.

usage: bench/app/resume.py [--pages N] [--runs N] [--jobs N] [--kills N] [--build DIR] [--compare VETTRIX]...
The build folder defaults to $BUILD_DIR or build/ and must hold bin/vettrix
and bin/bench_page_server.
"""
import argparse
import os
import random
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def lines(path):
    try:
        with open(path, "rb") as f:
            return f.read().count(b"\n")
    except FileNotFoundError:
        return 0


def median_interval(values, rounds=4000):
    """A 95 % bootstrap interval of the median: the runs' spread is larger
    than the journal's cost, so a median alone says little without it."""
    rng = random.Random(2026)  # the same samples give the same interval
    medians = sorted(statistics.median(rng.choices(values, k=len(values)))
                     for _ in range(rounds))
    return medians[int(0.025 * rounds)], medians[int(0.975 * rounds) - 1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pages", type=int, default=20000)
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--jobs", type=int, default=16)
    parser.add_argument("--kills", type=int, default=3,
                        help="runs killed and resumed (at a quarter, a half, three quarters)")
    parser.add_argument("--build", default=os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
    parser.add_argument("--compare", action="append", default=[],
                        help="another build's vettrix, run interleaved with this one (repeatable)")
    args = parser.parse_args()
    vettrix = os.path.join(args.build, "bin", "vettrix")
    server_bin = os.path.join(args.build, "bin", "bench_page_server")
    for tool in [vettrix, server_bin] + args.compare:
        if not os.access(tool, os.X_OK):
            sys.exit(f"missing {tool}: build the targets vettrix and bench_page_server first")
    for name in [k for k in os.environ if k.lower().endswith("_proxy")]:
        del os.environ[name]

    server = subprocess.Popen([server_bin], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    port = int(server.stdout.readline())

    def served():
        server.stdin.write("\n")
        server.stdin.flush()
        return int(server.stdout.readline())

    threads = os.cpu_count() or 1
    try:
        with tempfile.TemporaryDirectory(prefix="vettrix-resume-") as tmp:
            url_list = os.path.join(tmp, "urls.txt")
            with open(url_list, "w") as f:
                for i in range(args.pages):
                    f.write(f"http://127.0.0.1:{port}/page/{i}\n")
            base = ["check", "-q", "--json", "--jobs", str(args.jobs), "-l", url_list]
            journal = os.path.join(tmp, "run.journal")
            reference = os.path.join(tmp, "reference.jsonl")

            def timed(cmd, out, cpu=None):
                start = time.perf_counter()
                proc = subprocess.Popen(cmd + ["-o", out], stderr=subprocess.DEVNULL)
                _, status, usage = os.wait4(proc.pid, 0)
                wall = time.perf_counter() - start
                code = os.waitstatus_to_exitcode(status)
                if code not in (0, 1):
                    sys.exit(f"{' '.join(cmd)} ended with status {code}")
                if cpu is not None:
                    cpu.append(usage.ru_utime + usage.ru_stime)
                return wall

            def spread(values):
                q = statistics.quantiles(values, n=4, method="inclusive") if len(values) > 1 else values * 3
                return (f"{statistics.median(values):7.3f} s  (min {min(values):.3f}, "
                        f"quartiles {q[0]:.3f}..{q[2]:.3f}, max {max(values):.3f})")

            builds = [("this build", vettrix)] + [(f"--compare {i + 1}", b)
                                                  for i, b in enumerate(args.compare)]
            for _, binary in builds:
                timed([binary] + base, reference)  # warm up
            load_before = os.getloadavg()
            # (build, journaled) -> wall times, CPU times
            figures = {(b, j): ([], []) for b, _ in builds for j in (False, True)}
            journal_bytes = {}  # build -> the size of its last journal
            for run in range(args.runs):
                # Every other round the other way round, so that a load that
                # grows or fades through a round favours neither.
                order = builds if run % 2 == 0 else builds[::-1]
                for name, binary in order:
                    for journaled in ((False, True) if run % 2 == 0 else (True, False)):
                        cmd = [binary] + base
                        if journaled:
                            if os.path.exists(journal):
                                os.remove(journal)
                            cmd += ["--resume", journal]
                        walls, cpus = figures[(name, journaled)]
                        walls.append(timed(cmd, os.path.join(tmp, "run.jsonl"), cpus))
                        if journaled:
                            journal_bytes[name] = os.path.getsize(journal)
            load_after = os.getloadavg()
            print(f"{args.pages} loopback pages, --jobs {args.jobs}, {threads} checking threads, "
                  f"{args.runs} interleaved runs; load average before "
                  f"{load_before[0]:.2f} {load_before[1]:.2f} {load_before[2]:.2f}, after "
                  f"{load_after[0]:.2f} {load_after[1]:.2f} {load_after[2]:.2f}")
            for name, binary in builds if args.runs > 0 else []:
                print(f"{name} ({binary}): median (min, quartiles, max)")
                plain_wall, plain_cpu = figures[(name, False)]
                j_wall, j_cpu = figures[(name, True)]
                print(f"  without journal  wall {spread(plain_wall)}")
                print(f"                   cpu  {spread(plain_cpu)}")
                print(f"  with --resume    wall {spread(j_wall)}")
                print(f"                   cpu  {spread(j_cpu)}")
                p, j = statistics.median(plain_wall), statistics.median(j_wall)
                pc, jc = statistics.median(plain_cpu), statistics.median(j_cpu)
                print(f"  journal cost: wall {100 * (j - p) / p:+5.1f} %, cpu "
                      f"{100 * (jc - pc) / pc:+5.1f} % (medians; journal "
                      f"{journal_bytes[name] / 1e6:.1f} MB)")
                # Each journaled run against the plain run next to it: a load
                # that comes and goes weighs on both alike.
                for what, plain, journaled in (("wall", plain_wall, j_wall),
                                               ("cpu ", plain_cpu, j_cpu)):
                    pairs = sorted(100 * (b - a) / a for a, b in zip(plain, journaled))
                    q = statistics.quantiles(pairs, n=4, method="inclusive") if len(pairs) > 1 \
                        else pairs * 3
                    low, high = median_interval(pairs)
                    print(f"  paired {what}: median {statistics.median(pairs):+5.1f} % "
                          f"(95 % interval {low:+.1f}..{high:+.1f}; min {pairs[0]:+.1f}, "
                          f"quartiles {q[0]:+.1f}..{q[2]:+.1f}, max {pairs[-1]:+.1f})")
            base = [vettrix] + base

            # Killed at a quarter, a half and three quarters in turn.
            for kill in range(args.kills):
                at = args.pages * (1 + kill % 3) // 4
                if os.path.exists(journal):
                    os.remove(journal)
                before = served()
                killed = subprocess.Popen(base + ["--resume", journal, "-o",
                                                  os.path.join(tmp, "killed.jsonl")],
                                          stderr=subprocess.DEVNULL)
                while lines(journal) < at + 1:
                    if killed.poll() is not None:
                        sys.exit("the run ended before it was killed")
                    time.sleep(0.002)
                killed.send_signal(signal.SIGKILL)
                killed.wait()
                held = lines(journal) - 1
                at_kill = served() - before
                resumed_out = os.path.join(tmp, "resumed.jsonl")
                wall = timed(base + ["--resume", journal], resumed_out)
                total = served() - before
                tight = args.pages + args.jobs + threads
                bound = args.pages + args.jobs + 16 * threads
                with open(reference, "rb") as a, open(resumed_out, "rb") as b:
                    same = a.read() == b.read()
                print(f"killed with SIGKILL at {held} records in the journal ({at_kill} pages "
                      f"fetched by then), resumed in {wall:.3f} s:")
                print(f"  pages fetched in all {total}: "
                      f"{'within' if total <= tight else 'over'} {args.pages} + {args.jobs} jobs + "
                      f"{threads} threads = {tight}, "
                      f"{'within' if total <= bound else 'OVER'} the run's bound {args.pages} + "
                      f"{args.jobs} jobs + 16 x {threads} threads = {bound}")
                print(f"  resumed report {'equals' if same else 'DIFFERS FROM'} the "
                      f"uninterrupted run's")

            record = b'{"address":"http://127.0.0.1:1/page/1","index":1,' + b"x" * 500 + b"}\n"
            probe = os.path.join(tmp, "sync.probe")
            count = 2000
            for per_record in (False, True):
                fd = os.open(probe, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_APPEND)
                start = time.perf_counter()
                for _ in range(count):
                    os.write(fd, record)
                    if per_record:
                        os.fdatasync(fd)
                os.fdatasync(fd)
                t = time.perf_counter() - start
                os.close(fd)
                what = "fdatasync per record" if per_record else "one fdatasync     "
                print(f"  {count} records, {what}: {t * 1e6 / count:8.1f} us a record")
    finally:
        server.stdin.close()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()
