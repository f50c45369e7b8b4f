#!/usr/bin/env bash
# Side-by-side benchmarks, run interleaved so that a change in the machine's
# load falls on every contender alike.
#
#   bench/compare.sh [--rounds N] [--sizes "1920x1080 3840x2160"]
#                    [--builds "release relwithdebinfo hardened"]
#                    [--styles LIST] [--out DIR] [--no-build] [--only SECTION]
#
# Sections:
#   builds     mirel-render --bench (each style's time per frame as a ratio to
#              one full-frame copy, one thread) under three builds:
#                release         CMake's Release (-O3 -DNDEBUG)
#                relwithdebinfo  CMake's RelWithDebInfo (-O2 -g -DNDEBUG)
#                hardened        -O2 -g -fstack-protector-strong
#                                -D_FORTIFY_SOURCE=2, as distributions build
#              at each size; per style the median over the rounds, and the
#              styles that miss the targets (at most 2 copies each, catalogue
#              median at most 1.0).
#   cpu        the same styles and builds in thread CPU time, through
#              mirel_bench_effects (steadier on a shared machine).
#   widget     the widget against a hand-written Qt cross-fade under Xvfb
#              (bench/widget_vs_crossfade.sh, from the ordinary build/).
#   slideshow  mirel-render's slide show against FFmpeg's xfade chain
#              (bench/render_vs_xfade.sh, from the ordinary build/).
#
# The build trees are build-bench-<build> beside the sources; only
# mirel-render and mirel_bench_effects are built in them. Raw outputs and
# the tables go to --out (default: a new temporary folder, printed at the end).
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=3
sizes="1920x1080 3840x2160"
builds="release relwithdebinfo hardened"
styles=""
out=""
build=1
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --builds) builds=$2; shift 2 ;;
    --styles) styles=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --no-build) build=0; shift ;;
    --only) only=$2; shift 2 ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "compare.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ -n "$out" ] || out=$(mktemp -d "${TMPDIR:-/tmp}/mirel-compare.XXXXXX")
mkdir -p "$out"
jobs=$(nproc)

wants() { [ -z "$only" ] || [ "$only" = "$1" ]; }

# ---- builds: mirel-render --bench under each build type ----

render_of() { echo "build-bench-$1/tools/render/mirel-render"; }

build_renders() {
  local b
  local common=(-DMIREL_BUILD_TESTS=OFF -DMIREL_BUILD_BENCH=ON)
  for b in $builds; do
    case "$b" in
      release) cmake -S . -B "build-bench-$b" -DCMAKE_BUILD_TYPE=Release "${common[@]}" >/dev/null ;;
      relwithdebinfo) cmake -S . -B "build-bench-$b" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${common[@]}" >/dev/null ;;
      # No build type: these flags alone.
      hardened) cmake -S . -B "build-bench-$b" -DCMAKE_BUILD_TYPE=None \
        "-DCMAKE_CXX_FLAGS=-O2 -g -fstack-protector-strong -D_FORTIFY_SOURCE=2" "${common[@]}" >/dev/null ;;
      *) echo "compare.sh: unknown build $b" >&2; exit 2 ;;
    esac
    cmake --build "build-bench-$b" -j"$jobs" --target mirel-render mirel_bench_effects >/dev/null
  done
}

# The median of the numbers on standard input (of an even count, the mean of
# the middle two).
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else if (NR) print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One table per size from the runs in $1/round<r>/<build>-<size>.txt (lines
# as mirel-render --bench prints them): a row per style, a column per build
# (median ratio). $2 names the measure.
tabulate_builds() {
  local dir=$1 what=$2 size b r f
  for size in $sizes; do
    {
      printf 'style\tname'
      for b in $builds; do printf '\t%s' "$b"; done
      printf '\n'
      printf 'copy ms\t'
      for b in $builds; do
        printf '\t%s' "$(for r in $(seq 1 "$rounds"); do
          awk -F'\t' '$1 == "copy" { sub(/ ms/, "", $3); print $3 }' "$dir/round$r/$b-$size.txt"
        done | median)"
      done
      printf '\n'
      f="$dir/round1/$(set -- $builds; echo "$1")-$size.txt"
      awk -F'\t' '$1 ~ /^[0-9]+$/ { print $1 "\t" $2 }' "$f" | while IFS=$'\t' read -r style name; do
        printf '%s\t%s' "$style" "$name"
        for b in $builds; do
          printf '\t%s' "$(for r in $(seq 1 "$rounds"); do
            awk -F'\t' -v s="$style" '$1 == s { print $4 }' "$dir/round$r/$b-$size.txt"
          done | median)"
        done
        printf '\n'
      done
    } >"$dir/table-$size.tsv"
    echo "== $what at $size: time per frame / one full-frame copy, median of $rounds rounds"
    column -t -s $'\t' "$dir/table-$size.tsv"
    # The targets: every style at most 2 copies, the catalogue's median at most 1.0.
    awk -F'\t' -v builds="$builds" '
      NR == 1 { n = split(builds, name, " "); next }
      $1 == "copy ms" { next }
      { for (i = 1; i <= n; ++i) { v = $(i + 2); col[i, ++count[i]] = v; if (v > 2.0) miss[i] = miss[i] " " $1 "(" v ")" } }
      END {
        for (i = 1; i <= n; ++i) {
          m = count[i]; for (j = 1; j <= m; ++j) s[j] = col[i, j]
          for (j = 2; j <= m; ++j) { x = s[j]; k = j - 1; while (k >= 1 && s[k] > x) { s[k + 1] = s[k]; --k } s[k + 1] = x }
          med = m % 2 ? s[(m + 1) / 2] : m ? (s[m / 2] + s[m / 2 + 1]) / 2 : 0
          printf "%s: catalogue median %.2f%s; over 2 copies:%s\n", name[i], med, (med > 1.0 ? " (over 1.0)" : ""), (miss[i] == "" ? " none" : miss[i])
        }
      }' "$dir/table-$size.tsv"
    echo
  done
}

