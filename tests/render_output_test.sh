#!/usr/bin/env bash
# mirel-render as a video maker meets it: outputs that are never lost or
# half-written, formats by extension read back by ffprobe and identify,
# frame folders that ffmpeg reads, slide shows of mixed pictures and styles,
# music, and smooth motion.
set -u
render=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
probe() { ffprobe -v error -select_streams "$1" -show_entries "$2" -of csv=p=0 "$3" | head -1; }
cd "$tmp" || exit 1

convert -size 64x48 gradient:red-blue a.jpg && convert -size 64x48 gradient:green-yellow -depth 8 b.png ||
  fail "cannot make test pictures"
pair=(--old a.jpg --new b.png --style 84)

# --- Outputs are never lost --------------------------------------------------
echo "keep me" > kept.mp4
"$render" "${pair[@]}" --out kept.mp4 2> err && fail "an existing file was overwritten without -y"
[ "$(cat kept.mp4)" = "keep me" ] || fail "the existing file changed"
grep -q -- '-y' err && [ "$(wc -l < err)" -eq 1 ] || fail "the refusal is not one line naming -y: $(cat err)"
"$render" "${pair[@]}" --out kept.mp4 -n -y 2>/dev/null && fail "-n and -y together accepted"
"$render" "${pair[@]}" --out kept.mp4 -n 2>/dev/null && fail "-n overwrote"
"$render" "${pair[@]}" --out kept.mp4 -y || fail "-y did not overwrite"
[ "$(probe v:0 stream=codec_name kept.mp4)" = h264 ] || fail "-y did not write a video"
[ -z "$(ls -A | grep '\.part-')" ] || fail "temporaries left: $(ls -A)"

# A frame folder: refused while it holds frames, -y replaces only our frames.
"$render" "${pair[@]}" --step 10 --out frames/ || fail "frame folder"
echo "mine" > frames/notes.txt
"$render" "${pair[@]}" --step 50 --out frames/ 2>/dev/null && fail "a folder of frames was reused without -y"
[ "$(ls frames | grep -c '^frame-')" -eq 11 ] || fail "the refused run changed the frames"
"$render" "${pair[@]}" --step 50 --out frames -y || fail "-y on a frame folder"
[ "$(ls frames | tr '\n' ' ')" = "frame-00000.png frame-00001.png frame-00002.png notes.txt " ] ||
  fail "-y left stale frames or removed other files: $(ls -A frames)"
[ -z "$(ls -A frames | grep '^\.')" ] || fail "a temporary folder was left: $(ls -A frames)"

# Interrupted runs: the old file stays, no temporary, status 128 + signal.
mkdir show && for i in 1 2 3; do convert -size 640x360 "plasma:fractal" -seed $i "show/$i.jpg"; done
echo "old video" > long.mp4
"$render" --slideshow show --size 1280x720 --hold 20 --out long.mp4 -y > /dev/null 2> err &
pid=$!
for _ in $(seq 100); do ls -A | grep -q '^\.long\.mp4\.part-' && break; sleep 0.1; done
sleep 0.5
kill -INT $pid
wait $pid
status=$?
[ $status -eq 130 ] || fail "SIGINT: exit status $status: $(cat err)"
[ "$(cat long.mp4)" = "old video" ] || fail "SIGINT: the old file was touched"
[ -z "$(ls -A | grep '\.part-')" ] || fail "SIGINT: a temporary was left: $(ls -A)"
"$render" --slideshow show --size 1280x720 --hold 20 --out newframes/ > /dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do [ -n "$(ls -A newframes 2>/dev/null)" ] && break; sleep 0.1; done
sleep 0.5
kill -TERM $pid
wait $pid
status=$?
[ $status -eq 143 ] || fail "SIGTERM: exit status $status"
[ ! -e newframes ] || fail "SIGTERM: the new frame folder was left: $(ls -A newframes)"

# --- Formats by extension ----------------------------------------------------
for ext in mp4 mkv webm mov avi; do
  "$render" "${pair[@]}" --out "t.$ext" || fail ".$ext"
done
[ "$(probe v:0 stream=codec_name t.mp4)" = h264 ] && [ "$(probe v:0 stream=codec_name t.mkv)" = h264 ] &&
  [ "$(probe v:0 stream=codec_name t.mov)" = h264 ] && [ "$(probe v:0 stream=codec_name t.webm)" = vp9 ] &&
  [ "$(probe v:0 stream=codec_name t.avi)" = mpeg4 ] || fail "video codecs"
for ext in mp4 mkv webm mov avi; do
  frames=$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "t.$ext")
  [ "$frames" = 26 ] || fail ".$ext has $frames frames, not 26"
