#!/usr/bin/env bash
# Replays the seed corpus of every fuzz target (deterministic: each input
# once), then fuzzes each for a bounded time from a fixed seed.
# Any crash, sanitizer report, check failure, timeout or out-of-memory fails.
#
#   fuzz/run_fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]
#
# BUILD_DIR is a build folder configured with -DKURVATAB_FUZZ=ON (clang).
# Inputs that fail are left in BUILD_DIR/fuzz-findings/.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-60}
src=$(cd "$(dirname "$0")" && pwd)
findings="$build/fuzz-findings"
mkdir -p "$findings"
# The corpus the fuzzers grow, and the folders the targets write in, are
# kept in memory where they can be: on a disk's file system, making a file
# can take a millisecond, the time of a hundred runs.
scratch=${TMPDIR:-/tmp}
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch=/dev/shm; fi
work=$(mktemp -d "$scratch/kurvatab-fuzz-corpus-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp"
export TMPDIR="$work/tmp"

# Longest input per target: enough for every structure the target parses.
# Targets not listed take 4096.
declare -A max_len=([fuzz_index]=8192 [fuzz_index_growth]=8192 [fuzz_index_cache]=16384 [fuzz_columns]=512 [fuzz_wformat]=1024
                    [fuzz_loop]=256 [fuzz_interp]=2048)
status=0
for bin in "$build"/fuzz/fuzz_*; do
  [ -x "$bin" ] && [ -f "$bin" ] || continue
  target=$(basename "$bin")
  mkdir -p "$src/corpus/$target"
  seeds="$src/corpus/$target"
  # The targets change their working directory, so every path is absolute.
  opts=(-timeout=20 -rss_limit_mb=2048 -max_len="${max_len[$target]:-4096}"
        -artifact_prefix="$findings/$target-" -print_final_stats=1)
  log="$work/$target.log"
  if ! "$bin" "${opts[@]}" -runs=0 "$seeds" >"$log" 2>&1; then
    echo "$target: replaying the seed corpus FAILED"; tail -n 40 "$log"; status=1; continue
  fi
  mkdir -p "$work/$target"
  if ! "$bin" "${opts[@]}" -seed=1 -max_total_time="$seconds" "$work/$target" "$seeds" >"$log" 2>&1; then
    echo "$target: FAILED (inputs in $findings)"; tail -n 40 "$log"; status=1; continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "$target: ${runs:-?} executions in ${seconds}s, no finding"
done
exit $status
