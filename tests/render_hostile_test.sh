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
  case $(basename "$path") in good-*) continue ;; esac
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

# --- Causes said -----------------------------------------------------------------
# refused CMD...: exit status 2 and one line on standard error (in $tmp/err),
# never a hang.
refused() {
  timeout 60 "$@" >/dev/null 2>"$tmp/err"
  local status=$?
  [ "$status" -eq 2 ] || fail "$*: exit status $status, not 2: $(cat "$tmp/err")"
  [ "$(wc -l < "$tmp/err")" -eq 1 ] || fail "$*: not one line: $(cat "$tmp/err")"
}
said() { grep -qF -- "$1" "$tmp/err" || fail "$2: the message does not say '$1': $(cat "$tmp/err")"; }
noLitter() { [ -z "$(ls -A "$1" | grep '\.part-\|\.frames-')" ] || fail "$2: temporaries left: $(ls -A "$1")"; }

# Music that is not a regular file would block the open (a FIFO) or never end.
refused "$render" --old "$good" --new "$good" --style 1 --out "$tmp/music.mp4" --audio "$pics/fifo.jpg"
said "not a regular file" "--audio FIFO"
[ ! -e "$tmp/music.mp4" ] || fail "--audio FIFO: an output was written"
refused "$render" --slideshow "$good" --out "$tmp/music.mp4" --audio "$pics"
said "a folder" "--audio folder"

# A folder that cannot be read is not "no such folder".
locked=$tmp/locked
mkdir "$locked" && cp "$good" "$locked/" && chmod 000 "$locked"
if [ "$(id -u)" = 0 ]; then
  chmod 711 "$tmp"
  as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  command -v setpriv >/dev/null || as=()
else
  as=()
fi
if [ "$(id -u)" != 0 ] || [ ${#as[@]} -gt 0 ]; then
  refused "${as[@]}" "$render" --slideshow "$locked" --out "$tmp/locked.mp4"
  said "$locked: cannot read the folder: Permission denied" "unreadable folder"
  refused "${as[@]}" "$render" --slideshow "$locked/trip" --out "$tmp/locked.mp4"
  said "$locked/trip: cannot reach it: Permission denied" "a folder inside an unreadable one"
else
  echo "skipped the unreadable folder: root reads it and setpriv is missing"
fi
chmod 700 "$locked" "$tmp"
# Nor is a loop of links, or a path through a file.
ln -s loop "$tmp/loop"
refused "$render" --slideshow "$tmp/loop" --out "$tmp/loop.mp4"
said "$tmp/loop: cannot reach it: Too many levels of symbolic links" "a loop of links to show"
refused "$render" --old "$good" --new "$good" --style 1 --out "$tmp/loop/"
said "$tmp/loop: cannot reach it: Too many levels of symbolic links" "a loop of links for frames"
refused "$render" --slideshow "$good/trip" --out "$tmp/loop.mp4"
said "$good/trip: cannot reach it: Not a directory" "a folder inside a file"

# A frame size taken from an extreme picture is brought within 16384x16384,
# and said so; an encoder with a smaller limit names the size.
python3 - "$tmp" <<'PY' || fail "cannot make the extreme pictures"
import struct, sys, zlib
def png(w, h, path):
    rows = b''.join(b'\0' + b'\xc8\x1e\x1e' * w for _ in range(h))
    chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) +
                chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
png(1048576, 1, sys.argv[1] + '/wide.png')
png(1, 1048576, sys.argv[1] + '/tall.png')
PY
timeout 120 "$render" --old "$good" --new "$tmp/wide.png" --style 84 --step 50 --out "$tmp/wide.mp4" 2>"$tmp/err" ||
  fail "wide picture to mp4: $(cat "$tmp/err")"
said "1048576x1 is larger than a frame can be (16384x16384 at most); the frame is 16384x1" "wide picture"
[ "$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$tmp/wide.mp4")" = 16384,2 ] ||
  fail "wide picture: the video is not 16384x2"
timeout 120 "$render" --slideshow "$tmp/tall.png" --slideshow "$good" --hold 0.1 --step 50 --out "$tmp/tall/" \
  >/dev/null 2>"$tmp/err" || fail "tall picture in a slide show: $(cat "$tmp/err")"
said "the frame is 1x16384" "tall picture"
# (The note on the frame size, then the refusal.)
timeout 60 "$render" --old "$good" --new "$tmp/wide.png" --style 84 --step 50 --out "$tmp/wide.avi" 2>"$tmp/err"
[ $? -eq 2 ] && [ "$(wc -l < "$tmp/err")" -eq 2 ] || fail "wide picture to avi: $(cat "$tmp/err")"
said "a 16384x1 frame is too large for .avi (8190x8190 at most" "wide picture to avi"
refused "$render" --old "$good" --new "$good" --style 84 --progress 50 --size 16384x8 --out "$tmp/wide.webp"
said "a 16384x8 frame is too large for .webp (16383x16383 at most" "16384x8 WebP"
noLitter "$tmp" "extreme sizes"

# A write that fails says why and leaves nothing: past a file size limit
# (ulimit -f, for any user) and, where a private tmpfs can be mounted, on a
# full disk. Noise compresses badly, so the first frame is already too large.
convert -size 320x240 plasma:fractal -seed 3 "$tmp/noise.jpg" || fail "cannot make a noisy picture"
noisy=(--old "$good" --new "$tmp/noise.jpg" --size 320x240 --style 84)
for out in one.png frames/ show.mp4 show.gif show.webp; do
  rm -rf "${tmp:?}/limited" && mkdir "$tmp/limited"
  step=(--step 25)
  [ "$out" = one.png ] && step=(--progress 50)
  refused bash -c 'ulimit -f 16 && exec "$@"' _ "$render" "${noisy[@]}" "${step[@]}" --out "$tmp/limited/$out"
  said "File too large" "file size limit, $out"
  said "$tmp/limited/$out" "file size limit, $out"
  if grep -q '\.frames-\|\.part-' "$tmp/err"; then fail "file size limit, $out: names a temporary: $(cat "$tmp/err")"; fi
  [ -z "$(ls -A "$tmp/limited")" ] || fail "file size limit, $out: left $(ls -A "$tmp/limited")"
done
full=$tmp/full
mkdir "$full"
if unshare -rm true 2>/dev/null; then
  for out in one.png frames/; do
    step=(--step 25)
    [ "$out" = one.png ] && step=(--progress 50)
    refused unshare -rm bash -c 'mount -t tmpfs -o size=64k tmpfs "$1" && shift && exec "$@"' _ "$full" \
      "$render" "${noisy[@]}" "${step[@]}" --out "$full/$out"
    said "No space left on device" "full disk, $out"
    said "$full/$out" "full disk, $out"
  done
else
  echo "skipped the full tmpfs: no private mount namespace here"
fi

echo "ok: $count hostile pictures refused; the slide show went on; causes said"
