#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan on) and
# runs each for a bounded time on its seed corpus in tests/fuzz/corpus/:
#   fuzz_frame     frame drawing of every style
#   fuzz_jpeg      JPEG decoding from memory
#   fuzz_picture   the widget's picture loader, as .jpg, .bmp, .ico and .txt
#   fuzz_settings  the show's settings file: read every value, write one
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]]   (default 60, all four)
#
# MIREL_FUZZ_BUILD names the build folder (default build-fuzz). Crash inputs
# go to <build>/findings/; the grown corpora stay in <build>/corpus-<name>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_frame fuzz_jpeg fuzz_picture fuzz_settings)
build=${MIREL_FUZZ_BUILD:-build-fuzz}
CXX=clang++ CC=clang cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIREL_FUZZ=ON \
  -DMIREL_SANITIZE=ON -DMIREL_BUILD_TESTS=OFF -DMIREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
mkdir -p "$build/findings"
# The picture loader goes through Qt's image plugins, which want a platform.
export QT_QPA_PLATFORM=offscreen
for target in "${targets[@]}"; do
  corpus=tests/fuzz/corpus/${target#fuzz_}
  work=$build/corpus-${target#fuzz_}
  mkdir -p "$work"
  echo "== $target, $seconds s"
  "$build/tests/fuzz/$target" "$work" "$corpus" -max_total_time="$seconds" -rss_limit_mb=4096 \
    -artifact_prefix="$build/findings/" -print_final_stats=1 2>&1 |
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY|Done' || true
done
echo "findings (crash inputs), if any: $build/findings/"
ls "$build/findings"
