#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test: the Linux build,
# the sanitizer build, and the Windows builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --all

warnings=(-DZPLPORT_WERROR=ON)
for preset in default asan; do
  cmake --preset "$preset" "${warnings[@]}"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

scripts/check-packages.sh build/default

for preset in windows-x86 windows-x64; do
  cmake --preset "$preset" "${warnings[@]}"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
# Each fuzzer for a short, bounded time from the seed corpus.
FUZZ_SECONDS=15 scripts/run-fuzzers.sh

# The zip an operator unpacks on Windows.
(cd build/windows-x86 && cpack)

build/default/bin/zplport_bench --benchmark_min_time=0.1
