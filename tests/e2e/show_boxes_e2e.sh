#!/usr/bin/env bash
# End to end: broken pictures among the staged ones give one error box over
# the running show. Clicks and keys on the box answer it without ending the
# show, which goes on changing pictures; a key on the show then ends it.
#
#   show_boxes_e2e.sh path/to/mirel-show
set -uo pipefail
show=${1:?usage: show_boxes_e2e.sh path/to/mirel-show}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool import identify

sandbox_show "$show" || fail "cannot copy $show"
sandbox_settings 1 || fail "cannot write the settings"
mkdir -p "$work/bin/mirel"
# Listed before the built-in pictures; each fails at its first load.
for i in $(seq -w 1 12); do echo "not a picture" >"$work/bin/mirel/00-broken$i.jpg"; done
# Broken in other ways: a picture cut short, a bitmap of nothing.
head -c 20000 "$(dirname "$0")/../../resources/$(ls "$(dirname "$0")/../../resources" | grep -i '\.jpg$' | head -n1)" \
  >"$work/bin/mirel/00-cut.jpg"
printf 'BM\0\0\0\0' >"$work/bin/mirel/00-empty.bmp"

start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"
start_show

box_up() { [ "$(windows_named mirel-show | wc -l)" -ge 1 ]; }
wait_until 15000 box_up || fail "no error box"
wait_until 20000 windows_named Form1 >/dev/null || fail "no show window"
[ "$(windows_named mirel-show | wc -l)" -eq 1 ] || fail "more than one box: $(windows_named mirel-show | wc -l)"
box=$(windows_named mirel-show)
[ -n "${MIREL_E2E_SHOTS:-}" ] && import -window root "$MIREL_E2E_SHOTS/box.png"
for i in $(seq -w 1 12); do
  n=$(grep -c "00-broken$i.jpg" "$work/show.log")
  [ "$n" -eq 1 ] || fail "00-broken$i.jpg reported $n times on standard error"
done

# A click on the box, and a move there far from the corner, are the box's.
xdotool mousemove --window "$box" 10 10 click 1 || fail "xdotool could not click"
sleep 0.5
running "$show_pid" || fail "a click on the box ended the show"
# Return answers it.
xdotool windowfocus "$box" key Return || fail "xdotool could not press a key"
no_box() { ! box_up; }
wait_until 20000 no_box || fail "the box stayed open"
sleep 0.5
running "$show_pid" || fail "answering the box ended the show"
screen_changes 4000 || fail "the pictures stopped changing after the box was answered"
running "$show_pid" || fail "the show ended by itself"
[ "$(staged_count)" -eq 13 ] || fail "staged pictures went missing while the show runs"
# Each failure was reported once, even over several rounds of the cycle.
[ "$(grep -c 'broken01.jpg' "$work/show.log")" -eq 1 ] || fail "a broken picture was reported again"

# The show's output is its own one-line errors, one for each broken file.
grep -v '^mirel-show: ' "$work/show.log" && fail "lines other than the show's own errors on standard error"
[ "$(grep -c . "$work/show.log")" -eq 14 ] || fail "$(grep -c . "$work/show.log") lines on standard error, not 14"

# A key on the show itself ends it, as before.
xdotool windowfocus "$(windows_named Form1 | head -n1)" key space || fail "xdotool could not press a key"
wait_until 20000 show_ended || fail "the show still runs after a key on it"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "exit status $status"
[ "$(staged_count)" -eq 0 ] || fail "staged pictures left behind"
echo "PASS"
