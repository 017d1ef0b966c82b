#!/usr/bin/env python3
"""Times `vettrix check --json --jobs 64 -l LIST` against
`curl --parallel --parallel-max 64` fetching the same pages to /dev/null, both
from a loopback server of our own (bench_page_server: 512 generated pages of 2
to 30 KB in memory, a thread per connection), interleaved runs, and prints the
median wall time and the peak memory (maximum resident set) of each.
Then checks lists of 10 000, 100 000 and 1 000 000 addresses on a closed port
(every one an immediate failure) and prints wall time and peak memory for
each: memory must stay flat.

usage: bench/app/vs_curl.py [--runs N] [--pages N,N] [--failures N,N,N]
                            [--build DIR] [--before VETTRIX]
--before names another vettrix (an older build) to time in the same runs; it
gets the addresses on its command line when it knows no --list.
The build folder defaults to $BUILD_DIR or build/ and must hold bin/vettrix and
bin/bench_page_server (a Release or RelWithDebInfo build).
"""
import argparse
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def run(cmd):
    """Wall seconds, peak resident memory (MiB) and CPU seconds of one run of cmd.

    The peak comes from GNU time, not from this script's own wait: a child
    forked from Python starts with Python's memory counted in its peak."""
    with tempfile.NamedTemporaryFile("r", prefix="vettrix-rss-") as rss_file:
        start = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-q", "-f", "%M %U %S", "-o", rss_file.name] + cmd,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        if proc.returncode not in (0, 1, 2, 7):  # curl says 7 when it cannot connect
            sys.exit(f"{cmd[0]} failed with status {proc.returncode}")
        kib, user, system = rss_file.read().split()[-3:]
    return wall, int(kib) / 1024.0, float(user) + float(system)


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()  # nothing listens there now
    return port


def supports_list(vettrix):
    out = subprocess.run([vettrix, "check", "--help"], capture_output=True, text=True).stdout
    return "--list" in out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--pages", default="2000,20000")
    parser.add_argument("--failures", default="10000,100000,1000000")
    parser.add_argument("--build", default=os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
    parser.add_argument("--before", help="another vettrix to time alongside")
    args = parser.parse_args()

    vettrix = os.path.join(args.build, "bin", "vettrix")
    server_bin = os.path.join(args.build, "bin", "bench_page_server")
    for tool in (vettrix, server_bin):
        if not os.access(tool, os.X_OK):
            sys.exit(f"missing {tool}: build the targets vettrix and bench_page_server first")
    for peer in ("curl", "/usr/bin/time"):
        if subprocess.run(["which", peer], capture_output=True).returncode != 0:
            sys.exit(f"missing {peer}: scripts/deps.sh installs it")
    # Loopback requests must not go through a proxy the environment names.
    for name in [k for k in os.environ if k.lower().endswith("_proxy")]:
        del os.environ[name]

    server = subprocess.Popen([server_bin], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    port = int(server.stdout.readline())
    try:
        with tempfile.TemporaryDirectory(prefix="vettrix-bench-") as tmp:
            print(f"loopback pages of 2-30 KB, {args.runs} interleaved runs each: median wall and "
                  f"CPU (user + system) time, highest peak RSS")
            for pages in [int(n) for n in args.pages.split(",") if n]:
                urls = [f"http://127.0.0.1:{port}/page/{i}" for i in range(pages)]
                url_list = os.path.join(tmp, f"urls-{pages}.txt")
                with open(url_list, "w") as f:
                    f.write("\n".join(urls) + "\n")
                config = os.path.join(tmp, f"curl-{pages}.cfg")
                with open(config, "w") as f:
                    for u in urls:
                        f.write(f'url = "{u}"\noutput = "/dev/null"\n')
                commands = {
                    "curl --parallel-max 64": ["curl", "-s", "--parallel", "--parallel-max", "64",
                                               "-K", config],
                    "vettrix --jobs 64": [vettrix, "check", "--json", "--jobs", "64", "-l", url_list],
                    "vettrix --jobs 64 --per-host 64": [vettrix, "check", "--json", "--jobs", "64",
                                                        "--per-host", "64", "-l", url_list],
                }
                if args.before:
                    if supports_list(args.before):
                        commands["before --jobs 64"] = [args.before, "check", "--json", "--jobs",
                                                        "64", "-l", url_list]
                    else:
                        commands["before --jobs 64"] = [args.before, "check", "--json", "--jobs",
                                                        "64"] + urls
                for cmd in commands.values():  # warm up
                    run(cmd)
                samples = {name: [] for name in commands}
                for _ in range(args.runs):
                    for name, cmd in commands.items():
                        samples[name].append(run(cmd))
                print(f"{pages} pages:")
                peer = samples["curl --parallel-max 64"]
                curl_wall = statistics.median(w for w, _, _ in peer)
                curl_cpu = statistics.median(c for _, _, c in peer)
                for name, runs in samples.items():
                    wall = statistics.median(w for w, _, _ in runs)
                    cpu = statistics.median(c for _, _, c in runs)
                    rss = max(m for _, m, _ in runs)
                    print(f"  {name:34s} wall {wall:7.3f} s ({wall / curl_wall:4.2f}x curl)  "
                          f"cpu {cpu:6.2f} s ({cpu / curl_cpu:4.2f}x)  peak {rss:6.1f} MiB")

            port_closed = closed_port()
            print("addresses on a closed port (each an immediate failure), one run each:")
            for count in [int(n) for n in args.failures.split(",") if n]:
                failing = os.path.join(tmp, f"closed-{count}.txt")
                with open(failing, "w") as f:
                    for i in range(count):
                        f.write(f"http://127.0.0.1:{port_closed}/{i}\n")
                wall, rss, _ = run([vettrix, "check", "--json", "--jobs", "64", "-l", failing])
                print(f"  {count:8d} addresses  wall {wall:7.2f} s  peak {rss:6.1f} MiB")
                os.remove(failing)
    finally:
        server.stdin.close()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()
