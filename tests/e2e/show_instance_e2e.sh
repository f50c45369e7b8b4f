#!/usr/bin/env bash
# End to end: twenty simultaneous first starts (no settings yet) give exactly
# one show, no error and a complete settings file; a show killed with
# SIGKILL leaves its socket behind, and the next start still becomes the show
# and is found by the start after it; a client sending a long message without
# an end of line is cut off; a start that finds the lock held by a process
# that does not answer says so and ends.
#
#   show_instance_e2e.sh path/to/mirel-show
set -uo pipefail
show=${1:?usage: show_instance_e2e.sh path/to/mirel-show}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool

sandbox_show "$show" || fail "cannot copy $show"
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"

pids=()
cleanup_all() { for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done; sandbox_cleanup; }
trap cleanup_all EXIT

for i in $(seq 1 20); do
  start_show
  pids+=("$show_pid")
done
show_pid=

alive() { local n=0 p; for p in "${pids[@]}"; do running "$p" && n=$((n + 1)); done; echo "$n"; }
one_left() { [ "$(alive)" -eq 1 ]; }
wait_until 25000 one_left || fail "$(alive) of 20 starts still run"
sleep 1
[ "$(alive)" -eq 1 ] || fail "$(alive) shows run"
# The one show left maps its window in its own time on a loaded machine.
wait_until 10000 windows_named Form1 >/dev/null || fail "0 show windows"
[ "$(windows_named Form1 | wc -l)" -eq 1 ] || fail "$(windows_named Form1 | wc -l) show windows"
[ -z "$(windows_named mirel-show)" ] || fail "an error box is open"
[ -z "$(windows_named Warning)" ] || fail "a warning box is open"
grep '^mirel-show: ' "$work/show.log" && fail "errors were reported"
ini="$work/config/software/mirel12.ini"
grep -q '^reg_Showpause=8$' "$ini" && grep -q '^reg_phototarget=1$' "$ini" || fail "incomplete settings: $(cat "$ini")"
for p in "${pids[@]}"; do running "$p" && show_pid=$p; done
[ "$(staged_count)" -eq 13 ] || fail "the pictures are not all staged"

# Killed outright, the show leaves its socket and its pictures.
kill -9 "$show_pid"; wait "$show_pid" 2>/dev/null; show_pid=
[ -n "$(ls "$work/runtime" | grep -v '\.lock$')" ] || fail "no socket was left to test with"
start_show
first=$show_pid
wait_until 10000 windows_named Form1 >/dev/null || fail "a stale socket kept the next show from starting"
sleep 0.5
running "$first" || fail "the start after a killed show ended"
# A client that sends far more than a request without ending a line is cut
# off: the show does not keep what it sends.
sock=$(ls "$work/runtime"/mirel-*.lock | head -n1); sock=${sock%.lock}
python3 - "$sock" <<'EOF' || fail "the show took a long unterminated message"
import socket, sys
client = socket.socket(socket.AF_UNIX)
client.settimeout(60)
client.connect(sys.argv[1])
try:
    client.sendall(b"x" * (64 << 20))
except (BrokenPipeError, ConnectionResetError):
    sys.exit(0)
print("64 MB without an end of line were all taken")
sys.exit(1)
EOF
running "$first" || fail "the long message ended the show"
# ... and a later start finds it and ends, leaving it running.
start_show
second=$show_pid
show_pid=$first
pids+=("$first" "$second")
second_ended() { ! running "$second"; }
wait_until 10000 second_ended || fail "the later start did not end"
running "$first" || fail "the later start ended the running show"
kill -TERM "$first"
wait_until 20000 show_ended || fail "the show did not end on SIGTERM"
[ "$(staged_count)" -eq 0 ] || fail "staged pictures left behind"
grep '^mirel-show: ' "$work/show.log" && fail "errors were reported"

# The lock held by a process that does not answer (here the test itself):
# a start says why it does not run, on standard error and in a box, with
# no show window of its own, and ends with status 0 once the box is answered.
lock=$(ls "$work/runtime"/mirel-*.lock | head -n1)
exec 9>"$lock"
flock -n 9 || fail "cannot take the lock"
start_show 9>&-
said_why() { grep -q "^mirel-show: Another show is running (it holds $lock) but did not answer" "$work/show.log"; }
wait_until 30000 said_why || fail "the start did not say why it ended"
box_up() { [ "$(windows_named mirel-show | wc -l)" -ge 1 ]; }
wait_until 10000 box_up || fail "no box says why the show does not start"
[ -z "$(windows_named Form1)" ] || fail "a show window opened beside the box"
running "$show_pid" || fail "the start ended before its box was answered"
xdotool windowfocus "$(windows_named mirel-show | head -n1)" key Return || fail "xdotool could not press a key"
wait_until 10000 show_ended || fail "the start still runs after its box was answered"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "exit status $status"
exec 9>&-
[ "$(staged_count)" -eq 0 ] || fail "the start that did not run staged pictures"
echo "PASS"