done
# Odd sizes: 4:2:0 video gets even sides as asked, never silently; other
# outputs keep the size.
"$render" "${pair[@]}" --size 63x47 --out odd.mp4 2> err || fail "odd size"
[ "$(probe v:0 stream=width,height odd.mp4)" = 64,48 ] || fail "odd size padding"
grep -q 'odd.mp4: .*the 63x47 frame is padded with its edge to 64x48' err || fail "padding unsaid: $(cat err)"
"$render" "${pair[@]}" --size 63x47 --odd-size crop --out odd.mkv 2> err || fail "--odd-size crop"
[ "$(probe v:0 stream=width,height odd.mkv)" = 62,46 ] || fail "odd size cropping"
grep -q 'odd.mkv: .*the 63x47 frame is cut to 62x46' err || fail "cropping unsaid: $(cat err)"
"$render" "${pair[@]}" --size 63x47 --out odd.gif 2> err && [ ! -s err ] &&
  [ "$(identify -format '%Wx%H\n' odd.gif | sort -u)" = 63x47 ] || fail "an odd GIF: $(cat err)"
"$render" "${pair[@]}" --odd-size even --out odd.mp4 -y 2> /dev/null && fail "--odd-size even accepted"
"$render" "${pair[@]}" --out t.gif && "$render" "${pair[@]}" --out t.webp || fail "animations"
[ "$(identify -format '%m\n' t.gif | sort -u)" = GIF ] && [ "$(identify -format '%m\n' t.webp | sort -u)" = WEBP ] ||
  fail "animation formats"
[ "$(identify t.webp | wc -l)" -gt 5 ] || fail "the WebP is not animated"
for ext in png jpg jpeg webp gif; do
  "$render" "${pair[@]}" --progress 40 --out "one.$ext" || fail "one frame as .$ext"
done
[ "$(identify -format '%m ' one.png one.jpg one.jpeg one.webp one.gif)" = "PNG JPEG JPEG WEBP GIF " ] ||
  fail "one frame is not written in the format its name asks for"
for bad in clip.xyz clip nonsense.tiff; do
  "$render" "${pair[@]}" --out "$bad" 2> err && fail "$bad accepted"
  grep -q '\.webm' err || fail "$bad: the refusal does not list the formats: $(cat err)"
  [ ! -e "$bad" ] || fail "$bad was written"
done
"$render" "${pair[@]}" --progress 40 --out one.mp4 2>/dev/null && fail "one frame as a video accepted"
"$render" "${pair[@]}" --out=-dash.mp4 --fps=30 || fail "--opt=value, a name starting with -"
[ "$(probe v:0 stream=r_frame_rate ./-dash.mp4)" = 30/1 ] || fail "--fps 30"

# Encoders and their settings by FFmpeg's names, as ffprobe reads them back.
for choice in libx265:mp4:hevc:yuv420p libaom-av1:webm:av1:yuv420p libsvtav1:mkv:av1:yuv420p \
  prores_ks:mov:prores:yuv422p10le; do
  IFS=: read -r codec ext name format <<< "$choice"
  ffmpeg -hide_banner -encoders 2> /dev/null | grep -q " $codec " || { echo "skipped $codec: not in this FFmpeg"; continue; }
  "$render" "${pair[@]}" --step 25 --size 128x96 --codec "$codec" --out "c-$codec.$ext" 2> err ||
    fail "--codec $codec: $(cat err)"
  [ ! -s err ] || fail "--codec $codec talks: $(head -3 err)"
  [ "$(probe v:0 stream=codec_name,pix_fmt "c-$codec.$ext")" = "$name,$format" ] ||
    fail "--codec $codec gives $(probe v:0 stream=codec_name,pix_fmt "c-$codec.$ext")"
done
[ "$(probe v:0 stream=codec_tag_string c-libx265.mp4)" = hvc1 ] || fail "HEVC in MP4 is not tagged hvc1"
"$render" "${pair[@]}" --crf 10 --out fine.mp4 && "$render" "${pair[@]}" --crf 40 --preset veryfast --out coarse.mp4 &&
  "$render" "${pair[@]}" --pix-fmt yuv444p10le --out full.mkv || fail "--crf, --preset, --pix-fmt"
[ "$(stat -c %s coarse.mp4)" -lt "$(stat -c %s fine.mp4)" ] || fail "--crf 40 is not smaller than --crf 10"
[ "$(probe v:0 stream=pix_fmt full.mkv)" = yuv444p10le ] || fail "--pix-fmt yuv444p10le"
for bad in "--codec x264" "--crf 60" "--preset fastest" "--pix-fmt rgb24" "--codec libvpx-vp9 --preset 9"; do
  # shellcheck disable=SC2086
  "$render" "${pair[@]}" $bad --out bad.mp4 2> err && fail "$bad accepted"
  [ "$(wc -l < err)" -eq 1 ] && grep -q 'libx264\|veryslow\|yuv444p\| to ' err || fail "$bad: not one line listing the choices: $(cat err)"
