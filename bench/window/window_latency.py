#!/usr/bin/env python3
"""Runs window_latency in alternation and prints medians.

usage: window_latency.py PATH/TO/window_latency [ROUNDS]

Serves a small page with findings on loopback, then times (1) Enter to the
first paint of the status line and to the filled list, (2) start-up to the
first painted window, the window and a bare QWidget of the same size taking
turns, so that both see the same machine load.
"""

import http.server
import statistics
import subprocess
import sys
import threading

PAGE = (b"<html><head><script>var x;</script></head><body><form action=/go></form>"
        b"<applet code=x></applet>" + b"<p>text</p>\n" * 2000 + b"</body></html>\n")


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(PAGE)))
        self.end_headers()
        self.wfile.write(PAGE)

    def log_message(self, *args):
        pass


def main():
    exe = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = f"http://127.0.0.1:{server.server_address[1]}/"

    out = subprocess.run([exe, "enter", url, str(rounds + 1)], check=True, capture_output=True,
                         text=True).stdout.split("\n")
    rows = [tuple(map(float, line.split())) for line in out if line.strip()][1:]  # first is warm-up
    print(f"Enter -> first status-line paint: median {statistics.median(r[0] for r in rows):.2f} ms"
          f" (min {min(r[0] for r in rows):.2f}, {len(rows)} rounds)")
    print(f"Enter -> filled list:             median {statistics.median(r[1] for r in rows):.2f} ms"
          f" (min {min(r[1] for r in rows):.2f})")

    times = {"window": [], "bare": []}
    for _ in range(rounds):
        for kind in times:
            times[kind].append(float(subprocess.run([exe, "startup", kind], check=True,
                                                    capture_output=True, text=True).stdout))
    for kind, t in times.items():
        print(f"start-up -> first paint, {kind:6}: median {statistics.median(t):.2f} ms"
              f" (min {min(t):.2f}, {len(t)} runs)")
    server.shutdown()


if __name__ == "__main__":
    main()
