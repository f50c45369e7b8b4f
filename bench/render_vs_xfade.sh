#!/usr/bin/env bash
# mirel-render's slide show of the thirteen pictures at 1920x1080 against the
# same video made by FFmpeg's own xfade chain: CPU seconds in total, and
# outside the encoder (both encode with libx264, preset medium, CRF 18).
#
#   bench/render_vs_xfade.sh [MIREL_RENDER] [PICTURE_FOLDER]
#
# mirel-render tells its encoder time apart itself (--benchmark). For ffmpeg
# the same filter graph is run a second time into the null muxer, which
# encodes nothing; the difference is the encoder's share.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
render=${1:-$here/build/tools/render/mirel-render}
pictures=${2:-$here/resources}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

size=1920x1080 fps=25 hold=3 # a transition lasts 25 frames (1 s), as mirel-render's default step of 4
mapfile -t files < <(find "$pictures" -maxdepth 1 -type f -iname '*.jpg' | sort -V)
n=${#files[@]}
[ "$n" -gt 1 ] || { echo "no pictures in $pictures" >&2; exit 2; }

cpu() { # cpu SECONDS_FILE: user + system seconds of the command that wrote it
  awk '{ print $1 + $2 }' "$1"
}

# mirel-render: the first picture comes in from black, each is held $hold s.
"$render" --slideshow "$pictures" --size $size --fps $fps --hold $hold --out "$tmp/mirel.mp4" --benchmark \
  >/dev/null 2>"$tmp/mirel.txt"
mirel_total=$(sed -n 's/.*cpu \([0-9.]*\) s:.*/\1/p' "$tmp/mirel.txt")
mirel_outside=$(sed -n 's/.*, \([0-9.]*\) s outside it.*/\1/p' "$tmp/mirel.txt")
mirel_fps=$(sed -n 's/.*(\([0-9.]*\) frames\/s).*/\1/p' "$tmp/mirel.txt")

# The xfade chain: black, then each picture fading in, held, and so on.
w=${size%x*} h=${size#*x}
inputs=(-f lavfi -t 1 -i "color=black:s=$size:r=$fps")
graph=""
for i in "${!files[@]}"; do
  inputs+=(-loop 1 -framerate $fps -t $((hold + 2)) -i "${files[$i]}")
  graph+="[$((i + 1))]scale=$w:$h:force_original_aspect_ratio=decrease,pad=$w:$h:(ow-iw)/2:(oh-ih)/2,setsar=1,format=yuv420p[p$i];"
done
prev="[0]"
for i in "${!files[@]}"; do
  graph+="${prev}[p$i]xfade=transition=fade:duration=1:offset=$((i * (hold + 1)))[x$i];"
  prev="[x$i]"
done
graph=${graph%;}
last="[x$((n - 1))]"
/usr/bin/time -f "%U %S" -o "$tmp/ff_total" ffmpeg -hide_banner -loglevel error -y "${inputs[@]}" \
  -filter_complex "$graph" -map "$last" -t $((n * (hold + 1))).04 -c:v libx264 -preset medium -crf 18 \
  -pix_fmt yuv420p "$tmp/xfade.mp4"
/usr/bin/time -f "%U %S" -o "$tmp/ff_graph" ffmpeg -hide_banner -loglevel error -y "${inputs[@]}" \
  -filter_complex "$graph" -map "$last" -t $((n * (hold + 1))).04 -f null -
ff_total=$(cpu "$tmp/ff_total")
ff_graph=$(cpu "$tmp/ff_graph")
frames=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$tmp/xfade.mp4")

echo "slide show of $n pictures at $size, $fps fps (load: $(uptime | sed 's/.*load average: //'))"
printf '%-28s %10s %16s %8s\n' "" "cpu total" "outside encoder" "frames/s"
printf '%-28s %9.2fs %15.2fs %8s\n' "mirel-render" "$mirel_total" "$mirel_outside" "$mirel_fps"
printf '%-28s %9.2fs %15.2fs %8s\n' "ffmpeg xfade ($frames frames)" "$ff_total" "$ff_graph" "-"
