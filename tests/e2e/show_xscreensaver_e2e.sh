#!/usr/bin/env bash
# End to end with the real xscreensaver on a virtual display:
#  - the module line the README gives, with ~/Pictures as xscreensaver
#    passes it (no shell), runs when the saver activates: the saver's
#    window shows the pictures, the saver stays active, and deactivating it
#    ends the show;
#  - its settings dialog's preview, which adds --window-id to that line
#    (--root and all), shows the pictures in the dialog;
#  - a full-screen show beside xscreensaver tells it of activity, as its
#    manual asks of video players, so that it does not blank over the show.
# xscreensaver refuses to run as root: as root, the test runs it (and so
# the show it starts) as the user nobody.
#
#   show_xscreensaver_e2e.sh path/to/mirel-show
set -uo pipefail
show=${1:?usage: show_xscreensaver_e2e.sh path/to/mirel-show}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xscreensaver xscreensaver-command xscreensaver-settings import identify convert xprop

as_user=() saver_uid=$(id -u)
[ "$saver_uid" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups) saver_uid=65534
chmod 755 "$work"
sandbox_show "$show" || fail "cannot copy $show"
home="$work/home"
mkdir -p "$home/Pictures/trip"
convert -size 640x480 xc:green "$home/Pictures/a.jpg"
convert -size 480x640 xc:blue "$home/Pictures/trip/b.png"
cat >"$home/.xscreensaver" <<'EOF'
timeout:	0:01:00
mode:		one
selected:	0
lock:		False
fade:		False
unfade:		False
splash:		False
programs:	"Mirel"  mirel-show --root --pause 0.5 -r ~/Pictures  \n\

EOF
chown -R "$saver_uid" "$home"
start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"

saver_pids=()
trap 'for p in "${saver_pids[@]}"; do kill "$p" 2>/dev/null; done; sandbox_cleanup' EXIT
# Runs $@ as xscreensaver's user, in its home, with the show on its PATH and
# no session bus (GTK would start one for the display, to outlive the test).
# Run it in the background ("&"): it becomes the program, so that $! is the
# program's own process.
as_saver_user() {
  cd "$home" && exec env HOME="$home" PATH="$work/bin:$PATH" DBUS_SESSION_BUS_ADDRESS=disabled: NO_AT_BRIDGE=1 \
    "${as_user[@]}" "$@"
}
as_saver_user xscreensaver -no-splash -verbose >"$work/xscreensaver.log" 2>&1 &
saver_pids+=($!)
saver_up() { xscreensaver-command -version >/dev/null 2>&1; }
wait_until 20000 saver_up || fail "xscreensaver did not start: $(cat "$work/xscreensaver.log")"

# The first number of xscreensaver's status: 0 while the screen shows.
saver_state() { xprop -root _SCREENSAVER_STATUS | sed -n 's/.*= \([0-9]*\),.*/\1/p'; }
# The shows that xscreensaver started and that still run, as "pid args" lines.
shows() { ps -o pid=,stat=,args= -U "$saver_uid" | awk '$2 !~ /^Z/ && $3 == "mirel-show" && $4 == "--root"'; }

# The saver activates and runs the module line as written.
xscreensaver-command -activate >/dev/null 2>&1 || fail "xscreensaver-command -activate"
show_running() { [ -n "$(shows)" ]; }
wait_until 20000 show_running || fail "xscreensaver did not start the show: $(tail -n 20 "$work/xscreensaver.log")"
pictures_change_in root 2 || fail "the saver's screen did not show the pictures (~/Pictures, -r)"
grep -E 'crashed|exited with status' "$work/xscreensaver.log" | grep -i mirel && fail "xscreensaver says the show failed"
[ "$(saver_state)" != 0 ] || fail "the saver was deactivated while the show ran"
xscreensaver-command -deactivate >/dev/null 2>&1
show_gone() { [ -z "$(shows)" ]; }
wait_until 20000 show_gone || fail "the show still runs after the saver was deactivated"
echo "module: the show ran as the saver and ended with it"

# The settings dialog previews the selected module in a window of its own.
as_saver_user xscreensaver-settings >"$work/settings.log" 2>&1 &
settings=$!
saver_pids+=("$settings")
preview_id() { shows | grep -o -- '--window-id 0x[0-9A-Fa-f]*' | head -n1 | cut -d' ' -f2; }
previewing() { [ -n "$(preview_id)" ]; }
wait_until 30000 previewing || fail "the settings dialog did not preview the show: $(tail -n 20 "$work/settings.log")"
id=$(preview_id)
pictures_change_in "$id" 2 || fail "the preview window $id did not show the pictures"
kill "$settings"
wait "$settings" 2>/dev/null
wait_until 20000 show_gone || fail "the preview's show runs on after the dialog closed"
echo "preview: the show drew in the dialog's window $id"

# A full-screen show beside the saver tells it of activity.
mkdir -p "$work/pictures"
convert -size 320x200 xc:orange "$work/pictures/c.jpg"
deactivations() { grep -c 'ClientMessage DEACTIVATE' "$work/xscreensaver.log"; }
before=$(deactivations)
told() { [ "$(deactivations)" -gt "$before" ]; }
start_show --pause 1 "$work/pictures"
wait_until 20000 told || fail "the full-screen show did not tell xscreensaver of activity"
kill -TERM "$show_pid"
wait_until 20000 show_ended || fail "the full-screen show did not end"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "exit status $status"
echo "PASS"
