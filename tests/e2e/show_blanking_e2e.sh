#!/usr/bin/env bash
# End to end: with the X server's screen saver set to start after 2 seconds
# of idleness, the screen never blanks while the show runs, and blanks soon
# after the show has ended. (No session bus here: the show falls back to
# the X server's screen saver extension.)
#
#   show_blanking_e2e.sh path/to/mirel-show path/to/x_saver_state
set -uo pipefail
show=${1:?usage: show_blanking_e2e.sh path/to/mirel-show path/to/x_saver_state}
saver_state=${2:?usage: show_blanking_e2e.sh path/to/mirel-show path/to/x_saver_state}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool xset

sandbox_show "$show" || fail "cannot copy $show"
sandbox_settings 1 || fail "cannot write the settings"
start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"
unset DBUS_SESSION_BUS_ADDRESS
xset s 2 0 || fail "xset could not set the screen saver"
xset q | grep -q 'timeout:  *2 ' || fail "the screen saver timeout did not take: $(xset q | grep timeout)"

blank() { "$saver_state" | grep -q '^on '; }
"$saver_state" >/dev/null || fail "cannot read the screen saver's state"

start_show
wait_until 15000 windows_named Form1 >/dev/null || fail "no show window"
# Six seconds without input: three times the saver's timeout.
for i in $(seq 1 12); do
  sleep 0.5
  blank && fail "the screen saver came on during the show (after $((i * 500)) ms)"
done
running "$show_pid" || fail "the show ended by itself"
kill -TERM "$show_pid"
wait_until 20000 show_ended || fail "the show did not end"
wait "$show_pid"; show_pid=
# Released: the saver comes back.
wait_until 20000 blank || fail "the screen saver did not come back after the show ($("$saver_state"))"
echo "PASS"
