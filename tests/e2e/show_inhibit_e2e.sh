#!/usr/bin/env bash
# End to end: on a desktop whose session bus has a screen saver service, the
# show asks it to hold off blanking when it starts (Inhibit) and lets go
# when it ends (UnInhibit with the same cookie), for the built-in pictures
# and for a folder of the user's; a show that is itself the screen saver
# (--root, --window-id, XSCREENSAVER_WINDOW) never asks, since a saver told
# to hold off ends the very show it runs.
#
#   show_inhibit_e2e.sh path/to/mirel-show path/to/fake_screensaver
set -uo pipefail
show=${1:?usage: show_inhibit_e2e.sh path/to/mirel-show path/to/fake_screensaver}
fake=${2:?usage: show_inhibit_e2e.sh path/to/mirel-show path/to/fake_screensaver}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb dbus-daemon convert import identify xwininfo

sandbox_show "$show" || fail "cannot copy $show"
sandbox_settings 1 || fail "cannot write the settings"
start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"

# A session bus of the test's own.
dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 3>"$work/bus" 4>"$work/bus.pid" \
  || fail "no session bus"
bus_pid=$(head -n1 "$work/bus.pid")
trap 'kill "$bus_pid" 2>/dev/null; kill "$saver_pid" 2>/dev/null; sandbox_cleanup' EXIT
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
"$fake" >"$work/saver.log" 2>&1 &
saver_pid=$!
saver_ready() { grep -q '^ready$' "$work/saver.log"; }
wait_until 20000 saver_ready || fail "the fake screen saver did not start: $(cat "$work/saver.log")"

# $1: a name for the case; the rest: the show's arguments.
check_case() {
  local name=$1 cookie
  shift
  start_show "$@"
  wait_until 10000 grep -q "^Inhibit mirel-show Showing pictures -> $((++asked))\$" "$work/saver.log" \
    || fail "$name: the show did not ask the screen saver to hold off: $(cat "$work/saver.log")"
  cookie=$asked
  grep -q "^UnInhibit $cookie\$" "$work/saver.log" && fail "$name: let go while showing"
  kill -TERM "$show_pid"
  wait_until 20000 show_ended || fail "$name: the show did not end"
  wait "$show_pid"; show_pid=
  wait_until 20000 grep -q "^UnInhibit $cookie\$" "$work/saver.log" \
    || fail "$name: the show did not let go: $(cat "$work/saver.log")"
  echo "$name: inhibited and released (cookie $cookie)"
}
asked=0
check_case "built-in pictures"
mkdir -p "$work/pictures"
convert -size 320x200 xc:orange "$work/pictures/a.jpg"
check_case "a folder" --pause 1 "$work/pictures"

# As the saver: once its pictures are on screen, Start() is past where a
# full-screen show asks; nothing may have been asked.
root_id=$(xwininfo -root | awk '/Window id:/ { print $4 }')
convert -size 320x200 xc:blue "$work/pictures/b.jpg"
saver_case() {
  local name=$1
  shift
  start_show "$@"
  screen_changes 20000 || fail "$name: the show did not draw"
  kill -TERM "$show_pid"
  wait_until 20000 show_ended || fail "$name: the show did not end"
  wait "$show_pid"; show_pid=
  [ "$(grep -c '^Inhibit' "$work/saver.log")" -eq "$asked" ] \
    || fail "$name: the saver asked the screen saver to hold off: $(cat "$work/saver.log")"
  echo "$name: asked nothing"
}
saver_case "--root" --root --pause 0.3 "$work/pictures"
saver_case "--window-id" --window-id "$root_id" --pause 0.3 "$work/pictures"
XSCREENSAVER_WINDOW=$root_id saver_case "XSCREENSAVER_WINDOW" --root --pause 0.3 "$work/pictures"
echo "PASS"
