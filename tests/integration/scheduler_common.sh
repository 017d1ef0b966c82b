# What the scheduler tests share: a folder of their own, a loopback web
# server over pages made for the test, the list of their addresses, and one
# unsharded run to compare with. Sourced by slurm_test.sh and
# parallel_test.sh with VETTRIX and PYTHON set.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A tool the test needs, and the Debian package that brings it.
need() {
  command -v "$1" >/dev/null 2>&1 || fail "$1 is missing: install $2 (bash scripts/deps.sh does)"
}

[ -x "$VETTRIX" ] || fail "vettrix is not built at $VETTRIX"
[ -x "$PYTHON" ] || fail "python3 is missing at $PYTHON"

WORK=$(mktemp -d /tmp/vettrix-sched-XXXXXX)
chmod 700 "$WORK"
PIDS=()
cleanup() {
  local status=$?
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ "$status" -ne 0 ]; then
    for log in "$WORK"/*.log; do
      [ -f "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
  fi
  rm -rf "$WORK"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Pages with different findings, and a page that is not there (a 404).
mkdir -p "$WORK/site"
for i in $(seq 0 39); do
  page="<p>page $i</p>"
  [ $((i % 2)) -eq 0 ] && page="$page<script>go()</script>"
  [ $((i % 3)) -eq 0 ] && page="$page<form onclick=x>"
  [ $((i % 5)) -eq 0 ] && page="$page<embed src=x>"
  printf '%s\n' "$page" >"$WORK/site/p$i.html"
done

# The server binds port 0 on loopback and tells the port it got.
"$PYTHON" -c '
import functools, http.server, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
handler.log_message = lambda *a: None
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
print(server.server_address[1], flush=True)
server.serve_forever()
' "$WORK/site" >"$WORK/port" 2>"$WORK/server.log" &
PIDS+=($!)
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
PORT=$(head -n 1 "$WORK/port")
[ -n "$PORT" ] || fail "the loopback web server did not start"

: >"$WORK/list.txt"
for i in $(seq 0 39); do echo "http://127.0.0.1:$PORT/p$i.html" >>"$WORK/list.txt"; done
echo "http://127.0.0.1:$PORT/missing.html" >>"$WORK/list.txt"

# One run over the whole list: what the merged shards must equal.
cd "$WORK"
set +e
"$VETTRIX" check -q -l list.txt --json -o whole.jsonl
WHOLE_STATUS=$?
set -e
[ "$WHOLE_STATUS" -eq 1 ] || fail "the unsharded run ended with status $WHOLE_STATUS, not 1"
[ "$(wc -l <whole.jsonl)" -eq 41 ] || fail "the unsharded run reported $(wc -l <whole.jsonl) addresses, not 41"

# Merges out.1.jsonl ... out.4.jsonl and compares with the unsharded run.
merge_and_compare() {
  for k in 1 2 3 4; do [ -s "out.$k.jsonl" ] || fail "shard $k wrote no report (out.$k.jsonl)"; done
  set +e
  "$VETTRIX" merge -q --json -o merged.jsonl out.1.jsonl out.2.jsonl out.3.jsonl out.4.jsonl
  local status=$?
  set -e
  [ "$status" -eq "$WHOLE_STATUS" ] || fail "vettrix merge ended with status $status, not $WHOLE_STATUS"
  # The shards' objects carry their index; the unsharded run's do not.
  sed -E 's/,"index":[0-9]+//' merged.jsonl >merged.plain.jsonl
  cmp -s merged.plain.jsonl whole.jsonl ||
    fail "the merged shards differ from the unsharded run: $(diff merged.plain.jsonl whole.jsonl | head -n 5)"
  # Each shard held a quarter, by position.
  for k in 1 2 3 4; do
    [ "$(wc -l <"out.$k.jsonl")" -ge 10 ] || fail "shard $k reported $(wc -l <"out.$k.jsonl") addresses"
  done
}