run_builds() {
  local r size b args
  [ "$build" = 0 ] || build_renders
  args=()
  [ -z "$styles" ] || args=(--styles "$styles")
  for r in $(seq 1 "$rounds"); do
    mkdir -p "$out/round$r"
    for size in $sizes; do
      for b in $builds; do
        echo "round $r/$rounds: $b at $size" >&2
        "$(render_of "$b")" --bench --size "$size" --threads 1 "${args[@]}" >"$out/round$r/$b-$size.txt"
      done
    done
  done
  tabulate_builds "$out" "mirel-render --bench (wall clock)"
}

# ---- cpu: the same in thread CPU time, through mirel_bench_effects ----
# On a machine that other work shares, wall-clock times swell with the load;
# the CPU time the drawing thread itself spends does much less. The yardstick
# is the benchmark's "FrameCopy" (the new picture over a just-reset Display,
# as a frame meets it, and as mirel-render's yardstick), measured six times
# among the styles, its median taken; "Copy" (the same copy
# repeated back to back, its bitmaps in the cache where they fit) is in the
# raw files beside it.

# "1,118-120" as "1|118|119|120".
styles_regex() {
  local part out=""
  for part in ${1//,/ }; do
    if [[ $part == *-* ]]; then
      out+="$(seq -s '|' "${part%-*}" "${part#*-}")|"
    else
      out+="$part|"
    fi
  done
  echo "${out%|}"
}

run_cpu() {
  local r size b filter
  [ "$build" = 0 ] || build_renders
  filter='^(Copy|FrameCopy|Style/[0-9]+)$'
  [ -z "$styles" ] || filter="^(Copy|FrameCopy|Style/($(styles_regex "$styles")))\$"
  for r in $(seq 1 "$rounds"); do
    mkdir -p "$out/cpu/round$r"
    for size in $sizes; do
      for b in $builds; do
        echo "cpu round $r/$rounds: $b at $size" >&2
        MIREL_BENCH_SIZE=$size "build-bench-$b/bench/mirel_bench_effects" --benchmark_filter="$filter" \
          --benchmark_min_time=0.1 --benchmark_format=csv 2>/dev/null >"$out/cpu/round$r/$b-$size.csv"
        # As mirel-render prints it: copy, then style, name, ms, ratio. The
        # copy is measured between groups of styles; its median is the
        # yardstick.
        awk -F, -v size="$size" '
          $1 == "\"FrameCopy\"" { copies[++n] = $4 }
          $1 ~ /^"Style\// { s = $1; gsub(/"|Style\//, "", s); name = $8; gsub(/"/, "", name)
                             style[++m] = s; label[m] = name; ms[m] = $4 }
          END {
            for (i = 2; i <= n; ++i) { x = copies[i]; k = i - 1; while (k >= 1 && copies[k] > x) { copies[k + 1] = copies[k]; --k } copies[k + 1] = x }
            copy = n % 2 ? copies[(n + 1) / 2] : (copies[n / 2] + copies[n / 2 + 1]) / 2
            printf "copy\t%s\t%.3f ms\n", size, copy
            for (i = 1; i <= m; ++i) printf "%s\t%s\t%.3f\t%.2f\n", style[i], label[i], ms[i], ms[i] / copy
          }
        ' "$out/cpu/round$r/$b-$size.csv" >"$out/cpu/round$r/$b-$size.txt"
      done
    done
  done
  tabulate_builds "$out/cpu" "mirel_bench_effects (thread CPU time)"
}

# ---- widget: TTransitionView against a hand-written Qt cross-fade ----
# Both under Xvfb at each size, in turn, round after round (see
# widget_vs_crossfade.sh); the table goes to "$out/widget/" too.
run_widget() {
  echo "== widget against a hand-written Qt cross-fade"
  mkdir -p "$out/widget"
  # shellcheck disable=SC2086 # the sizes are words
  bash bench/widget_vs_crossfade.sh -b build -r "$rounds" $sizes | tee "$out/widget/table.txt"
}

# ---- slideshow: mirel-render's slide show against FFmpeg's xfade chain ----
run_slideshow() {
  echo "== mirel-render's slide show of the 13 pictures at 1920x1080 against FFmpeg's xfade chain"
  mkdir -p "$out/slideshow"
  bash bench/render_vs_xfade.sh build/tools/render/mirel-render | tee "$out/slideshow/table.txt"
}

echo "load before: $(uptime)"
wants builds && run_builds
wants cpu && { [ -z "$only" ] && build=0; run_cpu; }
wants widget && run_widget
wants slideshow && run_slideshow
echo "load after: $(uptime)"
echo "raw outputs and tables: $out"
