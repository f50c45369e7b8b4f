#!/usr/bin/env bash
# The transition widget (mirel_bench_view; the fade, style 118, unless told)
# beside the cross-fade a Qt developer writes by hand (QPainter::setOpacity
# over two QImages on a 40 ms QTimer, mirel_bench_qt_crossfade), in a window the
# size of the screen, 25 frames a transition. Each size gets its own Xvfb
# screen of that size; the two programs take turns, round after round, so
# that a change in the machine's load falls on both.
#
#   bench/widget_vs_crossfade.sh [-b BUILD_DIR] [-r ROUNDS] [-t TRANSITIONS]
#                                [-s STYLES] [--jpeg] [--offscreen] [--raw] [WxH ...]
#
# STYLES: the widget's styles, each run on its own after the cross-fade, as
# a list (1,13,118) or "all" (1 to 150; try -r 1 -t 1 for a sweep).
# --jpeg: both programs read their two pictures from JPEG files of the
# screen's size (resources/01.jpg and 02.jpg enlarged by ImageMagick), the
# cross-fade through QImage, the widget through its own loader, instead of
# making them in memory.
# Defaults: build/ beside this folder, 3 rounds of 5 transitions, sizes
# 1920x1080 and 3840x2160, under Xvfb (--offscreen: Qt's offscreen platform,
# no display server). --raw prints each run as one line of key=value pairs
# (the fields below, by their names in the RESULT lines) instead of the
# table. Per program and size, the means over the rounds of:
#   transition s   Execute (or the timer's start) to the last frame on screen
#   work ms        a frame's painting: the widget's build (the old screen
#                  and the effect, on its worker thread's CPU clock) and paint,
#                  the hand-written paint event
#   cpu ms         the process's CPU time per frame, all threads
#   cpu %          CPU time over wall time while the transitions run
#   peak MB        the process's maximum resident set
#   run MB         the same over the timed transitions alone: for the widget,
#                  without its first picture, which comes from the empty
#                  control (an old screen of Color for it, while the second
#                  picture is not made yet)
#   own MB         the process's private written pages once the transitions
#                  are over (pictures, heap, stacks; the resident set less
#                  the libraries' code and other pages shared or read from
#                  files, and the backing store the display server shares),
#                  the largest over the rounds
#   X ms           under Xvfb: the display server's CPU time per frame, which
#                  takes every frame the program sends
# Build first: cmake --build build --target mirel_bench_view mirel_bench_qt_crossfade
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$here/../build rounds=3 transitions=5 platform=xcb raw= jpeg= sizes=() styles=118
while [ $# -gt 0 ]; do
  case $1 in
    -b) build=$2; shift 2 ;;
    -r) rounds=$2; shift 2 ;;
    -t) transitions=$2; shift 2 ;;
    -s) styles=$2; shift 2 ;;
    --jpeg) jpeg=1; shift ;;
    --offscreen) platform=offscreen; shift ;;
    --raw) raw=1; shift ;;
    -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    [0-9]*x[0-9]*) sizes+=("$1"); shift ;;
    *) echo "widget_vs_crossfade.sh: unknown argument $1 (try --help)" >&2; exit 2 ;;
  esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(1920x1080 3840x2160)
[ "$styles" = all ] && styles=$(seq -s, 1 150)
IFS=, read -r -a styles <<<"$styles"
widget=$build/bench/mirel_bench_view crossfade=$build/bench/mirel_bench_qt_crossfade
for p in "$widget" "$crossfade"; do
  [ -x "$p" ] || { echo "widget_vs_crossfade.sh: $p is not built" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "widget_vs_crossfade.sh: needs /usr/bin/time (Debian: time)" >&2; exit 1; }
if [ -n "$jpeg" ] && ! command -v convert >/dev/null; then
  echo "widget_vs_crossfade.sh: --jpeg needs ImageMagick's convert" >&2
  exit 1
fi

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
  return 0
}
trap cleanup EXIT

# An Xvfb screen of the given size on a display it picks itself.
start_xvfb() {
  : >"$work/display"
  Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    if [ -s "$work/display" ]; then
      export DISPLAY=:$(head -n1 "$work/display")
      return 0
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/xvfb.log" >&2
  echo "widget_vs_crossfade.sh: Xvfb did not start" >&2
  exit 1
}
# The display server's user and system CPU time so far, in clock ticks.
server_ticks() { awk '{ print $14 + $15 }' "/proc/$xvfb_pid/stat"; }
stop_xvfb() {
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
}

