#!/bin/bash
# Makes the pictures of the button's looks in docs/ with the built tool: every
# look in every state, for a device pixel ratio of 1 and of 2.
#   BUILD_DIR=build bash scripts/looks-pictures.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tool="${BUILD_DIR:-build}/bin/torvelbutton"
if [ ! -x "$tool" ]; then
  echo "$0: $tool is not built (cmake --build ${BUILD_DIR:-build} --target torvelbutton)" >&2
  exit 1
fi
"$tool" gallery -o docs/gallery.png
"$tool" gallery --scale 2 -o docs/gallery@2x.png
echo "docs/gallery.png docs/gallery@2x.png"
