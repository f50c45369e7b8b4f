#!/usr/bin/env bash
# End to end: the show of a folder as a desktop user meets it.
#  - without a display it says so in one line and exits 1;
#  - started without a session bus it starts none (no dbus-launch left);
#  - "Open with" through its desktop entry (gio launch, %F) shows the folder;
#  - a nudge of the mouse where the pointer rests does not end it, a large
#    move does; the built-in show keeps its rule (any move far from the
#    corner ends it);
#  - a second show replaces the first: one window, the first ended with 0;
#  - a picture that cannot be read is named in a line at the bottom of the
#    screen, which goes after a few seconds.
#
#   show_desktop_e2e.sh path/to/mirel-show path/to/mirel-show-pictures.desktop
set -uo pipefail
show=${1:?usage: show_desktop_e2e.sh path/to/mirel-show path/to/desktop-entry}
entry=${2:?usage: show_desktop_e2e.sh path/to/mirel-show path/to/desktop-entry}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool import convert identify gio update-desktop-database desktop-file-validate

sandbox_show "$show" || fail "cannot copy $show"
sandbox_settings 8 || fail "cannot write the settings"
bin="$work/bin/mirel-show"
pics="$work/pictures"
mkdir -p "$pics" "$work/other"
convert -size 640x480 xc:green "$pics/1.jpg"
convert -size 640x480 xc:navy "$work/other/1.png"

# No display: one line, status 1, for an unset display, one nobody serves,
# and a Wayland display that is not there (which Qt itself fails to reach).
for display in "DISPLAY=" "DISPLAY=:97" "QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=mirel-none"; do
  env $display "$bin" "$pics" 2>"$work/err"; status=$?
  [ "$status" -eq 1 ] || fail "$display: exit status $status: $(cat "$work/err")"
  [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q '^mirel-show: no display' "$work/err" \
    || fail "$display: $(cat "$work/err")"
done

start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"
ended_with_0() {
  wait_until 20000 show_ended || fail "$1: the show did not end"
  wait "$show_pid"; local status=$?; show_pid=
  [ "$status" -eq 0 ] || fail "$1: exit status $status"
}
window_up() { windows_named mirel-show >/dev/null; }

# "Open with": the entry, found by its MIME types, launched as a file manager
# does, with the show on the PATH and no session bus.
apps="$work/data/applications"
mkdir -p "$apps" && cp "$entry" "$apps/"
desktop-file-validate "$apps/$(basename "$entry")" || fail "the desktop entry does not validate"
update-desktop-database "$apps" || fail "update-desktop-database"
# The entry's TryExec finds the show on the PATH, as after an install.
export XDG_DATA_DIRS="$work/data:/usr/share" XDG_DATA_HOME="$work/data-home" PATH="$work/bin:$PATH"
for type in inode/directory image/jpeg image/png image/webp; do
  [[ $(gio mime "$type" 2>/dev/null) == *"$(basename "$entry")"* ]] || fail "the entry does not open $type"
done
: >"$work/show.log"
env -u DBUS_SESSION_BUS_ADDRESS HOME="$work/home" \
  XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" \
  gio launch "$apps/$(basename "$entry")" "$pics" 2>>"$work/show.log" &
launcher=$!
wait_until 20000 window_up || fail "gio launch did not start the show"
launched=$(pgrep -n -f "^mirel-show $pics\$") || fail "the show was not started with the folder: $(pgrep -a mirel-show)"
screen_changes 20000 || true
# Whatever the show started is still there: no bus was asked for.
for pid in $(pgrep -f 'dbus-(launch|daemon)'); do
  grep -qz "^HOME=$work/home\$" "/proc/$pid/environ" 2>/dev/null && { kill -9 "$pid"; fail "a session bus was started"; }
done
[ ! -e "$work/home/.dbus" ] || fail "a bus address was written in ~/.dbus"
kill -TERM "$launched"
wait "$launcher" 2>/dev/null
echo "open with: the entry showed the folder, with no bus started"

# A nudge where the pointer rests, far from the corner, leaves the show
# running; a push ends it.
xdotool mousemove 1000 700
start_show --pause 30 "$pics"
wait_until 20000 window_up || fail "no show window"
sleep 0.5
xdotool mousemove 1001 700 && sleep 0.3 && xdotool mousemove 1003 702
sleep 0.5
running "$show_pid" || fail "a nudge of a few pixels ended the show"
xdotool mousemove 1003 400
ended_with_0 "a large move"
# The built-in show keeps the classic rule.
xdotool mousemove 1000 700
start_show
wait_until 20000 windows_named Form1 >/dev/null || fail "no built-in show window"
sleep 0.5
xdotool mousemove 1001 700
ended_with_0 "a move far from the corner in the built-in show"
echo "mouse: a nudge is ignored, a push ends a folder show; the built-in show keeps its rule"

# A second show replaces the first.
start_show --pause 30 "$pics"
first=$show_pid
wait_until 20000 window_up || fail "no first show window"
start_show --pause 30 "$work/other"
second=$show_pid
show_pid=$first
ended_with_0 "the first show, replaced"
show_pid=$second
sleep 1
running "$second" || fail "the second show ended"
[ "$(windows_named mirel-show | wc -l)" -eq 1 ] || fail "$(windows_named mirel-show | wc -l) show windows"
kill -TERM "$second"
ended_with_0 "the second show"
echo "second start: replaced the first"

# A broken picture is named on screen for a while: near-white text in the
# bottom band, where the green picture has none.
echo "broken" >"$pics/2.jpg"
bottom_text() {
  import -window root "$work/shot.png" 2>/dev/null || return 1
  convert "$work/shot.png" -crop 1280x100+0+700 -colorspace gray -threshold 80% -format '%[fx:mean > 0.002]' info:
}
note_shown() { [ "$(bottom_text)" = 1 ]; }
note_gone() { [ "$(bottom_text)" = 0 ]; }
start_show --pause 0.5 "$pics"
wait_until 20000 note_shown || fail "no note at the bottom of the screen"
cp "$work/shot.png" "$work/note.png"
[ -n "${KEEP_WORK:-}" ] && echo "the note: $work/note.png"
wait_until 30000 note_gone || fail "the note stays"
running "$show_pid" || fail "the show ended with the broken picture"
[ "$(grep -c '2.jpg' "$work/show.log")" -eq 1 ] || fail "the broken picture was not reported once on standard error"
kill -TERM "$show_pid"
ended_with_0 "the show with a broken picture"
echo "PASS"
