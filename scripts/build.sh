#!/usr/bin/env bash
# Configures and builds into BUILD_DIR (default build/). VETTRIX_SANITIZE=1
# builds with AddressSanitizer + UndefinedBehaviorSanitizer; VETTRIX_WERROR=1
# makes warnings errors; BUILD_TYPE (default RelWithDebInfo) and CXX choose the
# build type and the compiler of a new build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
sanitize=${VETTRIX_SANITIZE:-0}
werror=${VETTRIX_WERROR:-0}

bash "$root/scripts/deps.sh"

args=(-S "$root" -B "$build" -G Ninja)
if [[ "$sanitize" == 1 ]]; then
  args+=(-DCMAKE_BUILD_TYPE=Debug -DVETTRIX_SANITIZE=ON -DVETTRIX_BENCH=OFF)
else
  args+=(-DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}")
fi
if [[ "$werror" == 1 ]]; then args+=(-DVETTRIX_WERROR=ON); else args+=(-DVETTRIX_WERROR=OFF); fi
cmake "${args[@]}" >/dev/null
cmake --build "$build" "$@"
