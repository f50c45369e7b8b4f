#!/usr/bin/env bash
# mirel-render from the outside: frames are written, and every kind of bad
# input gets exactly one line on standard error and exit status 2.
set -u
render=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

convert -size 64x48 gradient:red-blue "$tmp/a.jpg" || fail "cannot make a test JPEG"
convert -size 64x48 gradient:green-yellow -depth 8 "$tmp/b.png" || fail "cannot make a test PNG"
convert -size 32x24 gradient:white-black "$tmp/small.bmp" || fail "cannot make a test BMP"

[ "$("$render" --list | wc -l)" -eq 151 ] || fail "--list is not 151 lines"
[ "$("$render" --list | sed -n 77p)" = "$(printf '76\tUnven shred from bottom')" ] || fail "--list row 76"

"$render" --style 1 --progress 50 --old "$tmp/a.jpg" --new "$tmp/b.png" --out "$tmp/f.png" || fail "one frame"
[ "$(identify -format '%wx%h' "$tmp/f.png")" = 64x48 ] || fail "frame size"
"$render" --style "circular REVEAL from centre" --progress 0 --old "$tmp/small.bmp" --new "$tmp/b.png" \
  --out "$tmp/g.png" || fail "a style by name, an old picture of another size"
[ "$(identify -format '%wx%h' "$tmp/g.png")" = 64x48 ] || fail "frames take the new picture's size"

"$render" --style 84 --step 10 --old "$tmp/a.jpg" --new "$tmp/b.png" --frames "$tmp/frames" || fail "frames"
[ "$(ls "$tmp/frames" | wc -l)" -eq 11 ] || fail "step 10 makes 11 frames"
[ -f "$tmp/frames/progress-000.png" ] && [ -f "$tmp/frames/progress-100.png" ] || fail "frame names"
# Progress 100 is the new picture exactly.
[ "$(compare -metric AE "$tmp/frames/progress-100.png" "$tmp/b.png" null: 2>&1)" = 0 ] || fail "last frame"

head -c 200 "$tmp/a.jpg" > "$tmp/truncated.jpg"
echo "not a picture" > "$tmp/garbage.png"
: > "$tmp/empty.jpg"
mkdir "$tmp/folder.jpg"

expect_refusal() {
  local what=$1; shift
  "$render" "$@" > /dev/null 2> "$tmp/err"
  local rc=$?
  [ $rc -eq 2 ] || fail "$what: exit status $rc"
  [ "$(wc -l < "$tmp/err")" -eq 1 ] || fail "$what: not one line: $(cat "$tmp/err")"
}
frame=(--progress 50 --out "$tmp/x.png")
expect_refusal "missing file" --style 1 --old "$tmp/missing.jpg" --new "$tmp/b.png" "${frame[@]}"
grep -q missing.jpg "$tmp/err" || fail "the message names the file"
expect_refusal "truncated JPEG" --style 1 --old "$tmp/truncated.jpg" --new "$tmp/b.png" "${frame[@]}"
expect_refusal "empty JPEG" --style 1 --old "$tmp/a.jpg" --new "$tmp/empty.jpg" "${frame[@]}"
expect_refusal "garbage PNG" --style 1 --old "$tmp/a.jpg" --new "$tmp/garbage.png" "${frame[@]}"
expect_refusal "a folder" --style 1 --old "$tmp/folder.jpg" --new "$tmp/b.png" "${frame[@]}"
expect_refusal "style 151" --style 151 --old "$tmp/a.jpg" --new "$tmp/b.png" "${frame[@]}"
expect_refusal "style 0" --style 0 --old "$tmp/a.jpg" --new "$tmp/b.png" "${frame[@]}"
expect_refusal "unknown name" --style "No such style" --old "$tmp/a.jpg" --new "$tmp/b.png" "${frame[@]}"
expect_refusal "progress 101" --style 1 --old "$tmp/a.jpg" --new "$tmp/b.png" --progress 101 --out "$tmp/x.png"
expect_refusal "progress -1" --style 1 --old "$tmp/a.jpg" --new "$tmp/b.png" --progress -1 --out "$tmp/x.png"
expect_refusal "unknown option" --frobnicate
expect_refusal "no output folder" --style 1 --old "$tmp/a.jpg" --new "$tmp/b.png" --frames /proc/nope
echo "render command line: all checks passed"
