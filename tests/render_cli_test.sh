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
[ -f "$tmp/frames/frame-00000.png" ] && [ -f "$tmp/frames/frame-00010.png" ] || fail "frame names"
# Progress 100 is the new picture exactly.
[ "$(compare -metric AE "$tmp/frames/frame-00010.png" "$tmp/b.png" null: 2>&1)" = 0 ] || fail "last frame"
# Frames compressed while the next ones are drawn over them are the frames
# drawn alone: a reveal (each frame drawn over the last) and a push.
convert -size 640x480 plasma:fractal -seed 4 "$tmp/c.jpg" && convert -size 640x480 plasma:fractal -seed 5 "$tmp/d.jpg" ||
  fail "cannot make test pictures"
for style in 5 130; do
  "$render" --style $style --step 10 --old "$tmp/c.jpg" --new "$tmp/d.jpg" --out "$tmp/s$style/" || fail "frames of $style"
  for i in 1 4 7 9; do
    "$render" --style $style --step 10 --progress $((i * 10)) --old "$tmp/c.jpg" --new "$tmp/d.jpg" --out "$tmp/one.png" -y ||
      fail "one frame of $style"
    [ "$(compare -metric AE "$tmp/s$style/frame-0000$i.png" "$tmp/one.png" null: 2>&1)" = 0 ] ||
      fail "style $style: frame $i of the folder is not the frame at $((i * 10)) %"
  done
done

# A looping GIF and a folder of frames: the same frame count, the old picture
# first and the new one last.
convert -size 40x30 xc:red "$tmp/red.png" && convert -size 40x30 xc:blue "$tmp/blue.png"
"$render" --old "$tmp/red.png" --new "$tmp/blue.png" --style 84 --step 5 --out "$tmp/t.gif" || fail "GIF"
[ "$(identify "$tmp/t.gif" | wc -l)" -eq 21 ] || fail "GIF frame count"
[ "$(identify -format '%g\n' "$tmp/t.gif" | sed 's/+.*//' | sort -u)" = 40x30 ] || fail "GIF canvas size"
colours=$(convert "$tmp/t.gif" -coalesce -format '%[pixel:p{5,5}] ' info: | tr ' ' '\n')
[ "$(echo "$colours" | sed -n 1p)" = "srgba(255,0,0,1)" ] || fail "GIF first frame"
[ "$(echo "$colours" | sed -n 21p)" = "srgba(0,0,255,1)" ] || fail "GIF last frame"
"$render" --old "$tmp/red.png" --new "$tmp/blue.png" --style 84 --step 5 --reverse --out "$tmp/rev/" || fail "reverse"
[ "$(ls "$tmp/rev" | wc -l)" -eq 21 ] || fail "reverse frame count"

# A slide show: the show's order and styles (seed 0: 51 at show time, then 1, 5).
mkdir "$tmp/show"
convert -size 80x60 xc:red "$tmp/show/b.jpg"
convert -size 80x60 xc:green "$tmp/show/A.BMP"
convert -size 60x80 xc:blue "$tmp/show/c.jpeg"
echo "not listed" > "$tmp/show/notes.txt"
"$render" --slideshow "$tmp/show" --out "$tmp/showframes/" --hold 0.2 > "$tmp/plan" || fail "slide show"
[ "$(cut -f1,2 "$tmp/plan" | tr '\t\n' ':;')" = "A.BMP:51;b.jpg:1;c.jpeg:5;" ] || fail "slide-show plan: $(cat "$tmp/plan")"
[ "$(ls "$tmp/showframes" | wc -l)" -eq $((26 + 5 + 2 * (25 + 5))) ] || fail "slide-show frame count"

# The contact sheet: 10 columns of 164 x 140 cells (160 x 120 pictures of
# the 4:3 samples under a 16-row label) for 150 styles, each label written.
"$render" --contact-sheet "$tmp/sheet.png" 2>/dev/null || fail "contact sheet"
[ "$(identify -format '%wx%h' "$tmp/sheet.png")" = 1644x2104 ] || fail "contact sheet size"
labels=$(convert "$tmp/sheet.png" -crop 164x140 +repage -crop 160x16+4+4 +repage \
  -format '%[fx:maxima.r>0.6]\n' info: 2>/dev/null | grep -c 1)
[ "$labels" -eq 150 ] || fail "contact sheet labels: $labels"

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
expect_refusal "a PNG for a whole transition" --style 1 --old "$tmp/a.jpg" --new "$tmp/b.png" --out "$tmp/y.png"
expect_refusal "bad size" --style 1 --old "$tmp/a.jpg" --new "$tmp/b.png" --out "$tmp/z" --size 10by10
expect_refusal "bad fit" --style 1 --old "$tmp/a.jpg" --new "$tmp/b.png" --out "$tmp/z" --fit zoom
expect_refusal "missing slide-show folder" --slideshow "$tmp/frames/none" --out "$tmp/z.gif"
mkdir "$tmp/nothing"
expect_refusal "empty slide-show folder" --slideshow "$tmp/nothing" --out "$tmp/z.gif"
expect_refusal "no output folder" --style 1 --old "$tmp/a.jpg" --new "$tmp/b.png" --frames /proc/nope
echo "render command line: all checks passed"
