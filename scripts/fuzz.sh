#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with Clang and runs each for a while.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 60); all targets unless named. Runs FUZZ_JOBS
# targets at once (default 2). Each target starts from its seed corpus in
# fuzz/corpus/NAME, which is only read; what a run adds goes to
# BUILD_DIR/fuzz-corpus/NAME and is kept between runs. A fault leaves its
# input in BUILD_DIR/fuzz-artifacts/ and makes the script fail; put it into
# fuzz/corpus/NAME and a unit test. Prints executions, coverage (edges) and
# faults per target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}
seconds=${1:-60}
shift || true
parallel=${FUZZ_JOBS:-2}
# Every target fuzz/CMakeLists.txt lists, so that a new one is never left out.
read -r -a all <<<"$(sed -n '/^set(VETTRIX_FUZZ_TARGETS/,/)/p' "$root/fuzz/CMakeLists.txt" |
  sed 's/^set(VETTRIX_FUZZ_TARGETS//; s/)//' | tr '\n' ' ')"
((${#all[@]})) || { echo "fuzz.sh: no targets in fuzz/CMakeLists.txt" >&2; exit 1; }
targets=("$@")
((${#targets[@]})) || targets=("${all[@]}")

cxx=${FUZZ_CXX:-$(command -v clang++-14 || command -v clang++ || true)}
[[ -n "$cxx" ]] || { echo "fuzz.sh: clang++ is needed (Debian: clang-14, libclang-rt-14-dev)" >&2; exit 1; }
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVETTRIX_FUZZ=ON -DVETTRIX_TESTS=OFF -DVETTRIX_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -- -j "${FUZZ_BUILD_JOBS:-$(nproc)}"

logs=$build/fuzz-logs
mkdir -p "$logs" "$build/fuzz-artifacts"
run_one() {
  local t=$1 dict=() work=$build/fuzz-corpus/$1
  mkdir -p "$work"
  [[ -f "$root/fuzz/$t.dict" ]] && dict=(-dict="$root/fuzz/$t.dict")
  # Memory is part of what is tested: an input that needs more than 1 GB
  # (or one allocation beyond it) is a fault.
  "$build/bin/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$t-" "${dict[@]}" \
    "$work" "$root/fuzz/corpus/$t" >"$logs/$t.log" 2>&1
}

declare -A status=()
pids=()
names=()
for t in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= parallel)); do wait -n || true; done
  run_one "$t" &
  pids+=($!)
  names+=("$t")
done
failed=0
for i in "${!pids[@]}"; do
  if wait "${pids[$i]}"; then status[${names[$i]}]=0; else status[${names[$i]}]=$?; failed=1; fi
done

printf '%-22s %12s %8s  %s\n' target executions edges faults
for t in "${targets[@]}"; do
  log=$logs/$t.log
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1 || true)
  cov=$(grep -a -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  faults=none
  if [[ ${status[$t]} != 0 ]]; then
    reason=$(grep -a -m1 -o '==[0-9]*== *ERROR: .*\|Test unit written to .*\|ParseDictionaryFile: .*' "$log" || true)
    faults="status ${status[$t]}: ${reason:-see the log} (log: $log)"
  fi
  printf '%-22s %12s %8s  %s\n' "$t" "${execs:-?}" "${cov:-?}" "$faults"
done
exit "$failed"
