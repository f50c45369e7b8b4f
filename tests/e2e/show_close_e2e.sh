#!/usr/bin/env bash
# End to end: SIGTERM, SIGINT and SIGHUP end the real show as a key does
# (staged pictures removed, exit status 0, nothing written on standard
# error, not even Qt's notices), and a key pressed while the
# timer fires every millisecond ends it, with no tick loading from
# the deleted files, nor waiting for a picture being loaded. No step is
# timed: each limit only keeps a failing run from hanging.
#
#   show_close_e2e.sh path/to/mirel-show path/to/libmirel_hold_open.so
set -uo pipefail
show=${1:?usage: show_close_e2e.sh path/to/mirel-show path/to/libmirel_hold_open.so}
hold=${2:?usage: show_close_e2e.sh path/to/mirel-show path/to/libmirel_hold_open.so}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool

sandbox_show "$show" || fail "cannot copy $show"
sandbox_settings 1 || fail "cannot write the settings"
start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"

# Starts the show and waits until it has staged its pictures and shows its window.
start_and_wait() {
  : >"$work/show.log"
  start_show "$@"
  all_staged() { [ "$(staged_count)" -eq 13 ]; }
  wait_until 15000 all_staged || fail "the pictures were not staged"
  wait_until 10000 windows_named Form1 >/dev/null || fail "no show window"
}

# Waits for the show to end (giving up after $1 ms); checks status 0 and the clean-up.
expect_clean_end() {
  wait_until "$1" show_ended || fail "$2: the show still runs after $1 ms"
  wait "$show_pid"; local status=$?; show_pid=
  [ "$status" -eq 0 ] || fail "$2: exit status $status"
  [ "$(staged_count)" -eq 0 ] || fail "$2: $(staged_count) staged pictures left behind"
  # Nothing at all on standard error: no errors, and none of Qt's notices.
  [ -s "$work/show.log" ] && fail "$2: output on standard error"
  echo "$2: ended cleanly"
}

for signal in TERM INT HUP; do
  # Without XDG_RUNTIME_DIR, Qt has something to say about it, which the
  # show keeps to itself; the lock then lives in the cache folder.
  [ "$signal" = HUP ] && no_runtime_dir=1
  start_and_wait
  no_runtime_dir=
  kill -s "$signal" "$show_pid"
  expect_clean_end 20000 "SIG$signal"
done

# Ticks every millisecond: one is always queued when the key arrives.
export MIREL_SHOW_PAUSE_MS=1
start_and_wait
sleep 1
xdotool windowfocus "$(windows_named Form1 | head -n1)" 2>/dev/null
xdotool key space || fail "xdotool could not press a key"
expect_clean_end 20000 "key during fast ticks"
unset MIREL_SHOW_PAUSE_MS

# A picture among the staged ones whose load never finishes: the preloaded
# hold (hold_open.cpp) keeps its file from opening until the test opens the
# gate, which it never does. Once the load is known to be under way, a key
# must still end the show: a show that waited for the load would wait
# forever, so the property holds without timing anything, and the limit
# below only keeps a failing run from hanging.
mkdir -p "$work/bin/mirel" "$work/hold"
mkfifo "$work/hold/gate" || fail "cannot make the gate FIFO"
# Listed second, after 01.jpg: the load ahead of the first tick is its own.
cp "$(dirname "$0")/../../resources/$(ls "$(dirname "$0")/../../resources" | grep -i '\.jpg$' | head -n1)" \
  "$work/bin/mirel/01held.jpg" || fail "cannot copy a picture to hold"
export MIREL_HOLD_NAME=01held.jpg MIREL_HOLD_DIR="$work/hold"
# A sanitizer's runtime wants to be loaded first; the hold has none of its own.
export ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
# The first tick comes as the window shows and waits for the held picture,
# for good.
export MIREL_SHOW_PAUSE_MS=1
LD_PRELOAD="$hold" start_and_wait
unset MIREL_SHOW_PAUSE_MS
held() { [ -e "$work/hold/blocked" ]; }
wait_until 30000 held || fail "the held picture was never loaded"
xdotool windowfocus "$(windows_named Form1 | head -n1)" 2>/dev/null
xdotool key space || fail "xdotool could not press a key"
wait_until 30000 show_ended || fail "the show waited for a picture's load that never ends"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "exit status $status with a load under way"
[ "$(staged_count)" -eq 0 ] || fail "$(staged_count) staged pictures left behind with a load under way"
[ -e "$work/bin/mirel/01held.jpg" ] || fail "the user's picture was deleted"
echo "a key ended the show while a picture's load was held"
echo "PASS"
