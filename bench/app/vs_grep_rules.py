#!/usr/bin/env python3
"""Times `vettrix check --json --rule-set all PAGE` (and the classic default)
against `rg -c -f PATTERNS PAGE` given the same literal and regex patterns, on
the generated 64 MiB page: several interleaved runs each, medians and ratios.
The patterns come from `vettrix rules --json --rule-set all`: literals
escaped (the classic ones in their capital and small forms), regexes as
written, `(?i)` where they ignore case. Element and header rules have no text
pattern for ripgrep: vettrix does that work on top (one tokenizer pass).

usage: bench/app/vs_grep_rules.py [--runs N] [--bytes N] [--build DIR] [--baseline DIR]
The build folder defaults to $BUILD_DIR or build/ and must hold bin/vettrix and
bin/bench_make_page. --baseline DIR times DIR/bin/vettrix too, interleaved
(say, a build of the code before a change). `--rule-set all --occurrences`
is timed beside: element rules and placed occurrences together.
"""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vs_grep import timed  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def escape(text):
    """A literal as ripgrep's regex syntax has it (which refuses needless escapes)."""
    return re.sub(r"([\\.^$|?*+()\[\]{}])", r"\\\1", text)


def case(ignore, pattern):
    return f"(?i:{pattern})" if ignore else pattern


def patterns(vettrix, rule_set):
    """The rule set's text patterns as ripgrep reads them."""
    out = subprocess.run([vettrix, "rules", "--json", "--rule-set", rule_set],
                         check=True, capture_output=True, text=True).stdout
    pats = []
    for line in out.splitlines():
        rule = json.loads(line)
        match = rule["match"]
        if rule["kind"] == "literal":
            text = match["literal"]
            forms = {text.upper(), text.lower()} if match["case"] == "classic" else {text}
            for form in sorted(forms):
                pats.append(case(match["case"] == "ignore", escape(form)))
        elif rule["kind"] == "regex":
            pats.append(case(match["flags"]["case"] == "ignore", match["regex"]))
    return pats


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=7)
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

    with tempfile.TemporaryDirectory(prefix="vettrix-bench-") as tmp:
        page = os.path.join(tmp, "page.html")
        subprocess.run([make_page, str(args.bytes), page], check=True)
        files = {}
        for name in ("classic", "all"):
            files[name] = os.path.join(tmp, f"{name}.txt")
            with open(files[name], "w") as f:
                f.write("\n".join(patterns(vettrix, name)) + "\n")
        commands = {
            "vettrix classic": [vettrix, "check", "--json", page],
            "rg classic": ["rg", "-c", "-f", files["classic"], page],
            "vettrix all": [vettrix, "check", "--json", "--rule-set", "all", page],
            "rg all": ["rg", "-c", "-f", files["all"], page],
            "vettrix all --occ": [vettrix, "check", "--json", "--rule-set", "all", "--occurrences",
                                  page],
        }
        builds = {"vettrix": vettrix}
        if args.baseline:
            base = os.path.join(args.baseline, "bin", "vettrix")
            if not os.access(base, os.X_OK):
                sys.exit(f"missing {base}")
            builds["baseline"] = base
            commands["baseline classic"] = [base, "check", "--json", page]
            commands["baseline all"] = [base, "check", "--json", "--rule-set", "all", page]
            commands["baseline all --occ"] = [base, "check", "--json", "--rule-set", "all",
                                              "--occurrences", page]
        for cmd in commands.values():  # warm the page cache
            timed(cmd)
        samples = {name: [] for name in commands}
        for _ in range(args.runs):
            for name, cmd in commands.items():
                samples[name].append(timed(cmd))

    print(f"page: {args.bytes} bytes, {args.runs} runs each, medians")
    medians = {}
    for name, runs in samples.items():
        wall = statistics.median(w for w, _, _ in runs)
        cpu = statistics.median(c for _, c, _ in runs)
        peak = max(m for _, _, m in runs)
        medians[name] = (wall, cpu)
        print(f"  {name:20s} wall {wall * 1000:8.1f} ms   cpu {cpu * 1000:8.1f} ms   "
              f"{args.bytes / wall / 1e9:6.2f} GB/s   peak {peak / 2**20:6.1f} MiB")
    for build in builds:
        for name, goal in (("classic", 1.0), ("all", 1.5), ("all --occ", None)):
            v, r = medians[f"{build} {name}"], medians["rg " + name.split()[0]]
            print(f"  ratio {build}/rg {name}: wall {v[0] / r[0]:.2f}, cpu {v[1] / r[1]:.2f}"
                  + (f" (goal: at most {goal})" if goal else ""))


if __name__ == "__main__":
    main()
