#!/usr/bin/env bash
# Soak test of the real show (not part of CI): runs mirel-show under Xvfb for
# a long time over a staging folder of 50 mixed pictures (some broken, some
# 4000 x 3000), changing pictures every 0.2 s, and samples the process's
# resident memory (VmRSS) every 10 s. Then presses a key and checks:
#   - the show never crashed, kept changing pictures (a screenshot at every
#     sample differs from the one before in most samples) and ended on the key;
#   - resident memory did not grow after the first minute: the lowest
#     sample of the last three minutes is within MAX_GROWTH_MB of the lowest
#     of minutes 1 to 3 (the floor, which a leak raises), and the highest
#     within PEAK_SLACK_MB of the highest (peaks hold 4000 x 3000 pictures
#     and vary with the moment of sampling);
#   - every staged picture (01.jpg ... 13.jpg) is gone at the end, no
#     temporary file is left, and each broken picture was reported once.
#
#   scripts/soak.sh [SECONDS] [path/to/mirel-show]   (default 600, build/app/mirel-show)
#
# The settings hold the pause in whole seconds; the show takes
# MIREL_SHOW_PAUSE_MS from the environment in its place, which only this
# script sets. Needs Xvfb, xdotool and imagemagick.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
show=${2:-build/app/mirel-show}
max_growth_mb=${MAX_GROWTH_MB:-4}
peak_slack_mb=${PEAK_SLACK_MB:-64}
for tool in Xvfb xdotool convert import identify; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/deps.sh installs it)"; exit 77; }
done
[ -x "$show" ] || { echo "no $show: build it first"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-soak.XXXXXX")
. tests/e2e/show_sandbox.sh
fail() { echo "FAIL: $*"; [ -s "$work/show.log" ] && tail -n 20 "$work/show.log"; exit 1; }

# The executable in a folder of its own: the show stages beside it.
mkdir -p "$work/cache"
sandbox_show "$show" || fail "cannot copy $show"
sandbox_settings 1 || fail "cannot write the settings"
staged=$work/bin/mirel

# 50 pictures: 6 of 4000 x 3000, 30 ordinary ones in the three formats and
# sizes, 14 broken ones (cut, garbage, empty, lying headers).
echo "making 50 pictures in $staged"
tests/make_hostile_pictures.sh "$work/hostile" >/dev/null || fail "cannot make the broken pictures"
mkdir -p "$staged"
for i in 1 2 3 4 5 6; do
  convert -size 4000x3000 "gradient:rgb($((i * 40)),20,90)-rgb(250,$((i * 30)),10)" -quality 85 "$staged/big-$i.jpg"
done
for i in $(seq 1 30); do
  w=$((200 + i * 37)) h=$((150 + i * 23))
  case $((i % 3)) in
    0) convert -size ${w}x$h "gradient:rgb($((i * 8)),0,0)-blue" "$staged/pic-$i.jpg" ;;
    1) convert -size ${w}x$h "gradient:green-rgb(0,0,$((i * 8)))" -type truecolor "$staged/pic-$i.bmp" ;;
    2) convert -size 48x48 "xc:rgb($((i * 8)),120,40)" "$staged/pic-$i.ico" ;;
  esac
done
broken=(zero.jpg zero.bmp zero.ico truncated.jpg truncated.bmp truncated.ico garbage.jpg garbage.bmp garbage.ico
        markers-only.jpg huge-65535.jpg huge-20000.jpg lying-size.bmp lying-size.ico)
for name in "${broken[@]}"; do cp "$work/hostile/$name" "$staged/broken-$name"; done
[ "$(ls "$staged" | wc -l)" -eq 50 ] || fail "not 50 pictures: $(ls "$staged" | wc -l)"

start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"

env XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" \
  MIREL_SHOW_PAUSE_MS=200 "$work/bin/mirel-show" 2>"$work/show.log" &
show_pid=$!
echo "the show runs as $show_pid on $DISPLAY for $seconds s; VmRSS every 10 s (kB):"

samples=() times=()
changes=0 previous=
start=$(date +%s)
while :; do
  elapsed=$(( $(date +%s) - start ))
  running "$show_pid" || fail "the show ended by itself after $elapsed s"
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$show_pid/status")
  samples+=("$rss") times+=("$elapsed")
  screen=$(import -window root "$work/shot.png" 2>/dev/null && identify -format '%#' "$work/shot.png" 2>/dev/null)
  [ -n "$previous" ] && [ "$screen" != "$previous" ] && changes=$((changes + 1))
  previous=$screen
  echo "  $elapsed s: $rss"
  [ "$elapsed" -ge "$seconds" ] && break
  sleep 10
done

xdotool search --onlyvisible --name '^Form1$' windowfocus 2>/dev/null
xdotool key space
for _ in $(seq 1 100); do running "$show_pid" || break; sleep 0.1; done
running "$show_pid" && fail "the show still runs 10 s after a key press"
wait "$show_pid"
status=$?
show_pid=
[ "$status" -eq 0 ] || fail "exit status $status"

# Floors and peaks of minutes 1 to 3 and of the last three minutes.
read -r early_min early_max late_min late_max < <(
  for i in "${!samples[@]}"; do echo "${times[$i]} ${samples[$i]}"; done |
    awk -v end="$seconds" '
      $1 >= 60 && $1 < 180 { if (!em || $2 < em) em = $2; if ($2 > eM) eM = $2 }
      $1 >= end - 180 && $1 >= 180 { if (!lm || $2 < lm) lm = $2; if ($2 > lM) lM = $2 }
      END { print em + 0, eM + 0, lm + 0, lM + 0 }')
echo "VmRSS minutes 1-3: lowest $((early_min / 1024)) MB, highest $((early_max / 1024)) MB"
echo "VmRSS last 3 minutes: lowest $((late_min / 1024)) MB, highest $((late_max / 1024)) MB"
problems=0
echo "the screen changed between $changes of $((${#samples[@]} - 1)) pairs of samples"
if [ $((changes * 4)) -lt $(((${#samples[@]} - 1) * 3)) ]; then
  echo "FAIL: the pictures stopped changing"; problems=1
fi
if [ "$late_min" -gt 0 ] && [ $((late_min - early_min)) -gt $((max_growth_mb * 1024)) ]; then
  echo "FAIL: the memory floor grew by $(((late_min - early_min) / 1024)) MB"; problems=1
fi
if [ "$late_max" -gt 0 ] && [ $((late_max - early_max)) -gt $((peak_slack_mb * 1024)) ]; then
  echo "FAIL: the memory peak grew by $(((late_max - early_max) / 1024)) MB"; problems=1
fi

left=$(cd "$staged" && ls -A | grep -E '^(0[1-9]|1[0-3])\.jpg$|\.tmp$')
[ -z "$left" ] || { echo "FAIL: left behind: $left"; problems=1; }
for name in "${broken[@]}"; do
  n=$(grep -c "^mirel-show: .*/broken-$name: " "$work/show.log")
  [ "$n" -eq 1 ] || { echo "FAIL: broken-$name reported $n times"; problems=1; }
done
transitions=$(grep -c . "$work/show.log")
echo "standard error: $transitions lines; pictures left in the folder: $(ls "$staged" | wc -l)"
[ "$problems" -eq 0 ] || { tail -n 20 "$work/show.log"; exit 1; }
echo "PASS"
