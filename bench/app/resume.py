#!/usr/bin/env python3
"""The cost and the saving of `vettrix check --resume`, on loopback pages.

1. The journal's cost: uninterrupted runs over N pages (default 20 000) with
   and without --resume (a fresh journal each time), interleaved; median wall
   time of each and the difference in per cent (goal: at most 5 %).
2. A run killed with SIGKILL at about half, then resumed: the pages fetched
   by both together (counted by the server), against the bound of N + --jobs +
   16 x the checking threads; and the resumed report against an uninterrupted
   run's (they must be equal).
3. What syncing each record would cost instead of batches: write+fdatasync
   per record against one fdatasync at the end, on the journal's disk.

usage: bench/app/resume.py [--pages N] [--runs N] [--jobs N] [--build DIR]
The build folder defaults to $BUILD_DIR or build/ and must hold bin/vettrix
and bin/bench_page_server.
"""
import argparse
import os
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pages", type=int, default=20000)
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--jobs", type=int, default=16)
    parser.add_argument("--build", default=os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
    args = parser.parse_args()
    vettrix = os.path.join(args.build, "bin", "vettrix")
    server_bin = os.path.join(args.build, "bin", "bench_page_server")
    for tool in (vettrix, server_bin):
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
            base = [vettrix, "check", "-q", "--json", "--jobs", str(args.jobs), "-l", url_list]
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

            timed(base, reference)  # warm up
            plain, journaled, plain_cpu, journaled_cpu = [], [], [], []
            for _ in range(args.runs):
                plain.append(timed(base, os.path.join(tmp, "plain.jsonl"), plain_cpu))
                if os.path.exists(journal):
                    os.remove(journal)
                journaled.append(timed(base + ["--resume", journal], os.path.join(tmp, "j.jsonl"),
                                       journaled_cpu))
            p, j = statistics.median(plain), statistics.median(journaled)
            pc, jc = statistics.median(plain_cpu), statistics.median(journaled_cpu)
            print(f"{args.pages} loopback pages, --jobs {args.jobs}, {threads} checking threads, "
                  f"{args.runs} interleaved runs, medians (wall; CPU user + system):")
            print(f"  without journal  wall {p:7.3f} s  cpu {pc:6.2f} s")
            print(f"  with --resume    wall {j:7.3f} s  cpu {jc:6.2f} s   journal cost: wall "
                  f"{100 * (j - p) / p:+5.1f} %, cpu {100 * (jc - pc) / pc:+5.1f} %  "
                  f"(journal {os.path.getsize(journal) / 1e6:.1f} MB)")

            os.remove(journal)
            before = served()
            killed = subprocess.Popen(base + ["--resume", journal, "-o",
                                              os.path.join(tmp, "killed.jsonl")],
                                      stderr=subprocess.DEVNULL)
            while lines(journal) < args.pages // 2 + 1:
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
            bound = args.pages + args.jobs + 16 * threads
            with open(reference, "rb") as a, open(resumed_out, "rb") as b:
                same = a.read() == b.read()
            print(f"killed with SIGKILL at {held} records in the journal ({at_kill} pages "
                  f"fetched by then), resumed in {wall:.3f} s:")
            print(f"  pages fetched in all {total} (bound {args.pages} + {args.jobs} jobs + 16 x "
                  f"{threads} threads = {bound}): {'within' if total <= bound else 'OVER'}")
            print(f"  resumed report {'equals' if same else 'DIFFERS FROM'} the uninterrupted run's")

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
