#!/usr/bin/env bash
# The plugin inside the real gst-launch-1.0: two pictures into
# frei0r-mixer-mirel with a set progress, written as PNG. The frames must
# match mirel-render's within GStreamer's own colour error, which the frames
# at progress 0 and 1 (the plain pictures) measure.
source "$(dirname "$0")/host_common.sh"
make_pictures
gst-inspect-1.0 frei0r-mixer-mirel >/dev/null 2>&1 || fail "GStreamer has no frei0r-mixer-mirel"

# mix OUT PROPERTY...: one frame.
mix() {
  local out=$1
  shift
  gst-launch-1.0 -q frei0r-mixer-mirel name=mix "$@" ! videoconvert ! pngenc ! filesink location="$out" \
    filesrc location="$tmp/a.png" ! pngdec ! videoconvert ! imagefreeze num-buffers=1 ! mix.sink_0 \
    filesrc location="$tmp/b.png" ! pngdec ! videoconvert ! imagefreeze num-buffers=1 ! mix.sink_1 \
    >"$tmp/gst.log" 2>&1 || fail "gst-launch-1.0 with $*: $(grep -v WARNING "$tmp/gst.log" | tail -3)"
  [ -s "$out" ] || fail "gst-launch-1.0 with $* wrote no frame"
}

mix "$tmp/first.png" progress=0
mix "$tmp/last.png" progress=1
tolerance=$(max_diff "$tmp/first.png" "$tmp/a.png")
last=$(max_diff "$tmp/last.png" "$tmp/b.png")
[ "$last" -gt "$tolerance" ] && tolerance=$last

for style in 84 118 119; do
  for percent in 24 50; do
    mix "$tmp/g.png" style=$style progress=0.$percent
    reference "$style" "$percent" "$tmp/r.png"
    diff=$(max_diff "$tmp/g.png" "$tmp/r.png")
    echo "style $style at $percent %: differs by $diff levels from mirel-render (GStreamer's own error: $tolerance)"
    [ "$diff" -le "$tolerance" ] || fail "style $style at $percent %: $diff levels off mirel-render"
  done
done

# A style by its name, quoted as gst-launch-1.0 needs it.
mix "$tmp/named.png" 'style="Pivot from bottom right"' progress=0.5
reference 122 50 "$tmp/r.png"
[ "$(max_diff "$tmp/named.png" "$tmp/r.png")" -le "$tolerance" ] || fail "style by name"
# The band width as GStreamer takes it, a fraction (its doubles end at 1).
mix "$tmp/step.png" style=145 progress=0.5 step=0.25
reference 145 50 "$tmp/r.png" --step 25
[ "$(max_diff "$tmp/step.png" "$tmp/r.png")" -le "$tolerance" ] || fail "step=0.25 is not --step 25"
echo "gst-launch-1.0: all frames as expected"
