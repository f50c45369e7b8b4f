#!/usr/bin/env bash
# Animated WebP from mirel-render as libwebp's animation decoder shows it:
# the frame an animation rests on is the transition's last frame for every
# style, and a slow fade shows each frame as drawn, not patches of the
# pictures before it.
#   render_webp_test.sh MIREL_RENDER WEBP_ANIM_FRAMES
set -u
render=$1
decode=$2
resources=$(cd "$(dirname "$0")/../resources" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$tmp" || exit 1

# mean_error A B: the mean absolute difference in levels of 255.
mean_error() { compare -metric MAE "$1" "$2" null: 2>&1 | sed 's/.*(\(.*\))/\1/' | awk '{ printf "%.2f", $1 * 255 }'; }
# shown ANIM MS OUT: what the decoder shows MS milliseconds in (-1: the last frame).
shown() { "$decode" "$1" "$2" "$3" || fail "$1: libwebp shows no opaque picture at $2 ms"; }

old=$resources/03.jpg new=$resources/08.jpg

# Every style at a small size, with its end held as animations have it.
convert "$old" -resize 240x150! small-old.png && convert "$new" -resize 240x150! small-new.png ||
  fail "cannot make small pictures"
for style in $(seq 1 150); do
  "$render" --old small-old.png --new small-new.png --step 10 --style "$style" --out "$style.webp" ||
    fail "style $style"
  shown "$style.webp" -1 "$style.ppm"
  error=$(mean_error "$style.ppm" small-new.png)
  awk -v e="$error" 'BEGIN { exit !(e <= 2) }' || fail "style $style ends $error levels from its last frame"
done

# A fade of photos at a larger size: each frame shown (from its start time,
# after the first one's hold of 1 s) near the frame drawn, and the end too
# without a hold.
"$render" --old "$old" --new "$new" --size 640x400 --style fade --out fade.webp &&
  "$render" --old "$old" --new "$new" --size 640x400 --style fade --out frames/ || fail "the fade"
for i in 8 12 16 20 24; do
  shown fade.webp $((1000 + i * 40 + 5)) "$i.ppm"
  error=$(mean_error "$i.ppm" "frames/frame-$(printf %05d "$i").png")
  awk -v e="$error" 'BEGIN { exit !(e <= 3.5) }' || fail "fade frame $i is shown $error levels from what was drawn"
done
shown fade.webp -1 last.ppm
error=$(mean_error last.ppm frames/frame-00025.png)
awk -v e="$error" 'BEGIN { exit !(e <= 2) }' || fail "the fade ends $error levels from its last frame"
"$render" --old "$old" --new "$new" --size 640x400 --style fade --hold 0 --out unheld.webp || fail "--hold 0"
shown unheld.webp -1 unheld.ppm
error=$(mean_error unheld.ppm frames/frame-00025.png)
awk -v e="$error" 'BEGIN { exit !(e <= 2) }' || fail "without a hold the fade ends $error levels from its last frame"

# A slide show ends on its last picture.
"$render" --slideshow "$old" --slideshow "$new" --size 320x200 --hold 0.2 --out show.webp > /dev/null &&
  "$render" --old "$old" --new "$new" --size 320x200 --style 1 --progress 100 --out show-end.png || fail "a slide show"
shown show.webp -1 show.ppm
error=$(mean_error show.ppm show-end.png)
awk -v e="$error" 'BEGIN { exit !(e <= 2) }' || fail "the slide show ends $error levels from its last picture"
echo "render webp: all checks passed"
