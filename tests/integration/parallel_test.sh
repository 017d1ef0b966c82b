#!/bin/bash
# Four shards of one list run by GNU parallel, merged with vettrix merge,
# equal one unsharded run. Usage: parallel_test.sh VETTRIX PYTHON
set -euo pipefail
VETTRIX=$1
PYTHON=$2
. "$(dirname "$0")/scheduler_common.sh"
need parallel parallel

# vettrix's status 1 (something found) is a success for the shard.
parallel --will-cite --halt now,fail=1 \
  "$VETTRIX check -q --shard {}/4 -l list.txt --json -o out.{}.jsonl; [ \$? -le 1 ]" ::: 1 2 3 4 ||
  fail "a shard run by parallel failed"
merge_and_compare
echo "parallel: 4 shards merged equal the unsharded run"
