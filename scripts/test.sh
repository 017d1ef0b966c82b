#!/usr/bin/env bash
# Builds everything (warnings are errors here) and runs every test, the
# package test included. Ends with CTest's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export VETTRIX_WERROR=${VETTRIX_WERROR:-1}
bash "$root/scripts/build.sh"
# Window tests run on Qt's offscreen platform unless a display is given.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
cd "$build"
ctest --output-on-failure --no-tests=error -j "$(nproc)"
