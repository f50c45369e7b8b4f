#!/usr/bin/env bash
# Benchmark (not part of the test suite): mirel-show over a folder of
# 24-megapixel photos on a 1920x1080 virtual screen, a new picture every second (or pause).
# Reports the peak resident memory (VmHWM) and, for every change of
# pictures, the time from the moment a picture's time is up to the first
# frame of the transition that replaces it.
#
#   tests/e2e/show_memory_bench.sh [path/to/mirel-show] [seconds] [pause]
set -uo pipefail
show=${1:-build/app/mirel-show}
seconds=${2:-15}
pause=${3:-1}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-bench.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb convert

sandbox_show "$show" || fail "cannot copy $show"
mkdir -p "$work/photos"
echo "making a 6000x4000 photo (noise, so that it decodes like one) ..."
convert -size 6000x4000 gradient:red-blue -attenuate 0.5 +noise Gaussian -quality 90 "$work/photos/p01.jpg" \
  || fail "cannot make the photo"
for i in 02 03 04 05 06 07 08; do cp "$work/photos/p01.jpg" "$work/photos/p$i.jpg"; done

# A 1920x1080 screen of its own.
: >"$work/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_until 10000 test -s "$work/display" || fail "no virtual display"
export DISPLAY=:$(head -n1 "$work/display")

MIREL_SHOW_TIMING=1 start_show --pause "$pause" "$work/photos"
sleep "$seconds"
running "$show_pid" || fail "the show ended early"
peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$show_pid/status")
kill -TERM "$show_pid"
wait_until 5000 show_ended || fail "the show did not end"
show_pid=
echo "peak resident memory: $((peak / 1024)) MiB ($peak kB) over $seconds s"
grep -o '[0-9.]* ms after the picture' "$work/show.log" | awk '{ print $1 }' | sort -n \
  | awk '{ v[NR] = $1 } END { if (NR) printf "picture changes: %d; first frame after the time was up: median %.1f ms, max %.1f ms\n", NR, v[int((NR + 1) / 2)], v[NR] }'
grep -v 'ms after the picture\|first frame painted' "$work/show.log"
uptime
