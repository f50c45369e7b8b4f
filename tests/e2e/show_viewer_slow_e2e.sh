#!/usr/bin/env bash
# End to end: mirel-show on the user's own pictures, continued.
#  - Escape ends the show while a picture's load is under way (held until
#    released, which never comes): the load runs beside the show, not in
#    its way;
#  - without --keys any key ends it, as with the built-in pictures.
#
#   show_viewer_slow_e2e.sh path/to/mirel-show path/to/libmirel_hold_open.so
set -uo pipefail
show=${1:?usage: show_viewer_slow_e2e.sh path/to/mirel-show path/to/libmirel_hold_open.so}
hold=${2:?usage: show_viewer_slow_e2e.sh path/to/mirel-show path/to/libmirel_hold_open.so}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool convert

sandbox_show "$show" || fail "cannot copy $show"
start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"
focus_show() { xdotool windowfocus "$(windows_named mirel-show | head -n1)" 2>/dev/null; }
convert -size 1600x1200 gradient:red-yellow "$work/a.jpg" || fail "cannot make a picture"

# A picture whose load never finishes: the preloaded hold (hold_open.cpp)
# keeps its file from opening until the test opens the gate, which it never
# does. A show that waited for the load would never end, so Escape ending it
# proves the point without timing anything; the limits only keep a failing
# run from hanging.
mkdir -p "$work/hold" && mkfifo "$work/hold/gate" || fail "cannot make the gate FIFO"
cp "$work/a.jpg" "$work/held.jpg" || fail "cannot copy a picture to hold"
: >"$work/show.log"
MIREL_HOLD_NAME=held.jpg MIREL_HOLD_DIR="$work/hold" LD_PRELOAD="$hold" \
  ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
  start_show --keys --pause 0.1 "$work/a.jpg" "$work/held.jpg"
wait_until 20000 windows_named mirel-show >/dev/null || fail "no show window"
held() { [ -e "$work/hold/blocked" ]; }
wait_until 30000 held || fail "the held picture was never loaded"
focus_show
xdotool key Escape
wait_until 30000 show_ended || fail "Escape did not end the show while a picture's load was under way"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "exit status $status with a load under way"
echo "Escape ended the show while a picture's load was held"

# Without viewer keys any key ends the show.
start_show --pause 30 "$work/a.jpg"
wait_until 10000 windows_named mirel-show >/dev/null || fail "no show window"
sleep 0.5
focus_show
xdotool key a
wait_until 20000 show_ended || fail "a key did not end the show"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "exit status $status"
echo "PASS"
