#!/usr/bin/env bash
# mirel-render's picture quality against FFmpeg's own tools, on pictures
# made here (or a photo given):
#  - fitting a large picture to 1920x1080: the detail kept (mean absolute
#    difference between neighbouring pixels, as a share of what FFmpeg's
#    Lanczos keeps) and the PSNR against FFmpeg's Lanczos;
#  - an animated GIF of a slide show at 640x360: its size and its PSNR
#    against the frames drawn, beside FFmpeg's palettegen/paletteuse from the
#    same frames.
#
#   bench/render_quality_vs_ffmpeg.sh [MIREL_RENDER] [LARGE_PHOTO]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
render=${1:-$here/build/tools/render/mirel-render}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# detail PICTURE: the mean absolute difference to the right and downward
# neighbour, in levels of 255, on grey.
detail() {
  local h v
  h=$(convert "$1" -colorspace gray \( +clone -roll +1+0 \) -compose difference -composite -format '%[fx:mean*255]' info:)
  v=$(convert "$1" -colorspace gray \( +clone -roll +0+1 \) -compose difference -composite -format '%[fx:mean*255]' info:)
  awk -v h="$h" -v v="$v" 'BEGIN { printf "%.2f", (h + v) / 2 }'
}
# psnr A B: FFmpeg's PSNR of B against A over all frames ("inf" for equal).
psnr() {
  ffmpeg -hide_banner -i "$1" -i "$2" -lavfi psnr -f null - 2>&1 | sed -n 's/.* average:\([0-9.inf]*\) .*/\1/p' |
    awk '{ if ($1 == "inf") print "inf"; else printf "%.1f", $1 }'
}

# --- Fitting ---------------------------------------------------------------
photo=${2:-}
if [ -z "$photo" ]; then
  photo=$tmp/large.png # fine detail at every scale, as foliage and gravel have
  convert -size 5640x3172 plasma:fractal -seed 11 -attenuate 0.5 +noise Gaussian -blur 0x0.7 "$photo"
fi
"$render" --old "$photo" --new "$photo" --style 1 --progress 100 --size 1920x1080 --out "$tmp/mirel.png"
ffmpeg -hide_banner -loglevel error -i "$photo" -vf scale=1920:1080:flags=lanczos -pix_fmt rgb24 "$tmp/lanczos.png"
ffmpeg -hide_banner -loglevel error -i "$photo" -vf scale=1920:1080:flags=bicubic -pix_fmt rgb24 "$tmp/bicubic.png"
lanczos=$(detail "$tmp/lanczos.png")
echo "fitting $(identify -format '%wx%h' "$photo") to 1920x1080 (detail: mean neighbour difference; PSNR against FFmpeg's Lanczos)"
printf '%-26s %8s %8s %10s\n' "" detail "ratio" "PSNR dB"
for name in mirel lanczos bicubic; do
  d=$(detail "$tmp/$name.png")
  printf '%-26s %8s %8s %10s\n' "$name" "$d" "$(awk -v d="$d" -v l="$lanczos" 'BEGIN { printf "%.0f %%", 100 * d / l }')" \
    "$(psnr "$tmp/lanczos.png" "$tmp/$name.png")"
done

# --- GIF -------------------------------------------------------------------
mkdir "$tmp/show"
for i in 1 2 3; do cp "$here/resources/0$i.jpg" "$tmp/show/"; done
"$render" --slideshow "$tmp/show" --size 640x360 --hold 1 --out "$tmp/frames/" > /dev/null
"$render" --slideshow "$tmp/show" --size 640x360 --hold 1 --out "$tmp/mirel.gif" > /dev/null
ffmpeg -hide_banner -loglevel error -framerate 25 -i "$tmp/frames/frame-%05d.png" \
  -vf "split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse" "$tmp/ffmpeg.gif"
frames=$(ls "$tmp/frames" | wc -l)
echo
echo "GIF of a $frames-frame slide show at 640x360 (PSNR against the frames drawn)"
printf '%-26s %10s %10s\n' "" "KB" "PSNR dB"
for name in mirel ffmpeg; do
  # A held frame is one GIF frame with a longer time: compare frame by frame at 25 fps.
  ffmpeg -hide_banner -loglevel error -i "$tmp/$name.gif" -r 25 -pix_fmt rgb24 -frames:v "$frames" "$tmp/$name-r.mkv" -c:v ffv1
  printf '%-26s %10s %10s\n' "$name" "$(($(stat -c %s "$tmp/$name.gif") / 1024))" \
    "$(psnr "$tmp/frames/frame-%05d.png" "$tmp/$name-r.mkv")"
done
