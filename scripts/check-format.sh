#!/usr/bin/env bash
# Checks that every C++ file git tracks is formatted as .clang-format says.
# Prints each deviation and the files that have any; exits 1 when there are.
# CLANG_FORMAT names another clang-format binary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
clang_format=${CLANG_FORMAT:-clang-format}
command -v "$clang_format" >/dev/null || { echo "check-format: $clang_format not found" >&2; exit 2; }
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
((${#files[@]})) || { echo "check-format: git lists no C++ files under $root" >&2; exit 2; }

report=$("$clang_format" --dry-run --Werror "${files[@]}" 2>&1) && exit_code=0 || exit_code=$?
if ((exit_code)); then
  printf '%s\n' "$report" >&2
  echo "check-format: these files differ from .clang-format (run clang-format -i on them):" >&2
  grep -oE '^[^: ]+:[0-9]+:[0-9]+: (error|warning)' <<<"$report" | cut -d: -f1 | sort -u |
    sed 's/^/  /' >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
