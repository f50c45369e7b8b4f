#!/usr/bin/env bash
# End to end: mirel-show on a folder of the user's own pictures.
#  - --help, --version and a wrong option work without a display;
#  - JPEG, PNG, WebP and BMP pictures (and with -r one in a sub-folder) are
#    shown fitted to the whole screen, centred on black; a broken file is
#    reported once and passed over; nothing is staged;
#  - with --keys, Right brings the next picture, other keys and mouse moves
#    do nothing, Escape ends the show;
# (show_viewer_slow_e2e.sh: a slow picture, and input without --keys.)
#
#   show_viewer_e2e.sh path/to/mirel-show
set -uo pipefail
show=${1:?usage: show_viewer_e2e.sh path/to/mirel-show}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool import identify convert

sandbox_show "$show" || fail "cannot copy $show"
bin="$work/bin/mirel-show"

# Without a display.
env -u DISPLAY "$bin" --help | grep -q '^Usage: mirel-show \[OPTIONS\] FOLDER|FILE' || fail "--help"
env -u DISPLAY "$bin" --version | grep -q '^mirel-show [0-9]' || fail "--version"
env -u DISPLAY "$bin" --pause 2>"$work/err"; [ $? -eq 2 ] && grep -q 'pause' "$work/err" || fail "--pause without a value"
env -u DISPLAY "$bin" "$work/nothing-here" 2>"$work/err"; [ $? -eq 2 ] || fail "a missing folder"

# The pictures, of sizes that fit the 640x400 screen without rounding: wide,
# tall and small ones, one broken, one in a sub-folder.
pics="$work/pictures"
mkdir -p "$pics/more"
convert -size 1200x1000 gradient:red-yellow "$pics/p1.jpg"
convert -size 800x1000 gradient:blue-cyan "$pics/p2.png"
convert -size 500x400 xc:green "$pics/p10.webp"
convert -size 300x300 xc:magenta "$pics/p3.bmp"
echo "broken" >"$pics/p4.jpg"
convert -size 200x100 xc:white "$pics/more/p5.png"
echo "not listed" >"$pics/notes.txt"

xvfb_screen=640x400x24 start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"

# True when the settled area is $1 (WxH), centred on the 640x400 screen to a pixel.
area_is() {
  local area w h x y
  area=$(settled_area) || return 1
  IFS='x+' read -r w h x y <<<"$area"
  [ "${w}x${h}" = "$1" ] || return 1
  awk -v w="$w" -v h="$h" -v x="$x" -v y="$y" \
    'BEGIN { dx = x - (640 - w) / 2; dy = y - (400 - h) / 2; exit !(dx <= 1 && dx >= -1 && dy <= 1 && dy >= -1) }'
}
focus_show() { xdotool windowfocus "$(windows_named mirel-show | head -n1)" 2>/dev/null; }

: >"$work/show.log"
start_show --keys --pause 30 -r "$pics"
wait_until 10000 windows_named mirel-show >/dev/null || fail "no show window"
# p1 (1200x1000) fitted to 640x400: 480x400.
wait_until 20000 area_is "480x400" || fail "p1 is not fitted to the screen: $(settled_area)"
focus_show
# Moves and other keys do nothing with viewer keys.
xdotool mousemove 630 390 key a
sleep 0.5
running "$show_pid" || fail "a move or a key other than the viewer's ended the show"
area_is "480x400" || fail "a key other than the viewer's changed the picture"
# Natural order: p1, p2, p3, (p4 broken), p10, more/p5.
xdotool key Right
wait_until 20000 area_is "320x400" || fail "Right did not bring p2 fitted: $(settled_area)"
xdotool key Right
wait_until 20000 area_is "400x400" || fail "Right did not bring p3 fitted: $(settled_area)"
xdotool key Right
wait_until 20000 area_is "500x400" || fail "Right did not bring p10 fitted: $(settled_area)"
[ "$(grep -c 'p4.jpg' "$work/show.log")" -eq 1 ] || fail "the broken picture was not reported once"
xdotool key Right
wait_until 20000 area_is "640x320" || fail "Right did not bring the sub-folder's p5: $(settled_area)"
xdotool key Left
wait_until 20000 area_is "500x400" || fail "Left did not bring p10 back: $(settled_area)"
[ ! -e "$work/bin/mirel" ] || fail "the show staged its built-in pictures"
xdotool key Escape
wait_until 20000 show_ended || fail "Escape did not end the show"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "exit status $status"

echo "PASS"
