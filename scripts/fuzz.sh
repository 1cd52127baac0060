#!/usr/bin/env bash
# Runs each libFuzzer target of a build for a while, as many at a time as
# there are jobs: each gets its seconds whatever the others do.
#   scripts/fuzz.sh BUILD_DIR SECONDS JOBS TARGET...
# New inputs go to BUILD_DIR/corpus/TARGET; the seeds stay in fuzz/corpus.
# Each target's summary is printed; a target that fails prints its log's
# end, and the script exits 1.
set -euo pipefail
# Absolute: a target may change its working directory before it reads the corpus.
build=$(cd "$1" && pwd)
seconds=$2
jobs=$3
shift 3
source_dir=$(cd "$(dirname "$0")/.." && pwd)
export build seconds source_dir

one() {
  local target=$1
  mkdir -p "$build/corpus/$target"
  if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$build/" "$build/corpus/$target" "$source_dir/fuzz/corpus/$target" \
      2> "$build/fuzz_$target.log"; then
    echo "== fuzz_$target for $seconds s: $(grep -E '^#[0-9]+.*DONE' "$build/fuzz_$target.log" | tail -n 1)"
  else
    echo "== fuzz_$target FAILED"
    tail -n 40 "$build/fuzz_$target.log"
    return 1
  fi
}
export -f one

printf '%s\n' "$@" | xargs -P "$jobs" -I{} bash -c 'one {}' || exit 1
