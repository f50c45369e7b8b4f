#!/usr/bin/env bash
# Slide shows with music as editors and players open them: in every
# container the music is interleaved with the pictures by time, so that
# ffprobe finds the video's format at the start, and melt (MLT, under
# Kdenlive and Shotcut) opens the file with its picture.
#   render_music_test.sh MIREL_RENDER
set -u
render=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v melt > /dev/null || fail "melt is not installed"
cd "$tmp" || exit 1

mkdir show && for i in 1 2 3 4; do convert -size 320x180 plasma:fractal -seed "$i" "show/$i.jpg"; done &&
  ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=60" -ac 2 song.mp3 || fail "cannot make the show"
for ext in mp4 mkv webm mov avi; do
  out=song.$ext
  "$render" --slideshow show --hold 3 --audio song.mp3 --out "$out" > /dev/null || fail "$out"
  # Audio packets before the first picture, and how far the music ever runs
  # ahead of the pictures in the file, in seconds.
  read -r lead ahead < <(ffprobe -v error -show_entries packet=codec_type,dts_time -of csv=p=0 "$out" |
    awk -F, '$1 == "video" { v = $2; seen = 1 }
      $1 == "audio" { if (!seen) lead++; else if ($2 - v > ahead) ahead = $2 - v }
      END { print lead + 0, ahead + 0 }')
  [ "$lead" -le 1 ] || fail "$out: $lead audio packets before the first picture"
  awk -v a="$ahead" 'BEGIN { exit !(a < 0.5) }' || fail "$out: the music runs $ahead s ahead of the pictures"
  [ "$(ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt -of csv=p=0 "$out")" = yuv420p ] ||
    fail "$out: ffprobe does not find the video's pixel format"
  timeout 60 melt "$out" -consumer "xml:$out.mlt" 2> /dev/null || fail "melt cannot open $out"
  grep -q '<property name="video_index">0</property>' "$out.mlt" &&
    grep -q '<property name="audio_index">1</property>' "$out.mlt" &&
    grep -q '<profile [^>]*width="320" height="180"' "$out.mlt" ||
    fail "$out: melt does not find the picture and the music: $(grep -E '_index|<profile' "$out.mlt")"
done
echo "render music: all checks passed"
