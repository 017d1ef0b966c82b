#!/usr/bin/env python3
"""Times `vettrix check --json PAGE` against `grep -c -F -f MARKERS PAGE` and
`rg -c -F -f MARKERS PAGE` on the same generated 64 MiB page, several
interleaved runs each, and prints the medians (wall clock and CPU time of the
whole process, and peak memory) and their ratios. `vettrix check --json
--occurrences` (every occurrence placed in the markup) is timed beside them.

usage: bench/app/vs_grep.py [--runs N] [--bytes N] [--build DIR] [--baseline DIR]
The build folder defaults to $BUILD_DIR or build/ and must hold bin/vettrix and
bin/bench_make_page (build them with a Release or RelWithDebInfo build).
--baseline DIR times DIR/bin/vettrix too, interleaved with the rest (say, a
build of the code before a change), and prints its ratios beside.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# Rules 1 to 19 are looked for in capitals and in small letters; rule 20 as written.
SCANNED = ["<script", "<object", "<applet", "<embed", "<form", "window.open", "onload=",
           "mousedown", "addfavorite", "application/x-shockwave-flash", "onclick",
           "onmousedown", "onmousemove", "onmouseover", "self.close", "onmousewheel",
           "win.focus", "function showdown", "CreateObject"]
FOUND = "cdromCollection"


def timed(cmd, env=None):
    """Wall seconds, CPU seconds (user + system) and peak memory (bytes) of one
    run of cmd."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    cpu = usage.ru_utime + usage.ru_stime
    code = os.waitstatus_to_exitcode(status)
    if code not in (0, 1):
        sys.exit(f"{cmd[0]} failed ({code})")
    return wall, cpu, usage.ru_maxrss * 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--bytes", type=int, default=64 << 20)
    parser.add_argument("--build", default=os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
    parser.add_argument("--baseline", help="a second build folder to time, before a change")
    args = parser.parse_args()

    vettrix = os.path.join(args.build, "bin", "vettrix")
    make_page = os.path.join(args.build, "bin", "bench_make_page")
    for tool in (vettrix, make_page):
        if not os.access(tool, os.X_OK):
            sys.exit(f"missing {tool}: build the targets vettrix and bench_make_page first")
    if subprocess.run(["which", "rg"], capture_output=True).returncode != 0:
        sys.exit("missing rg (ripgrep): scripts/deps.sh installs it")

    markers = [m.upper() for m in SCANNED] + [m.lower() for m in SCANNED] + [FOUND]
    assert len(set(markers)) == 39
    with tempfile.TemporaryDirectory(prefix="vettrix-bench-") as tmp:
        page = os.path.join(tmp, "page.html")
        marker_file = os.path.join(tmp, "markers.txt")
        subprocess.run([make_page, str(args.bytes), page], check=True)
        with open(marker_file, "w") as f:
            f.write("\n".join(markers) + "\n")

        # grep in the C locale, its fastest setting.
        grep_env = dict(os.environ, LC_ALL="C")
        commands = {
            "vettrix": ([vettrix, "check", "--json", page], None),
            "vettrix --occurrences": ([vettrix, "check", "--json", "--occurrences", page], None),
            "grep": (["grep", "-c", "-F", "-f", marker_file, page], grep_env),
            "rg": (["rg", "-c", "-F", "-f", marker_file, page], None),
        }
        if args.baseline:
            base = os.path.join(args.baseline, "bin", "vettrix")
            if not os.access(base, os.X_OK):
                sys.exit(f"missing {base}")
            commands["baseline"] = ([base, "check", "--json", page], None)
            commands["baseline --occurrences"] = (
                [base, "check", "--json", "--occurrences", page], None)
        for cmd, env in commands.values():  # warm the page cache
            timed(cmd, env)
        samples = {name: [] for name in commands}
        for _ in range(args.runs):
            for name, (cmd, env) in commands.items():
                samples[name].append(timed(cmd, env))

    print(f"page: {args.bytes} bytes, {args.runs} runs each, medians")
    medians = {}
    for name, runs in samples.items():
        wall = statistics.median(w for w, _, _ in runs)
        cpu = statistics.median(c for _, c, _ in runs)
        peak = max(m for _, _, m in runs)
        medians[name] = (wall, cpu)
        print(f"  {name:22s} wall {wall * 1000:8.1f} ms   cpu {cpu * 1000:8.1f} ms   "
              f"{args.bytes / wall / 1e9:6.2f} GB/s   peak {peak / 2**20:6.1f} MiB "
              f"({peak / args.bytes:.2f}x the page)")
    goals = {"vettrix": 1.0, "vettrix --occurrences": 2.0}
    if args.baseline:
        goals.update({"baseline": 1.0, "baseline --occurrences": 2.0})
    for name, goal in goals.items():
        for peer in ("grep", "rg"):
            ratio_wall = medians[name][0] / medians[peer][0]
            ratio_cpu = medians[name][1] / medians[peer][1]
            print(f"  ratio {name}/{peer}: wall {ratio_wall:.2f}, cpu {ratio_cpu:.2f} "
                  f"(goal against rg: at most {goal})")


if __name__ == "__main__":
    main()
