#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test: the Linux build,
# the sanitizer build, the Linux packages, the Windows builds under Wine,
# the fuzzers, the Windows zip and the benchmark.
#
# Every stage runs even when an earlier one failed. The end is a summary,
# one line per stage: passed, failed or skipped, with the counts and the
# reasons the tests gave for skipping. Exits 1 when any stage failed, 0 when
# stages only passed or were skipped.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
mkdir -p build

summary=()
any_failed=false
note() {  # note STAGE RESULT
  summary+=("$1: $2")
  [[ $2 != failed* ]] || any_failed=true
}
stage() { printf '\n===== %s\n' "$1"; }

stage setup
scripts/install-deps.sh --all 2>&1 | tee build/install-deps.log
[[ ${PIPESTATUS[0]} -eq 0 ]] || note setup "failed (install-deps.sh)"
while IFS= read -r line; do
  note setup "$line"
done < <(sed -n 's/^install-deps: \(not installed: .*\)/\1/p' build/install-deps.log)

# One ctest run in words, from its JUnit file: "passed 160/160", or
# "failed 1 of 6 (name), ...", or "skipped 4 of 6 (reason), 2 passed (names)".
# A skipped test gives its reason as a line "PROGRAM: REASON; skipping".
ctest_result() {  # ctest_result JUNIT_FILE CTEST_STATUS
  [[ -f $1 ]] || { echo "failed (no test results; ctest exited $2)"; return; }
  awk -v status="$2" '
    function attr(name) {
      return match($0, name "=\"[^\"]*\"") ? substr($0, RSTART + length(name) + 2, RLENGTH - length(name) - 3) : ""
    }
    function unescape(s) {
      gsub(/&apos;/, "\047", s); gsub(/&quot;/, "\"", s)
      gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&amp;/, "\\&", s)
      return s
    }
    function add(list, item) { return list == "" ? item : list ", " item }
    function finish() {
      if (name == "") return
      if (kind == "passed") { passed++; passed_names = add(passed_names, name) }
      else if (kind == "skipped") {
        skipped++
        if (reason == "") reason = "no reason given"
        if (!(reason in by_reason)) order[++reasons] = reason
        by_reason[reason]++
      } else { failed++; failed_names = add(failed_names, name) }
      name = ""
    }
    /<testcase / {
      finish()
      name = attr("name"); total++; reason = ""
      kind = attr("status") == "run" ? "passed" : "failed"
    }
    # ctest marks a skip, and a disabled test, with <skipped>; a test that
    # could not start is "notrun" too, but without them.
    /<skipped message="(SKIP_|Disabled)/ { kind = "skipped" }
    kind == "skipped" && reason == "" && /; skipping$/ {
      line = $0; sub(/.*<system-out>/, "", line)
      sub(/^[^:]*: /, "", line); sub(/; skipping$/, "", line)
      reason = unescape(line)
    }
    END {
      finish()
      passed += 0
      why = ""
      for (i = 1; i <= reasons; i++)
        why = why (i > 1 ? "; " : "") (reasons > 1 ? by_reason[order[i]] ": " : "") order[i]
      if (total == 0) { print "failed (no tests)"; exit }
      if (failed) {
        out = "failed " failed " of " total " (" failed_names "), " passed " passed"
        if (skipped) out = out ", " skipped " skipped (" why ")"
      } else if (skipped) {
        out = "skipped " skipped " of " total " (" why "), " passed " passed"
        if (passed && passed <= 3) out = out " (" passed_names ")"
      } else if (status != 0) {
        out = "failed (ctest exited " status ")"
      } else {
        out = "passed " passed "/" total
      }
      print out
    }' "$1"
}

declare -A built
test_preset() {  # test_preset STAGE PRESET
  local junit=$PWD/build/$2/ctest-results.xml status=0
  stage "$1 ($2)"
  if ! cmake --preset "$2" -DZPLPORT_WERROR=ON; then
    note "$1" "failed (configure)"
    return
  fi
  if ! cmake --build --preset "$2"; then
    note "$1" "failed (build)"
    return
  fi
  built[$2]=true
  rm -f "$junit"
  ctest --preset "$2" --output-junit "$junit" || status=$?
  note "$1" "$(ctest_result "$junit" "$status")"
}

test_preset Linux default
test_preset sanitizers asan

stage packages
if [[ -z ${built[default]:-} ]]; then
  note packages "skipped (the Linux build failed)"
elif scripts/check-packages.sh build/default 2>&1 | tee build/check-packages.log; then
  note packages "passed ($(sed -n 's/^packages OK: //p' build/check-packages.log))"
else
  note packages "failed (see check-packages.sh above)"
fi

for arch in x86:i686 x64:x86_64; do
  preset=windows-${arch%%:*}
  if command -v "${arch#*:}-w64-mingw32-g++-posix" >/dev/null; then
    test_preset "$preset" "$preset"
  else
    note "$preset" "skipped (mingw-w64 for ${arch#*:} is not installed)"
  fi
done

stage fuzzers
# Each fuzzer for a short, bounded time from the seed corpus.
fuzz_seconds=15
if ! command -v clang++ >/dev/null; then
  note fuzzers "skipped (clang is not installed)"
else
  FUZZ_SECONDS=$fuzz_seconds scripts/run-fuzzers.sh 2>&1 | tee build/fuzzers.log
  status=${PIPESTATUS[0]}
  ok=$(grep -c '^fuzz_.*: ok' build/fuzzers.log)
  bad=$(grep '^fuzz_.*: FAILED' build/fuzzers.log | cut -d: -f1 | paste -sd, - | sed 's/,/, /g')
  if [[ -n $bad ]]; then
    note fuzzers "failed ($bad), $ok passed"
  elif ((status != 0)); then
    note fuzzers "failed (build)"
  elif ((ok == 0)); then
    note fuzzers "skipped (no fuzz target was built)"
  else
    note fuzzers "passed $ok targets, $fuzz_seconds s each"
  fi
fi

stage zip
# The zip an operator unpacks on Windows.
if [[ -z ${built[windows-x86]:-} ]]; then
  note zip "skipped (windows-x86 was not built)"
elif (cd build/windows-x86 && cpack) 2>&1 | tee build/zip.log; then
  note zip "passed ($(sed -n 's|.*package: .*/\([^/]*\) generated\.|\1|p' build/zip.log))"
else
  note zip "failed (cpack)"
fi

stage benchmark
# The reference labels beside the checkout, where they are, time the printer
# on labels nobody here wrote.
if [[ -d ../shared/reference-labels/unit ]]; then
  export ZPLPORT_BENCH_LABELS=../shared/reference-labels/unit
fi
if [[ -z ${built[default]:-} ]]; then
  note benchmark "skipped (the Linux build failed)"
elif [[ ! -x build/default/bin/zplport_bench ]]; then
  note benchmark "skipped (Google Benchmark is not installed)"
elif build/default/bin/zplport_bench --benchmark_min_time=0.1 | tee build/benchmark.log; then
  note benchmark "passed ($(grep -c '^BM_' build/benchmark.log) benchmarks)"
else
  note benchmark "failed"
fi

stage summary
printf '%s\n' "${summary[@]}"
! $any_failed
