#!/usr/bin/env bash
# Builds everything and runs the whole test suite: first the ordinary build,
# then every test again under AddressSanitizer and UBSan, then the widget's
# threaded tests and stress test under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
jobs=$(nproc)
# stage NAME: prints how long the run has taken so far, so that a slow stage
# shows in CI's log.
stage() { echo "== $(date -u +%T) +$((SECONDS / 60))m$((SECONDS % 60))s: $1"; }

stage "RelWithDebInfo build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The effect tests again with the scalar kernels and copies alone, and at -O3
# (Release), so that every kernel is checked both ways and under both
# optimisers.
stage "scalar kernels; Release build and tests"
MIREL_KERNELS=scalar build/tests/mirel_tests --gtest_brief=1
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DMIREL_BUILD_BENCH=OFF >/dev/null
cmake --build build-release -j"$jobs" --target mirel_tests
build-release/tests/mirel_tests --gtest_brief=1

# The sanitizer trees keep line tables only (-g1): all a report needs, and
# their objects build a tenth quicker than with full debug information.
stage "AddressSanitizer and UBSan build and tests"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DMIREL_SANITIZE=ON \
  -DMIREL_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

stage "ThreadSanitizer build and tests"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
  -DMIREL_TSAN=ON -DMIREL_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target mirel_view_tests
# (Not the paint tests on xcb: that platform's D-Bus thread races inside the
# uninstrumented libdbus.) Copies made inside the uninstrumented Qt are not
# checked: Qt guards its posted events with a futex of its own, which the
# sanitizer does not see, and an event posted by the animation thread while
# the GUI thread takes its events was now and then reported as a race.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1" QT_QPA_PLATFORM=offscreen \
  ctest --test-dir build-tsan/tests/view --output-on-failure -j"$jobs" -E view_paint_xcb
# The frei0r plugin's frames drawn on several threads at once, and the
# generator's per-thread seeds.
cmake --build build-tsan -j"$jobs" --target mirel_frei0r_tests
TSAN_OPTIONS="halt_on_error=1" ctest --test-dir build-tsan/tests/frei0r --output-on-failure -j"$jobs" \
  -R 'FramesDependOnlyOnInputsAndParameters|RandomScope'
# mirel-render's frame folders, compressed on several threads while the next
# frames are drawn, a large PNG's rows deflated in parts on several, and a
# transition's two pictures loaded side by side.
cmake --build build-tsan -j"$jobs" --target mirel-render render_units_test
TSAN_OPTIONS="halt_on_error=1" bash tests/render_cli_test.sh "$PWD/build-tsan/tools/render/mirel-render"
TSAN_OPTIONS="halt_on_error=1" build-tsan/tests/render_units_test --gtest_filter='PngParts.*:PicturePair.*'

# Every fuzz target for 10 seconds, as many at once as there are cores: its
# seed corpus (with every crash input found so far) replayed, and a little
# more. A crash input is kept as a seed in tests/fuzz/corpus/ and fails the
# run. The decoding libraries are the system's here; longer runs, with them
# instrumented too: scripts/fuzz.sh 600.
stage "fuzzing"
MIREL_FUZZ_DEPS=system MIREL_FUZZ_JOBS=$jobs ./scripts/fuzz.sh 10
stage "done"