# One run: the program's RESULT line and its peak memory, as one line of
# key=value pairs appended to $work/results.
run() { # name size command...
  local name=$1 size=$2 x0=0 x1=0
  shift 2
  [ -n "$xvfb_pid" ] && x0=$(server_ticks)
  if ! QT_QPA_PLATFORM=$platform /usr/bin/time -v -o "$work/time" "$@" >"$work/out" 2>"$work/err"; then
    cat "$work/out" "$work/err" "$work/time" >&2
    echo "widget_vs_crossfade.sh: $name failed at $size" >&2
    exit 1
  fi
  [ -n "$xvfb_pid" ] && x1=$(server_ticks)
  local result rss frames
  result=$(sed -n 's/^RESULT //p' "$work/out")
  # The programs start their peak over for the timed part, and give the
  # whole process's themselves; /usr/bin/time's then sees only the last.
  rss=$(sed -n 's/.*whole_peak_kb=\([0-9]*\).*/\1/p' <<<"$result")
  [ -n "$rss" ] || rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
  [ -n "$result" ] || { cat "$work/out" >&2; echo "widget_vs_crossfade.sh: no result from $name" >&2; exit 1; }
  frames=$(sed -n 's/.*frames=\([0-9]*\).*/\1/p' <<<"$result")
  echo "size=$size program=$name $result peak_kb=$rss x_ms=$(awk -v t=$((x1 - x0)) -v hz="$(getconf CLK_TCK)" \
    -v f="$frames" 'BEGIN { printf "%.2f", f ? t * 1000 / hz / f : 0 }')" >>"$work/results"
}

# With --raw, stdout holds the result lines alone.
note() { if [ -n "$raw" ]; then echo "$*" >&2; else echo "$*"; fi; }
note "load before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, platform $platform${jpeg:+, pictures from JPEG files}"
for size in "${sizes[@]}"; do
  pictures=()
  if [ -n "$jpeg" ]; then
    for n in 01 02; do
      convert "$here/../resources/$n.jpg" -resize "$size!" -quality 90 "$work/$n-$size.jpg"
    done
    pictures=(--pictures "$work/01-$size.jpg" "$work/02-$size.jpg")
  fi
  [ "$platform" = xcb ] && start_xvfb "$size"
  for round in $(seq 1 "$rounds"); do
    echo "  $size round $round of $rounds" >&2
    run qt-crossfade "$size" "$crossfade" --size "$size" "${pictures[@]}" "$transitions"
    for style in "${styles[@]}"; do
      run "widget-$style" "$size" "$widget" --size "$size" --style "$style" "${pictures[@]}" "$transitions"
    done
  done
  [ "$platform" = xcb ] && stop_xvfb
done
note "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -n "$raw" ]; then
  cat "$work/results"
  exit 0
fi

printf '\n%-10s %-13s %12s %9s %9s %9s %6s %8s %7s %7s %6s\n' size program "transition s" "work ms" "max ms" "cpu ms" \
  "cpu %" "peak MB" "run MB" "own MB" "X ms"
awk '
  {
    for (i = 1; i <= NF; ++i) { split($i, kv, "="); v[kv[1]] = kv[2] }
    k = v["size"] " " v["program"]
    if (!(k in n)) order[++keys] = k
    n[k]++; xs[k] += v["x_ms"]; tr[k] += v["transition_s"]; wk[k] += v["work_ms"]; cpu[k] += v["cpu_ms"]; pct[k] += v["cpu_pct"]
    if (v["work_max_ms"] > mx[k]) mx[k] = v["work_max_ms"]
    if (v["peak_kb"] > pk[k]) pk[k] = v["peak_kb"]
    if (v["run_peak_kb"] > rp[k]) rp[k] = v["run_peak_kb"]
    if (v["own_kb"] > own[k]) own[k] = v["own_kb"]
  }
  END {
    for (j = 1; j <= keys; ++j) {
      k = order[j]; split(k, sp, " ")
      printf "%-10s %-13s %12.3f %9.2f %9.2f %9.2f %6.0f %8.1f %7.1f %7.1f %6.2f\n", sp[1], sp[2], tr[k] / n[k],
             wk[k] / n[k], mx[k], cpu[k] / n[k], pct[k] / n[k], pk[k] / 1024, rp[k] / 1024, own[k] / 1024,
             xs[k] / n[k]
    }
  }' "$work/results"
