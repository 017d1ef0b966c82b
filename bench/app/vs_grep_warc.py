#!/usr/bin/env python3
"""Times `vettrix check --warc ARCHIVE --json` against
`zcat ARCHIVE | rg -c -F -f MARKERS` on a web archive of at least 20,000
pages that `wget --warc-file` made of a loopback site (the HTML manual of
Debian's python3.11-doc, linked into as many copies as make the count, served
by Python's http.server on 127.0.0.1). Several interleaved runs each; prints
the medians (wall clock, CPU time) and the peak memory (GNU time's maximum
resident size), and the peak memory of a run over the archive given four
times, which stays that of one archive when memory is flat.

usage: bench/app/vs_grep_warc.py [--pages N] [--runs N] [--build DIR] [--docs DIR] [--keep DIR]
"""
import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vs_grep import FOUND, ROOT, SCANNED  # noqa: E402
from vs_grep_site import build_site  # noqa: E402


def gnu_timed(cmd):
    """Wall seconds, CPU seconds and peak memory (bytes) of one run of a shell
    command line, as GNU time tells them (the largest process of a pipeline)."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as out:
        start = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", out.name, "bash", "-c",
                               f"set -o pipefail; {cmd}"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        if proc.returncode not in (0, 1):
            sys.exit(f"failed ({proc.returncode}): {cmd}")
        user, system, peak_kib = out.read().split()[-3:]
    return wall, float(user) + float(system), int(peak_kib) * 1024


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_archive(site, tmp, made):
    """Serves the site on loopback and has wget fetch every page into one
    gzipped archive (wget's default: a gzip member per record). http.server
    drops a connection now and then under load: wget tries again."""
    port = free_port()
    server = subprocess.Popen([sys.executable, "-m", "http.server", str(port), "--bind",
                               "127.0.0.1", "-d", site],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.1)
        urls = os.path.join(tmp, "urls.txt")
        with open(urls, "w") as f:
            for folder, _, files in sorted(os.walk(site)):
                for name in sorted(files):
                    rel = os.path.relpath(os.path.join(folder, name), site)
                    f.write(f"http://127.0.0.1:{port}/{urllib.parse.quote(rel)}\n")
        base = os.path.join(tmp, "site")
        start = time.perf_counter()
        subprocess.run(["wget", "-q", "--tries=5", "--retry-connrefused", "--no-proxy",
                        "-O", "/dev/null", f"--warc-file={base}", "-i", urls],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print(f"wget archived {made} pages in {time.perf_counter() - start:.0f} s")
    finally:
        server.terminate()
        server.wait()
    return base + ".warc.gz"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pages", type=int, default=20000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--build", default=os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
    parser.add_argument("--docs", default="/usr/share/doc/python3.11/html")
    parser.add_argument("--keep", help="a folder to keep (or reuse) the archive in")
    args = parser.parse_args()
    vettrix = os.path.join(args.build, "bin", "vettrix")
    if not os.access(vettrix, os.X_OK):
        sys.exit(f"missing {vettrix}: build the target vettrix first")
    for tool in ("rg", "wget", "zcat"):
        if shutil.which(tool) is None:
            sys.exit(f"missing {tool}: scripts/deps.sh installs it")
    markers = [m.upper() for m in SCANNED] + [m.lower() for m in SCANNED] + [FOUND]
    with tempfile.TemporaryDirectory(prefix="vettrix-warc-") as tmp:
        work = args.keep or tmp
        os.makedirs(work, exist_ok=True)
        archive = os.path.join(work, "site.warc.gz")
        if not os.path.exists(archive):
            site = os.path.join(tmp, "site")
            made, distinct = build_site(args.docs, site, args.pages)
            print(f"site: {made} pages ({distinct} distinct)")
            archive = make_archive(site, work, made)
        marker_file = os.path.join(tmp, "markers.txt")
        with open(marker_file, "w") as f:
            f.write("\n".join(markers) + "\n")
        inflated = int(subprocess.run(f"zcat {archive} | wc -c", shell=True, capture_output=True,
                                      text=True).stdout)
        pages = subprocess.run([vettrix, "check", "--json", "--warc", archive],
                               capture_output=True, text=True).stdout.count("\n")
        print(f"archive: {os.path.getsize(archive) / 2**20:.0f} MiB gzipped, "
              f"{inflated / 2**20:.0f} MiB inflated, {pages} pages checked")
        commands = {
            "vettrix --warc": f"{vettrix} check -q --json --warc {archive} >/dev/null",
            "zcat | rg": f"zcat {archive} | rg -c -F -f {marker_file} >/dev/null",
        }
        for cmd in commands.values():  # warm the page cache
            gnu_timed(cmd)
        samples = {name: [] for name in commands}
        for _ in range(args.runs):
            for name, cmd in commands.items():
                samples[name].append(gnu_timed(cmd))
        four = gnu_timed(f"{vettrix} check -q --json" + f" --warc {archive}" * 4 + " >/dev/null")
    print(f"{args.runs} runs each, medians")
    medians = {}
    for name, runs in samples.items():
        wall = statistics.median(w for w, _, _ in runs)
        cpu = statistics.median(c for _, c, _ in runs)
        peak = max(m for _, _, m in runs)
        medians[name] = wall
        print(f"  {name:16s} wall {wall * 1000:8.1f} ms   cpu {cpu * 1000:8.1f} ms   "
              f"peak {peak / 2**20:6.1f} MiB")
    print(f"  vettrix over the archive four times: wall {four[0] * 1000:8.1f} ms   "
          f"peak {four[2] / 2**20:6.1f} MiB")
    print(f"  ratio vettrix/(zcat | rg): wall {medians['vettrix --warc'] / medians['zcat | rg']:.2f} "
          "(goal: at most 1.5)")


if __name__ == "__main__":
    main()