done
"$render" "${pair[@]}" --crf 20 --out bad.gif 2> /dev/null && fail "--crf for a GIF accepted"
# A long GIF is written with a word about its size and what holds it better.
"$render" "${pair[@]}" --hold 5 --out long.gif 2> err || fail "a long GIF"
[ "$(cat err)" = "mirel-render: long.gif: a GIF of 11 s is large (256 colours a frame, compressed frame by frame); .webp or .mp4 holds it in a fraction of the size" ] ||
  fail "a long GIF: $(cat err)"
if ffmpeg -hide_banner -encoders 2> /dev/null | grep -q " libsvtav1 "; then
  "$render" "${pair[@]}" --codec libsvtav1 --out bad.mkv 2> err && fail "a 64x48 frame for libsvtav1 accepted"
  [ "$(cat err)" = "mirel-render: bad.mkv: libsvtav1 takes frames of at least 64x64, not 64x48" ] ||
    fail "libsvtav1's smallest frame: $(cat err)"
fi
# A key frame at least every 2 s (x264 counts the first interval from
# before the first frame), for seeking and cutting.
"$render" --slideshow show --hold 3 --out keys.mp4 > /dev/null || fail "a slide show for key frames"
ffprobe -v error -select_streams v:0 -show_entries frame=key_frame -of csv=p=0 keys.mp4 |
  awk -F, '$1 == 1 { if (NR - last > 51) { print NR - last; exit 1 } last = NR; n++ } END { exit n < 3 }' ||
  fail "key frames further apart than 2 s"

# Numbered frames, read back by ffmpeg in full.
"$render" "${pair[@]}" --out seq/ || fail "frames for ffmpeg"
ffmpeg -v error -i seq/frame-%05d.png -f null - 2> /dev/null
n=$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 -f image2 seq/frame-%05d.png)
[ "$n" = 26 ] && [ "$(ls seq | wc -l)" -eq 26 ] || fail "ffmpeg reads $n of $(ls seq | wc -l) frames"

# --hold at both ends of one transition: 1 s of 25 fps each.
"$render" "${pair[@]}" --hold 1 --out held.mp4 || fail "--hold"
n=$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 held.mp4)
[ "$n" = $((26 + 50)) ] || fail "--hold 1 gives $n frames"
[ "$(identify -format '%T ' t.gif | awk '{ print $1, $2, $NF }')" = "104 4 104" ] || fail "GIF pauses: $(identify -format '%T ' t.gif)"

# --- Time ---------------------------------------------------------------------
# --fps changes smoothness only: a transition lasts 1.04 s at any rate, its
# frames at 60 fps all differ, and the frame at a moment looks as the frame
# at that moment at 25 fps does, nearer than that one's neighbour.
wipe=(--old show/1.jpg --new show/2.jpg --size 320x180 --style "Reveal from left")
"$render" "${wipe[@]}" --out r25/ && "$render" "${wipe[@]}" --fps 60 --out r60/ || fail "frames at 25 and 60 fps"
[ "$(ls r25 | wc -l)" -eq 26 ] && [ "$(ls r60 | wc -l)" -eq 62 ] ||
  fail "1.04 s is $(ls r25 | wc -l) frames at 25 fps and $(ls r60 | wc -l) at 60"
[ "$(identify -format '%#\n' r60/*.png | sort -u | wc -l)" -eq 62 ] || fail "frames at 60 fps repeat"
[ "$(compare -metric AE r25/frame-00005.png r60/frame-00012.png null: 2>&1)" = 0 ] ||
  fail "the frames at 0.2 s differ between 25 and 60 fps"
mae() { compare -metric MAE "$1" "$2" null: 2>&1 | sed 's/ .*//'; }
awk -v same="$(mae r25/frame-00015.png r60/frame-00036.png)" -v neighbour="$(mae r25/frame-00015.png r25/frame-00016.png)" \
  'BEGIN { exit !(same < neighbour / 2) }' || fail "the frames at 0.6 s differ between 25 and 60 fps"
for fps in 25 60; do
  "$render" --old a.jpg --new b.png --style fade --fps "$fps" --duration 2 --out "d$fps.mp4" || fail "--duration 2"
  d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "d$fps.mp4")
  awk -v d="$d" 'BEGIN { exit !(d > 1.98 && d < 2.02) }' || fail "--duration 2 at $fps fps lasts $d s"
done
"$render" "${pair[@]}" --duration 0 --out d.mp4 -y 2> /dev/null && fail "--duration 0 accepted"

