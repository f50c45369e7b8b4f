#!/usr/bin/env bash
# End to end: mirel-show on a folder of pictures of every kind, with real
# keys under a virtual display. GIF, TIFF, a JPEG without a name's
# extension and one named .jfif are listed and shown fitted to the screen,
# a text file is not; a JPEG cut short in half is shown, as viewers show
# one, with its missing half mid grey.
#
#   show_formats_e2e.sh path/to/mirel-show
set -uo pipefail
show=${1:?usage: show_formats_e2e.sh path/to/mirel-show}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/../e2e/show_sandbox.sh"
need_tools Xvfb xdotool import convert compare

sandbox_show "$show" || fail "cannot copy $show"
pics="$work/pictures"
mkdir -p "$pics"
# Sizes that tell the pictures apart once fitted to the 640x400 screen.
convert -size 1200x1000 gradient:red-yellow "$pics/a1.gif" &&
  convert -size 800x1000 gradient:blue-cyan "$pics/a2.tif" &&
  convert -size 300x300 xc:magenta "jpg:$pics/a3" &&
  convert -size 640x320 gradient:green-white "jpg:$pics/a4.jfif" &&
  convert -size 1280x800 gradient:red-orange -quality 90 "$work/whole.jpg" || fail "cannot make the pictures"
head -c $(( $(stat -c %s "$work/whole.jpg") / 2 )) "$work/whole.jpg" >"$pics/a5-cut.jpg"
echo "not a picture" >"$pics/notes.txt"
echo "not a picture either" >"$pics/README"

xvfb_screen=640x400x24 start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"

# The settled screen's area (settled_area, show_sandbox.sh) is $1.
area_is() { [ "$(settled_area)" = "$1" ]; }
# The red, green and blue of the settled screen's pixel at $1,$2
# (MIREL_E2E_SHOTS: a folder to keep the cut picture's screen in).
pixel() { convert "$work/b.png" -crop "1x1+$1+$2" -depth 8 rgb:- | od -An -tu1 | xargs; }

: >"$work/show.log"
start_show --keys --pause 60 "$pics"
wait_until 10000 windows_named mirel-show >/dev/null || fail "no show window"
wait_until 20000 area_is "480x400+80+0" || fail "the GIF is not shown fitted: $(settled_area)"
xdotool windowfocus "$(windows_named mirel-show | head -n1)" 2>/dev/null
xdotool key Right
wait_until 20000 area_is "320x400+160+0" || fail "the TIFF is not shown fitted: $(settled_area)"
xdotool key Right
wait_until 20000 area_is "400x400+120+0" || fail "the nameless JPEG is not shown fitted: $(settled_area)"
xdotool key Right
wait_until 20000 area_is "640x320+0+40" || fail "the .jfif JPEG is not shown fitted: $(settled_area)"
xdotool key Right
# Its first rows red, its missing half mid grey, on the whole screen.
cut_shown() {
  settled_area >/dev/null || return 1
  read -r red green blue <<<"$(pixel 320 20)"
  [ "$red" -gt 200 ] && [ "$blue" -lt 60 ] && [ "$(pixel 320 390)" = "128 128 128" ] &&
    [ "$(pixel 0 390)" = "128 128 128" ] && [ "$(pixel 639 390)" = "128 128 128" ]
}
wait_until 20000 cut_shown || fail "the cut JPEG is not shown with its missing half grey: $(pixel 320 20) at the top, $(pixel 320 390) at the bottom"
cp "$work/b.png" "${MIREL_E2E_SHOTS:-$work}/cut-jpeg.png" 2>/dev/null
# Then round again: the text files were never listed.
xdotool key Right
wait_until 20000 area_is "480x400+80+0" || fail "Right after the last did not come back to the GIF: $(settled_area)"
[ ! -s "$work/show.log" ] || fail "the show reported a problem"
xdotool key Escape
wait_until 20000 show_ended || fail "Escape did not end the show"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "exit status $status"
echo "PASS"
