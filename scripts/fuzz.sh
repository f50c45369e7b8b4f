#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan on) and
# runs each for a bounded time on its seed corpus in tests/fuzz/corpus/.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CXX=clang++ CC=clang cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIREL_FUZZ=ON \
  -DMIREL_SANITIZE=ON -DMIREL_BUILD_TESTS=OFF -DMIREL_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_frame fuzz_jpeg
mkdir -p build-fuzz/findings
for target in fuzz_frame fuzz_jpeg; do
  corpus=tests/fuzz/corpus/${target#fuzz_}
  work=build-fuzz/corpus-${target#fuzz_}
  mkdir -p "$work"
  echo "== $target, $seconds s"
  "build-fuzz/tests/fuzz/$target" "$work" "$corpus" -max_total_time="$seconds" -rss_limit_mb=4096 \
    -artifact_prefix=build-fuzz/findings/ -print_final_stats=1 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|Done' || true
done
echo "findings (crash inputs), if any: build-fuzz/findings/"
ls build-fuzz/findings