# --- Transparency -------------------------------------------------------------
# Transparent pixels lie on the background in every path: the frame's size
# from the picture or from --size, the old picture or the new one, a slide
# show's first picture. The picture is white where it is transparent, as
# many are, and half-transparent red in its middle.
convert -size 200x100 xc:'rgba(255,255,255,0)' -fill 'rgba(255,0,0,0.5)' -draw 'rectangle 50,25 149,74' \
  -depth 8 clear.png || fail "cannot make a transparent picture"
# on_green PICTURE WHAT: the corner is the background and the middle red half over it.
on_green() {
  [ "$(convert "$1" -format '%[pixel:p{5,5}] %[pixel:p{100,50}]' info:)" = "srgb(0,128,0) srgb(128,64,0)" ] ||
    fail "$2: transparency not on the background: $(convert "$1" -format '%[pixel:p{5,5}] %[pixel:p{100,50}]' info:)"
}
"$render" --old a.jpg --new clear.png --style 1 --progress 100 --background green --out clear-new.png &&
  "$render" --old clear.png --new a.jpg --style 1 --progress 0 --background green --size 200x100 --out clear-old.png &&
  "$render" --old clear.png --new clear.png --style fade --step 50 --background green --out clear-frames/ &&
  "$render" --slideshow clear.png --hold 0.1 --background green --out clear-show/ > /dev/null ||
  fail "transparent pictures"
on_green clear-new.png "the new picture at its own size"
on_green clear-old.png "the old picture"
on_green clear-frames/frame-00001.png "a transition at the picture's size"
on_green "clear-show/$(ls clear-show | tail -1)" "a slide show's first picture"

# --- Slide shows --------------------------------------------------------------
mkdir mixed
convert -size 80x60 xc:red mixed/10.png
convert -size 80x60 xc:green mixed/2.jpg
convert -size 80x60 xc:blue mixed/1.webp
convert -size 80x60 xc:white mixed/.hidden.png
convert -size 80x60 xc:yellow extra.bmp
printf '# more\nextra.bmp\n\n' > list.txt
"$render" --slideshow mixed --slideshow list.txt --style 'fade,84,PUSH LEFT' --hold 0.2 --out mixed.mp4 > plan ||
  fail "mixed slide show"
[ "$(cut -f1,2 plan | tr '\t\n' ':;')" = "1.webp:118;2.jpg:84;10.png:129;extra.bmp:118;" ] ||
  fail "slide-show order or styles: $(cat plan)"

# Music: an audio stream as long as the video.
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=20" -ac 2 tone.mp3 || fail "cannot make music"
for ext in mp4 webm; do
  "$render" --slideshow mixed --hold 0.2 --audio tone.mp3 --out "music.$ext" > /dev/null || fail "--audio .$ext"
  video=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "music.$ext")
  audio=$(ffmpeg -v error -i "music.$ext" -map 0:a -f null - -stats 2>&1 | tr '\r' '\n' |
    sed -n 's/.*time=\([0-9:.]*\).*/\1/p' | tail -1 | awk -F: '{ print $1 * 3600 + $2 * 60 + $3 }')
  awk -v a="$audio" -v v="$video" 'BEGIN { exit !(a > v - 0.1 && a < v + 0.1) }' ||
    fail ".$ext: music of $audio s in a video of $video s"
done
"$render" --slideshow mixed --audio tone.mp3 --out music.gif 2>/dev/null && fail "music in a GIF accepted"

# Motion: a bright spot drifts steadily, sub-pixel by sub-pixel, never
# jumping or turning back (its centre by brightness, over the hold).
convert -size 320x180 xc:black -fill white -draw 'circle 160,90 160,96' spot.png
"$render" --slideshow spot.png --motion --seed 3 --size 320x180 --hold 2 --out spot/ > /dev/null || fail "--motion"
for f in spot/frame-000{3,4,5,6,7}?.png; do
  convert "$f" -crop 100x100+110+40 +repage -colorspace gray txt:- |
    awk -F'[,: ()]+' 'NR > 1 && $4 > 20 { s += $4; sx += $4 * $1; sy += $4 * $2 }
      END { printf "%.3f %.3f\n", sx / s, sy / s }'
done > track
awk 'NR == 1 { x0 = $1; y0 = $2 } { x[NR] = $1; y[NR] = $2 }
  END { n = NR; mx = (x[n] - x0) / (n - 1); my = (y[n] - y0) / (n - 1)
    if (mx * mx + my * my < 0.03 * 0.03) { print "no motion"; exit 1 }
    for (i = 2; i <= n; i++) { dx = x[i] - x[i - 1]; dy = y[i] - y[i - 1]
      if ((dx - mx) ^ 2 + (dy - my) ^ 2 > 0.1 ^ 2) { print "uneven step " i ": " dx ", " dy; exit 1 } } }' track ||
  fail "--motion is not smooth: $(tr '\n' ' ' < track)"

echo "render outputs: all checks passed"
