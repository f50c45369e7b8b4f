#!/usr/bin/env bash
# End to end: the classic show never writes or deletes a user's file through
# its staging folder. A "mirel" beside the executable that is a symbolic
# link to a folder of the user's (with a 01.jpg of their own) is refused
# with an error box and a line saying why, and the folder is untouched after
# the show has run and closed; so is one that belongs to another user (when
# the test runs as root and can make one). In a real folder, a staged
# picture that the user replaces while the show runs survives the close,
# while the show's own twelve go as usual.
#
#   show_staging_e2e.sh path/to/mirel-show
set -uo pipefail
show=${1:?usage: show_staging_e2e.sh path/to/mirel-show}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool

sandbox_show "$show" || fail "cannot copy $show"
sandbox_settings 1 || fail "cannot write the settings"
start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"

box_up() { [ "$(windows_named mirel-show | wc -l)" -ge 1 ]; }

# The show refuses $work/bin/mirel with the reason ($1, a pattern) on
# standard error and in a box; a key on the show then ends it with status 0.
expect_refusal() {
  : >"$work/show.log"
  start_show
  wait_until 15000 box_up || fail "no error box for $2"
  grep -q "^mirel-show: .*\"$work/bin/mirel\": $1" "$work/show.log" || fail "the reason for $2 was not given"
  wait_until 10000 windows_named Form1 >/dev/null || fail "no show window"
  xdotool windowfocus "$(windows_named Form1 | head -n1)" key space || fail "xdotool could not press a key"
  wait_until 10000 show_ended || fail "the show still runs after a key on it"
  wait "$show_pid"; local status=$?; show_pid=
  [ "$status" -eq 0 ] || fail "$2: exit status $status"
  echo "$2: refused"
}

# A link to the user's photos, one of them named as a staged picture.
mkdir -p "$work/photos"
head -c 5000 /dev/urandom >"$work/photos/01.jpg"
echo "a note" >"$work/photos/notes.txt"
cp "$work/photos/01.jpg" "$work/original.jpg"
ln -s "$work/photos" "$work/bin/mirel"
expect_refusal "it is a symbolic link" "a linked staging folder"
cmp -s "$work/photos/01.jpg" "$work/original.jpg" || fail "the user's 01.jpg changed"
[ "$(ls -A "$work/photos" | tr '\n' ' ')" = "01.jpg notes.txt " ] \
  || fail "the user's folder changed: $(ls -A "$work/photos" | tr '\n' ' ')"
[ -L "$work/bin/mirel" ] || fail "the link was removed"
rm "$work/bin/mirel"

# A folder of another user's, which the show could write in.
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  mkdir -m 777 "$work/bin/mirel"
  cp "$work/original.jpg" "$work/bin/mirel/01.jpg"
  chown -R nobody "$work/bin/mirel"
  expect_refusal "the folder belongs to another user" "another user's staging folder"
  cmp -s "$work/bin/mirel/01.jpg" "$work/original.jpg" || fail "the other user's 01.jpg changed"
  [ "$(ls -A "$work/bin/mirel")" = 01.jpg ] || fail "the other user's folder changed"
  rm -rf "$work/bin/mirel"
else
  echo "not root: another user's folder was not tried"
fi

# A real folder: staged as before, then the user puts a file of their own
# in 01.jpg's place (a new file, renamed over it).
: >"$work/show.log"
start_show
all_staged() { [ "$(staged_count)" -eq 13 ]; }
wait_until 15000 all_staged || fail "the pictures were not staged in a real folder"
wait_until 10000 windows_named Form1 >/dev/null || fail "no show window"
cp "$work/original.jpg" "$work/bin/mirel/.mine" && mv "$work/bin/mirel/.mine" "$work/bin/mirel/01.jpg"
xdotool windowfocus "$(windows_named Form1 | head -n1)" key space || fail "xdotool could not press a key"
wait_until 10000 show_ended || fail "the show still runs after a key on it"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "exit status $status"
[ "$(ls -A "$work/bin/mirel")" = 01.jpg ] || fail "left in the folder: $(ls -A "$work/bin/mirel" | tr '\n' ' ')"
cmp -s "$work/bin/mirel/01.jpg" "$work/original.jpg" || fail "the user's replacement of 01.jpg changed"
[ -s "$work/show.log" ] && fail "output on standard error"
echo "PASS"
