#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan on) and
# runs each for a bounded time on its seed corpus in tests/fuzz/corpus/:
#   fuzz_frame     frame drawing of every style
#   fuzz_jpeg      JPEG decoding from memory
#   fuzz_bmp, fuzz_ico, fuzz_png, fuzz_webp
#                  the picture module's decoders, each with a fit of the result
#   fuzz_picture   the widget's picture loader, under every extension
#   fuzz_settings  the show's settings file: read every value, write one
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]]   (default 60, all)
#
# The decoding libraries are instrumented too, so that the fuzzer is guided
# by their branches and not only by ours: libjpeg-turbo, libpng and libwebp
# are built from Debian's source packages of the installed versions (fetched
# once with apt-get into the build folder, through a private source list; the
# system's apt configuration is not touched) and linked statically. Without
# network the targets link the system's libraries instead, and say so.
#
# Environment: MIREL_FUZZ_DEPS=system links the system's decoding libraries
# without building instrumented ones (quicker, for a short run that mostly
# replays the corpus); MIREL_FUZZ_BUILD names the build folder (default build-fuzz);
# MIREL_FUZZ_JOBS runs that many targets at once (default 1). Crash inputs go
# to <build>/findings/ and are copied into the target's seed corpus, where
# every later run replays them; the script then ends with status 1. Inputs
# slower than 10 s stay in <build>/findings/ and are only reported. The grown
# corpora stay in <build>/corpus-<name>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(fuzz_frame fuzz_jpeg fuzz_bmp fuzz_ico fuzz_png fuzz_webp fuzz_picture fuzz_settings)
build=${MIREL_FUZZ_BUILD:-build-fuzz}
jobs=${MIREL_FUZZ_JOBS:-1}
mkdir -p "$build"
build=$(cd "$build" && pwd)
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1"

# instrument SOURCE_PACKAGE CMAKE_OPTIONS...: builds the installed version
# of a library from its Debian source package into $build/deps. Quiet and
# quick once done.
instrument() {
  local package=$1 stamp=$build/deps/.$1
  shift
  [ -e "$stamp" ] && return 0
  local apt=$build/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$build/src"
  # The machine's own Debian sources (those signed by Debian's archive key),
  # as source-package entries.
  mkdir -p "$apt/sources.list.d"
  sed -n 's/^deb /deb-src /p' /etc/apt/sources.list 2>/dev/null >"$apt/sources.list" || true
  local part
  for part in /etc/apt/sources.list.d/*.sources; do
    grep -q debian-archive-keyring "$part" 2>/dev/null &&
      sed 's/^Types:.*/Types: deb-src/' "$part" >"$apt/sources.list.d/${part##*/}"
  done
  local options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
                 -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -qq)
  [ -e "$apt/updated" ] || { apt-get "${options[@]}" update >/dev/null 2>&1 && touch "$apt/updated"; } || return 1
  # The installed version first, else any other the archive offers.
  local installed version fetched=
  installed=$(dpkg-query -W -f='${source:Version}' "$(dpkg-query -S "*/lib/x86_64-linux-gnu/$2" 2>/dev/null | head -1 | cut -d: -f1)" 2>/dev/null || true)
  shift
  for version in $installed $(apt-cache "${options[@]}" showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' | sort -r); do
    if (cd "$build/src" && rm -f "$package"_* && apt-get "${options[@]}" source --download-only "$package=$version" >/dev/null 2>&1); then
      fetched=$version
      break
    fi
  done
  [ -n "$fetched" ] || return 1
  local tarball
  tarball=$(ls "$build/src/${package}"_*.orig.tar.* | head -1)
  rm -rf "$build/src/$package" && mkdir -p "$build/src/$package" &&
    tar -xf "$tarball" -C "$build/src/$package" --strip-components=1 || return 1
  CC=clang CFLAGS="$flags" cmake -S "$build/src/$package" -B "$build/src/$package-build" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$build/deps" -DCMAKE_INSTALL_LIBDIR="$build/deps/lib" \
    -DCMAKE_INSTALL_INCLUDEDIR="$build/deps/include" -DCMAKE_POSITION_INDEPENDENT_CODE=ON "$@" >/dev/null || return 1
  cmake --build "$build/src/$package-build" -j"$(nproc)" >/dev/null || return 1
  cmake --install "$build/src/$package-build" >/dev/null || return 1
  echo "   $package $fetched instrumented" >&2
  touch "$stamp"
}

deps=instrumented
if [ "${MIREL_FUZZ_DEPS:-}" = system ]; then
  deps="the system's (not instrumented, as asked)"
else
  instrument libjpeg-turbo libjpeg.so.62 -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF &&
    instrument libpng1.6 libpng16.so.16 -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_TOOLS=OFF &&
    instrument libwebp libwebp.so.7 -DBUILD_SHARED_LIBS=OFF -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
      -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
      -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF -DWEBP_BUILD_LIBWEBPMUX=OFF ||
    deps="the system's (not instrumented: the source packages could not be fetched or built)"
fi
echo "== decoding libraries: $deps"
pkgpath=
[ "$deps" = instrumented ] && pkgpath=$build/deps/lib/pkgconfig:$build/deps/share/pkgconfig
# CMake keeps the libraries it found in its cache: a change of mind starts afresh.
if [ "$(cat "$build/.deps" 2>/dev/null)" != "$deps" ]; then
  rm -f "$build/CMakeCache.txt"
  echo "$deps" > "$build/.deps"
fi

# Line tables only (-g1): all a crash report needs, and a quicker build.
PKG_CONFIG_PATH=$pkgpath CXX=clang++ CC=clang cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIREL_FUZZ=ON \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DMIREL_SANITIZE=ON -DMIREL_BUILD_TESTS=OFF \
  -DMIREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
mkdir -p "$build/findings"
# The widget's picture loader runs inside a Qt application, which wants a platform.
export QT_QPA_PLATFORM=offscreen

run() { # run TARGET: one bounded run, its summary in $build/log-TARGET
  local target=$1 name=${1#fuzz_}
  local corpus=tests/fuzz/corpus/$name work=$build/corpus-$name
  mkdir -p "$work" "$build/findings/$name"
  "$build/tests/fuzz/$target" "$work" "$corpus" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=20 \
    -artifact_prefix="$build/findings/$name/" -print_final_stats=1 >"$build/log-$target" 2>&1 || true
}
running=0
for target in "${targets[@]}"; do
  run "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

status=0
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$build/log-$target" | grep -o '[0-9]*$' || echo '?')
  cov=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$build/log-$target" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || echo 'cov: ?')
  echo "== $target: $runs runs, $cov"
  grep -E '^(==[0-9]+==ERROR|SUMMARY)' "$build/log-$target" || true
  for crash in "$build/findings/$name"/*; do
    [ -e "$crash" ] || continue
    # A slow unit is no failure (a machine busy with other work makes any
    # input slow); it is named, so that a real slowdown can be looked at.
    if [[ ${crash##*/} == slow-unit-* ]]; then
      echo "   slow input (not kept): $(wc -c <"$crash") bytes, $crash"
      continue
    fi
    # Kept as a seed: every later run of the target replays it first.
    cp "$crash" "tests/fuzz/corpus/$name/regression-$(sha1sum "$crash" | cut -c1-12)"
    echo "   crash input kept: tests/fuzz/corpus/$name/regression-$(sha1sum "$crash" | cut -c1-12)"
    rm -f "$crash"
    status=1
  done
done
exit "$status"
