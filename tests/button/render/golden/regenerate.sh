#!/usr/bin/env bash
# Redraws every golden button of cases.txt with the torvelbutton tool.
# usage: regenerate.sh BUILD_DIR   (look at the results before keeping them)
set -euo pipefail
GOLDEN=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$GOLDEN/../../../.." && pwd)
tool=${1:?usage: regenerate.sh BUILD_DIR}/bin/torvelbutton
[[ -x "$tool" ]] || { echo "no tool at $tool" >&2; exit 1; }
export ROOT GOLDEN
while read -r name args; do
  [[ -z "$name" || "$name" == \#* ]] && continue
  eval "\"\$tool\" render $args -o \"\$GOLDEN/$name.png\""
  echo "wrote $GOLDEN/$name.png"
done < "$GOLDEN/cases.txt"
