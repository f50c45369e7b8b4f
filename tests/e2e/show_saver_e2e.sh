#!/usr/bin/env bash
# End to end: the show as an X screen-saver module.
#  - --root on a folder: the root window's picture changes from picture to
#    picture; keys are left alone; SIGTERM ends it cleanly;
#  - XSCREENSAVER_WINDOW naming a window of another program (with --root,
#    as a saver's configuration line has it): the pictures
#    appear in that window; SIGTERM ends it;
#  - --window-id: the show follows its host window's size and ends when
#    that window is destroyed.
#
#   show_saver_e2e.sh path/to/mirel-show
set -uo pipefail
show=${1:?usage: show_saver_e2e.sh path/to/mirel-show}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool import identify convert xlogo xwininfo

sandbox_show "$show" || fail "cannot copy $show"
pics="$work/pictures"
mkdir -p "$pics"
convert -size 800x600 gradient:red-yellow "$pics/1.jpg"
convert -size 600x800 gradient:blue-cyan "$pics/2.png"
convert -size 640x480 xc:green "$pics/3.webp"
start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"

end_on_sigterm() {
  kill -TERM "$show_pid"
  wait_until 20000 show_ended || fail "$1: SIGTERM did not end the show"
  wait "$show_pid"; local status=$?; show_pid=
  [ "$status" -eq 0 ] || fail "$1: exit status $status"
}

start_show --root --pause 0.5 "$pics"
pictures_change_in root 3 || fail "--root: the root window did not show changing pictures"
xdotool key a mousemove 1000 700 click 1
sleep 0.5
running "$show_pid" || fail "--root: input ended the show"
end_on_sigterm "--root"
[ -z "$(windows_named mirel-show)" ] || fail "--root: a window stayed"

xlogo -geometry 500x400+50+50 2>/dev/null &
logo=$!
trap 'kill $logo 2>/dev/null; sandbox_cleanup' EXIT
wait_until 20000 windows_named xlogo >/dev/null || fail "xlogo did not start"
id=$(windows_named xlogo | head -n1)
XSCREENSAVER_WINDOW=$(printf "0x%x" "$id") start_show --root --pause 0.5 "$pics"
pictures_change_in "$id" 3 || fail "XSCREENSAVER_WINDOW: the saver's window did not show changing pictures"
end_on_sigterm "XSCREENSAVER_WINDOW"
running "$logo" || fail "the saver's window went with the show"

# --window-id, as a saver's preview starts it: the show follows its host's
# size, and ends when the host's window is destroyed (a preview closed with
# its dialog) instead of running on with nothing to draw in.
shown_size() { # the size of the show's window inside the host, WxH
  local child
  child=$(xwininfo -children -id "$id" 2>/dev/null | awk '/^ +0x/ { print $1; exit }')
  [ -n "$child" ] && xwininfo -id "$child" 2>/dev/null | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'
}
sized() { [ "$(shown_size)" = "$1" ]; }
start_show --window-id "$(printf "0x%x" "$id")" --pause 0.5 "$pics"
wait_until 20000 sized 500x400 || fail "--window-id: the show's window is $(shown_size), not its host's 500x400"
pictures_change_in "$id" 2 || fail "--window-id: the host's window did not show changing pictures"
xdotool windowsize "$id" 320 240
wait_until 20000 sized 320x240 || fail "--window-id: the show's window is $(shown_size) after its host became 320x240"
kill "$logo"
wait "$logo" 2>/dev/null
wait_until 20000 show_ended || fail "--window-id: the show runs on after its host's window was destroyed"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "--window-id: exit status $status after the host's window went"
echo "PASS"
