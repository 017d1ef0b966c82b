#!/usr/bin/env python3
"""Times `vettrix check -r --json SITE` (with and without --occurrences)
against `rg -c -F -f MARKERS SITE` on a folder of at least 20,000 real pages:
the HTML manual Debian's python3.11-doc ships, linked into as many copies as
make the count, several interleaved runs each; prints the medians (wall clock,
CPU time, peak memory) and the ratios.

usage: bench/app/vs_grep_site.py [--pages N] [--runs N] [--build DIR] [--docs DIR]
                                 [--before VETTRIX]
--before times another vettrix binary (say, one built from an earlier commit)
in the same interleaved runs, so that a change is measured before and after
on the same machine at the same time.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vs_grep import FOUND, ROOT, SCANNED, timed  # noqa: E402


def build_site(docs, site, pages):
    """Links the manual's pages into copy folders until `pages` are there."""
    sources = []
    for folder, _, files in os.walk(docs):
        sources += [os.path.join(folder, f) for f in files if f.endswith(".html")]
    if not sources:
        sys.exit(f"no pages under {docs}: install python3.11-doc (scripts/deps.sh)")
    made = 0
    copy = 0
    while made < pages:
        for src in sources:
            if made >= pages:
                break
            dst = os.path.join(site, f"copy{copy:03d}", os.path.relpath(src, docs))
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            try:
                os.link(src, dst)
            except OSError:
                shutil.copyfile(src, dst)
            made += 1
        copy += 1
    return made, len(sources)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pages", type=int, default=20000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--build", default=os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
    parser.add_argument("--docs", default="/usr/share/doc/python3.11/html")
    parser.add_argument("--before", help="another vettrix binary to time beside this build's")
    args = parser.parse_args()
    vettrix = os.path.join(args.build, "bin", "vettrix")
    if not os.access(vettrix, os.X_OK):
        sys.exit(f"missing {vettrix}: build the target vettrix first")
    if args.before and not os.access(args.before, os.X_OK):
        sys.exit(f"missing {args.before}: --before names no program")
    if shutil.which("rg") is None:
        sys.exit("missing rg (ripgrep): scripts/deps.sh installs it")
    markers = [m.upper() for m in SCANNED] + [m.lower() for m in SCANNED] + [FOUND]
    with tempfile.TemporaryDirectory(prefix="vettrix-site-") as tmp:
        site = os.path.join(tmp, "site")
        made, distinct = build_site(args.docs, site, args.pages)
        marker_file = os.path.join(tmp, "markers.txt")
        with open(marker_file, "w") as f:
            f.write("\n".join(markers) + "\n")
        size = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(site) for f in fs)
        commands = {}
        if args.before:
            commands["before"] = [args.before, "check", "-q", "-r", "--json", site]
            commands["before --occurrences"] = [args.before, "check", "-q", "-r", "--json",
                                                "--occurrences", site]
        commands.update({
            "vettrix": [vettrix, "check", "-q", "-r", "--json", site],
            "vettrix --occurrences": [vettrix, "check", "-q", "-r", "--json", "--occurrences", site],
            "rg": ["rg", "-c", "-F", "-f", marker_file, site],
        })
        for cmd in commands.values():  # warm the page cache
            timed(cmd)
        samples = {name: [] for name in commands}
        for _ in range(args.runs):
            for name, cmd in commands.items():
                samples[name].append(timed(cmd))
    print(f"site: {made} pages ({distinct} distinct), {size / 2**20:.0f} MiB, {args.runs} runs each, "
          "medians")
    medians = {}
    for name, runs in samples.items():
        wall = statistics.median(w for w, _, _ in runs)
        cpu = statistics.median(c for _, c, _ in runs)
        peak = max(m for _, _, m in runs)
        medians[name] = (wall, cpu)
        print(f"  {name:22s} wall {wall * 1000:8.1f} ms   cpu {cpu * 1000:8.1f} ms   "
              f"peak {peak / 2**20:6.1f} MiB")
    goals = {"vettrix": 1.0, "vettrix --occurrences": 1.5}
    if args.before:
        goals = {"before": 1.0, "before --occurrences": 1.5, **goals}
    for name, goal in goals.items():
        print(f"  ratio {name}/rg: wall {medians[name][0] / medians['rg'][0]:.2f}, "
              f"cpu {medians[name][1] / medians['rg'][1]:.2f} (goal: at most {goal})")


if __name__ == "__main__":
    main()
