#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset) and runs each for a short,
# bounded time, starting from the seed corpus in fuzz/corpus/<target>.
# FUZZ_SECONDS sets the time per target (default 20). Exits non-zero when
# any target finds a crash, a leak or a broken invariant; the input that
# did it is left in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-20}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin=build/fuzz/bin
work=build/fuzz/work
findings=build/fuzz/findings
mkdir -p "$findings"
status=0
for target in ini_reader quantity count_labels zpl_parser aztec; do
  exe="$bin/fuzz_$target"
  if [[ ! -x "$exe" ]]; then
    echo "fuzz_$target: not built, skipped"
    continue
  fi
  # A working corpus of our own, so that the seeds in the tree stay small.
  mkdir -p "$work/$target"
  cp -n fuzz/corpus/"$target"/* "$work/$target"/ 2>/dev/null || true
  log="build/fuzz/fuzz_$target.log"
  if "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$findings/${target}-" "$work/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$target: ok, ${runs:-?} runs in ${seconds} s"
  else
    echo "fuzz_$target: FAILED, see $log"
    tail -n 30 "$log"
    status=1
  fi
done
exit "$status"
