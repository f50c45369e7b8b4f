#!/usr/bin/env bash
# mirel-render's video colours as players show them: a picture of colour
# bars made into every kind of video, decoded by ffmpeg and shown by
# chromium in a <video> element, comes back within a few levels of its
# colours; every container says which matrix, primaries, transfer and range
# it holds.
#   render_colour_test.sh MIREL_RENDER
set -u
render=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
source "$(dirname "$0")/browser.sh"
cd "$tmp" || exit 1

colours=("0,255,0" "255,0,0" "0,0,255" "200,150,100" "255,255,255" "0,0,0" "128,128,128" "255,255,0")
bars() { # bars W H FILE
  local args=() c
  for c in "${colours[@]}"; do args+=("xc:rgb($c)"); done
  convert -size "$(($1 / 8))x$2" "${args[@]}" +append "$3"
}
# check_bars PICTURE WHAT: the middle of each bar within 4 levels of its colour.
check_bars() {
  local w h i x format="" got
  w=$(identify -format %w "$1") h=$(identify -format %h "$1")
  for i in "${!colours[@]}"; do
    x=$(((2 * i + 1) * w / 16))
    format+="%[fx:int(255*p{$x,$((h / 2))}.r+0.5)],%[fx:int(255*p{$x,$((h / 2))}.g+0.5)],"
    format+="%[fx:int(255*p{$x,$((h / 2))}.b+0.5)] "
  done
  got=$(convert "$1" -format "$format" info:)
  echo "$got" | tr ' ' '\n' | paste -d, - <(printf '%s\n' "${colours[@]}") | head -n "${#colours[@]}" |
    awk -F, '{ for (i = 1; i <= 3; i++) if ($i - $(i + 3) > 4 || $(i + 3) - $i > 4) bad = 1 } END { exit bad }' ||
    fail "$2: the bars come back as $got, not ${colours[*]}"
}
frame() { ffmpeg -v error -y -i "$1" -frames:v 1 "$2" || fail "ffmpeg cannot decode $1"; }
tags() { # range, matrix, transfer, primaries
  ffprobe -v error -select_streams v:0 -show_entries stream=color_space,color_primaries,color_transfer,color_range \
  -of csv=p=0 "$1"; }

bars 1280 720 hd.png && bars 640 360 sd.png || fail "cannot make the bars"
# HD and above in BT.709, as players assume for an untagged HD video; below
# in BT.601. The primaries are the pictures' own (sRGB's are BT.709's).
for ext in mp4 mkv mov webm; do
  "$render" --old hd.png --new hd.png --style fade --step 100 --out "hd.$ext" || fail "hd.$ext"
  [ "$(tags "hd.$ext")" = "tv,bt709,bt709,bt709" ] || fail "hd.$ext is tagged $(tags "hd.$ext")"
  frame "hd.$ext" "hd-$ext.png"
  check_bars "hd-$ext.png" "hd.$ext in ffmpeg"
done
# Other encoders and depths convert and say the same.
for choice in "prores_ks mov yuv422p10le" "libx264 mkv yuv444p10le" "libx265 mp4 yuv420p10le"; do
  read -r codec ext format <<< "$choice"
  "$render" --old hd.png --new hd.png --style fade --step 100 --codec "$codec" --pix-fmt "$format" \
    --out "$codec.$ext" || fail "$codec $format"
  [ "$(tags "$codec.$ext")" = "tv,bt709,bt709,bt709" ] || fail "$codec.$ext is tagged $(tags "$codec.$ext")"
  frame "$codec.$ext" "$codec.png"
  check_bars "$codec.png" "$codec $format in ffmpeg"
done
for ext in mp4 webm; do
  "$render" --old sd.png --new sd.png --style fade --step 100 --out "sd.$ext" || fail "sd.$ext"
  [ "$(tags "sd.$ext")" = "tv,smpte170m,bt709,bt709" ] || fail "sd.$ext is tagged $(tags "sd.$ext")"
  frame "sd.$ext" "sd-$ext.png"
  check_bars "sd-$ext.png" "sd.$ext in ffmpeg"
done

# In the browser: the first frame of each video fills a 1280x720 page.
browser_gpu=("${browser_swiftshader[@]}")
for video in hd.mp4 hd.webm sd.mp4; do
  cat > "$video.html" <<HTML
<!doctype html><html><body style="margin:0;background:#808">
<video src="$video" muted preload="auto" style="display:block;width:1280px;height:720px"></video>
</body></html>
HTML
  browse "file://$tmp/$video.html" --hide-scrollbars --window-size=1280,720 --screenshot="$tmp/$video-shot.png" \
    > /dev/null
  [ -s "$video-shot.png" ] || fail "no screenshot of $video: $(tail -3 log)"
  check_bars "$video-shot.png" "$video in chromium"
done
echo "render colour: all checks passed"
