#!/usr/bin/env bash
# mirel-render as a process reads pictures of every kind by their content:
# TIFF, GIF (its first frame), JPEGs named .jpe, .jfif, .png or nothing, a
# PNG named .jpg, each frame at progress 0 and 100 compared with imagemagick's
# reading of the source; a turned TIFF comes upright; a slide show of a
# folder takes them and a nameless picture but not a text file; a JPEG cut
# short is refused in one line, as a video maker needs.
#
#   render_formats_test.sh path/to/mirel-render
set -u
render=${1:?usage: render_formats_test.sh path/to/mirel-render}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$tmp" || exit 1

# Sources at 8 bits a channel, with sharp edges for the lossless formats.
convert -size 64x48 gradient:red-blue -fill lime -draw 'rectangle 5,3 20,15' -depth 8 src-a.png &&
  convert -size 64x48 gradient:yellow-navy -fill white -draw 'circle 40,24 40,34' -depth 8 src-b.png &&
  convert src-a.png a.tiff && convert src-b.png -colors 200 b.gif && convert -delay 10 b.gif -size 64x48 xc:black anim.gif &&
  convert src-a.png -quality 95 jpg:c && convert src-b.png -quality 95 d.jpe && convert src-a.png -quality 95 e.jfif &&
  convert src-b.png -quality 95 jpg:jpeg-named.png && convert src-a.png png:png-named.jpg ||
  fail "cannot make the pictures"

# same OUT SOURCE FUZZ: the frame shows the source to within FUZZ (JPEGs are lossy).
same() {
  local differ
  differ=$(compare -metric AE -fuzz "$3" "$1" "$2[0]" null: 2>&1) || true
  [ "$differ" = 0 ] || fail "$1 differs from $2 in $differ pixels"
}
# frame OLD NEW PROGRESS: one frame of style 1 at PROGRESS, written to out.png.
frame() {
  rm -f out.png
  "$render" --style 1 --progress "$3" --old "$1" --new "$2" --out out.png 2>err || fail "$1 -> $2: $(cat err)"
  [ ! -s err ] || fail "$1 -> $2: said $(cat err)"
}

for pair in "a.tiff b.gif 0%" "anim.gif a.tiff 0%" "c d.jpe 2%" "e.jfif jpeg-named.png 2%" "png-named.jpg c 2%"; do
  read -r old new fuzz <<<"$pair"
  frame "$old" "$new" 0
  same out.png "$old" "$fuzz"
  frame "$old" "$new" 100
  same out.png "$new" "$fuzz"
done

# Stored turned a quarter (TIFF orientation 6): the frame is upright, 48x64.
convert src-a.png -orient RightTop turned.tif || fail "cannot make the turned TIFF"
convert turned.tif -auto-orient upright.png
frame turned.tif turned.tif 100
[ "$(identify -format '%wx%h' out.png)" = 48x64 ] || fail "turned TIFF: $(identify -format '%wx%h' out.png)"
same out.png upright.png 0%

# A slide show of a folder: the formats by their names, a nameless picture
# by its content; a text file left alone.
mkdir show && cp a.tiff b.gif d.jpe show/ && cp c show/IMG_0001 && echo "notes" >show/README &&
  echo "notes" >show/notes.txt || fail "cannot make the folder"
"$render" --slideshow show --frames frames --size 64x48 --hold 0.1 --step 50 >plan 2>err || fail "slide show: $(cat err)"
[ "$(cut -f1 plan | sort | tr '\n' ' ')" = "IMG_0001 a.tiff b.gif d.jpe " ] || fail "slide show took: $(cut -f1 plan | tr '\n' ' ')"
[ ! -s err ] || fail "slide show said: $(cat err)"

# Cut short: refused in one line naming it (a video gets no grey half).
size=$(stat -c %s c)
head -c $((size / 2)) c >cut.jpg
rm -f out.png
"$render" --style 1 --progress 50 --old cut.jpg --new c --out out.png 2>err
status=$?
[ "$status" -eq 2 ] || fail "cut JPEG: exit status $status"
[ "$(wc -l <err)" -eq 1 ] && grep -q "cut.jpg: broken JPEG" err || fail "cut JPEG: $(cat err)"
[ ! -e out.png ] || fail "cut JPEG: a frame was written"

# No picture at all: said by its content, in one line.
echo "hello" >text.png
"$render" --style 1 --progress 50 --old text.png --new c --out out.png 2>err
[ "$(cat err)" = "mirel-render: text.png: not a picture file (starts with 0x68 0x65 0x6C 0x6C)" ] || fail "text: $(cat err)"

echo "PASS"
