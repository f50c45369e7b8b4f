#!/usr/bin/env bash
# The plugin inside the real melt: two picture clips joined by frei0r.mirel
# with progress keyframed from 0 to 1 over the 51 frames of the mix, written
# as PNG frames. The frames a quarter and half way through must match
# mirel-render's frames at 24 % and 50 % within MLT's own colour error, which
# the first and last frames (the plain pictures) measure. MLT renders with
# two threads in one run and one in the other; a random style must come out
# the same both times.
source "$(dirname "$0")/host_common.sh"
make_pictures
cat > "$tmp/profile" <<'PROFILE'
description=320x240 square pixels
frame_rate_num=25
frame_rate_den=1
width=320
height=240
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=4
display_aspect_den=3
colorspace=709
PROFILE
melt -query transitions 2>/dev/null | grep -qx '  - frei0r.mirel' || fail "melt does not list frei0r.mirel"

# melt_mix DIR STYLE [options]: frames 001.png .. 051.png in DIR.
# On a busy machine melt 7.12 now and then starts without its consumer: it
# writes nothing and either ends at once with status 0 or waits for ever.
# Such a run, which never reached the plugin, is made once more.
melt_mix() {
  local dir=$1 style=$2 attempt status
  shift 2
  for attempt in 1 2; do
    rm -rf "$dir" && mkdir -p "$dir"
    timeout 40 melt -profile "$tmp/profile" "$tmp/a.png" out=50 -track "$tmp/b.png" out=50 \
      -transition frei0r.mirel in=0 out=50 a_track=0 b_track=1 "progress=0=0;50=1" "style=$style" "$@" \
      -consumer "avformat:$dir/%03d.png" vcodec=png "${consumer_options[@]}" >"$tmp/melt.log" 2>&1
    status=$?
    [ "$status" -eq 0 ] || [ "$status" -eq 124 ] || fail "melt with style $style: $(tail -3 "$tmp/melt.log")"
    [ -n "$(ls "$dir")" ] && break
    echo "melt with style $style wrote nothing (status $status); once more"
  done
  [ "$(ls "$dir" | wc -l)" -eq 51 ] ||
    fail "melt with style $style wrote $(ls "$dir" | wc -l) frames, not 51: $(tail -c 600 "$tmp/melt.log")"
}

consumer_options=(real_time=-2)
for style in 84 118 143; do
  out=$tmp/s$style
  melt_mix "$out" "$style"
  tolerance=$(max_diff "$out/001.png" "$tmp/a.png")
  last=$(max_diff "$out/051.png" "$tmp/b.png")
  [ "$last" -gt "$tolerance" ] && tolerance=$last
  for frame in 013:24 026:50; do
    reference "$style" "${frame#*:}" "$tmp/r.png"
    diff=$(max_diff "$out/${frame%:*}.png" "$tmp/r.png")
    echo "style $style at ${frame#*:} %: differs by $diff levels from mirel-render (MLT's own error: $tolerance)"
    [ "$diff" -le "$tolerance" ] || fail "style $style, frame ${frame%:*}: $diff levels off mirel-render"
  done
done

# A style that is not there: one line, however many frames, and the
# default style drawn.
melt_mix "$tmp/bad" Nonsense
[ "$(grep -c 'mirel: no style "Nonsense"' "$tmp/melt.log")" -eq 1 ] ||
  fail "a bad style is not reported once: $(grep -c 'mirel: no style' "$tmp/melt.log") lines"
reference 84 50 "$tmp/r.png"
[ "$(max_diff "$tmp/bad/026.png" "$tmp/r.png")" -le "$tolerance" ] || fail "a bad style does not keep style 84"
# The band width as MLT takes it, also in percent.
melt_mix "$tmp/step" 145 step=25
reference 145 50 "$tmp/r.png" --step 25
[ "$(max_diff "$tmp/step/026.png" "$tmp/r.png")" -le "$tolerance" ] || fail "step=25 is not --step 25"

# Shreds and speckles draw random numbers; with a seed their frames must not
# depend on threads or on the frames drawn before.
signatures() { for f in "$1"/*.png; do identify -format '%#\n' "$f"; done; }
melt_mix "$tmp/two" "Uneven shred from right" seed=3
consumer_options=(real_time=-1)
melt_mix "$tmp/one" "Uneven shred from right" seed=3
[ "$(signatures "$tmp/two")" = "$(signatures "$tmp/one")" ] || fail "shred frames differ between runs"
[ "$(signatures "$tmp/one" | sort -u | wc -l)" -gt 40 ] || fail "the shred does not move"
echo "melt: all frames as expected"
