#!/usr/bin/env bash
# mirel-render against hostile pictures (tests/make_hostile_pictures.sh):
# every one, as the old or the new picture, gets one line on standard error
# naming it, exit status 2, no output file, and never a hang; a slide show of
# the whole folder leaves each listed bad picture out with one line and
# renders the good ones.
set -u
render=$1
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'chmod -R u+rwx "$tmp" 2>/dev/null; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

pics=$tmp/pictures
"$here/make_hostile_pictures.sh" "$pics" || fail "cannot make the hostile pictures"
good=$pics/good-a.jpg

check() { # check NAME ROLE: NAME as --old (ROLE old) or --new (ROLE new)
  local path=$1 role=$2 out=$tmp/out.png err=$tmp/err status
  rm -f "$out"
  if [ "$role" = old ]; then
    timeout 30 "$render" --style 1 --progress 50 --old "$path" --new "$good" --out "$out" 2>"$err" >/dev/null
  else
    timeout 30 "$render" --style 1 --progress 50 --old "$good" --new "$path" --out "$out" 2>"$err" >/dev/null
  fi
  status=$?
  [ "$status" -ne 124 ] || fail "$path as $role: hangs"
  [ "$status" -eq 2 ] || fail "$path as $role: exit status $status, not 2: $(cat "$err")"
  [ "$(wc -l < "$err")" -eq 1 ] || fail "$path as $role: not one line: $(cat "$err")"
  grep -qF "$path" "$err" || fail "$path as $role: the message does not name it: $(cat "$err")"
  [ ! -e "$out" ] || fail "$path as $role: an output file was written"
}

count=0
for path in "$pics"/* "$pics/vanished.jpg"; do
  # mirel-render reads a picture not named .jpg by its content, so a JPEG
  # named .xyz or .bmp is a good picture to it.
  case $(basename "$path") in good-* | unsupported.xyz | wrong-content.bmp) continue ;; esac
  # Root reads a file whatever its mode: then it is no longer a bad one.
  if [ "$(basename "$path")" = unreadable.jpg ] && [ -r "$path" ]; then
    echo "skipped unreadable.jpg: readable by this user (root)"
    continue
  fi
  check "$path" old
  check "$path" new
  count=$((count + 1))
done
[ "$count" -ge 15 ] || fail "only $count hostile pictures"

# A slide show of the folder goes on past every bad picture it lists.
out=$tmp/show
timeout 120 "$render" --slideshow "$pics" --frames "$out" --size 64x48 --hold 0.1 --step 50 >"$tmp/plan" 2>"$tmp/err" ||
  fail "slide show: exit status $?: $(cat "$tmp/err")"
grep -q '^good-a.jpg' "$tmp/plan" && grep -q '^good-b.bmp' "$tmp/plan" || fail "slide show: good pictures missing: $(cat "$tmp/plan")"
[ "$(grep -c 'left out' "$tmp/err")" -eq "$(grep -c . "$tmp/err")" ] || fail "slide show: unexpected messages: $(cat "$tmp/err")"
grep -q 'truncated.jpg' "$tmp/err" && grep -q 'lying-size.bmp' "$tmp/err" || fail "slide show: bad pictures not named: $(cat "$tmp/err")"
if grep -q 'fifo.jpg\|folder.jpg' "$tmp/err" "$tmp/plan"; then fail "slide show: listed a FIFO or a folder"; fi
[ "$(ls "$out" | wc -l)" -gt 0 ] || fail "slide show: no frames"
echo "ok: $count hostile pictures refused; the slide show went on"
