#!/usr/bin/env bash
# End to end: runs the real show on a virtual X display with a pause of one
# second, checks from screenshots that pictures are on screen and change,
# then presses a key and checks that the show ends within 2 seconds and has
# deleted the thirteen pictures it staged.
#
#   show_e2e.sh path/to/mirel-show
#
# Exit status 0 on success, 1 on failure, 77 when a needed tool is missing.
set -uo pipefail

show=${1:?usage: show_e2e.sh path/to/mirel-show}
for tool in Xvfb xdotool import identify; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/deps.sh installs it)"
    # In CI a missing tool is a missing install step, not a reason to skip.
    [ -n "${CI:-}" ] && exit 1
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"

fail() {
  echo "FAIL: $*"
  if [ -s "$work/show.log" ]; then
    echo "--- the show's standard error:"
    cat "$work/show.log"
  fi
  exit 1
}

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

mkdir -p "$work/cache"
sandbox_show "$show" || fail "cannot copy $show"
sandbox_settings 1 || fail "cannot write the settings"
staged="$work/bin/mirel"

start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"
echo "virtual display $DISPLAY"

# In a sanitizer build, leaks of the system's D-Bus library are not the show's.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
env XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" \
  MIREL_SHOW_TIMING=1 "$work/bin/mirel-show" 2>"$work/show.log" &
show_pid=$!

# Start-up stages the thirteen pictures.
for _ in $(seq 1 150); do
  [ "$(ls "$staged" 2>/dev/null | grep -c '\.jpg$')" -eq 13 ] && break
  running "$show_pid" || fail "the show ended at start-up"
  sleep 0.1
done
[ "$(ls "$staged" 2>/dev/null | grep -c '\.jpg$')" -eq 13 ] || fail "the thirteen pictures were not staged in $staged"

# Screenshots over about five seconds: five or so transitions at a pause of one second.
shown=0
signatures=()
for i in $(seq 1 10); do
  sleep 0.5
  shot="$work/shot$i.png"
  import -window root "$shot" 2>/dev/null || continue
  read -r mean signature < <(identify -format '%[fx:mean] %#\n' "$shot" 2>/dev/null) || continue
  # Black is 0; the pictures cover about half the screen.
  if awk -v m="$mean" 'BEGIN { exit !(m > 0.03) }'; then
    shown=$((shown + 1))
    signatures+=("$signature")
  fi
done
distinct=$(printf '%s\n' "${signatures[@]}" | sort -u | grep -c .)
echo "screenshots showing a picture: $shown, distinct: $distinct"
[ "$shown" -ge 3 ] || fail "the screen stayed black"
[ "$distinct" -ge 3 ] || fail "the pictures on screen did not change"
running "$show_pid" || fail "the show ended by itself"

# A key ends the show. Without a window manager the key goes to the window
# under the pointer, which the full-screen show covers.
xdotool search --onlyvisible --name '^Form1$' windowfocus 2>/dev/null
pressed=$(now_ms)
xdotool key space || fail "xdotool could not press a key"
# A limit against hanging, not a timing.
wait_until 20000 show_ended || fail "the show still runs 20 seconds after a key press"
elapsed=$(( $(now_ms) - pressed ))
wait "$show_pid"
status=$?
show_pid=
echo "the show ended $elapsed ms after the key press, exit status $status"
[ "$status" -eq 0 ] || fail "exit status $status"

left=$(ls "$staged" 2>/dev/null | grep -c '\.jpg$')
[ "$left" -eq 0 ] || fail "$left staged pictures were left in $staged"
[ -d "$staged" ] || fail "the staging folder itself was removed"
# The show's own complaints start with its name; Qt's notices are not counted.
grep '^mirel-show: ' "$work/show.log" | grep -v 'first frame painted' && fail "the show reported errors"
grep 'first frame painted' "$work/show.log"
echo "PASS"
