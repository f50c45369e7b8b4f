#!/usr/bin/env bash
# The transitions as a Kdenlive user meets them, from a staged install of the
# frei0r plugin and its Kdenlive description:
#  - the description reads as the ones Kdenlive ships, and names the
#    plugin's parameters as MLT sees them;
#  - the real Kdenlive, under Xvfb, opens a project with the composition
#    between two clips and saves it with the description's parameters (a
#    composition it has no description for comes back with MLT's numbered
#    parameters and progress stuck at 0);
#  - that saved project, rendered by Kdenlive's own renderer (kdenlive_render)
#    as the render dialog does, in a few variants (styles, the Revert switch,
#    band width, played backwards), gives mirel-render's frames a quarter and
#    half way through the composition, and the two clips at its ends.
#
#   kdenlive_test.sh BUILD_DIR SOURCE_DIR MIREL_RENDER
#
# Exit status: 0, 1 on a failure, 77 when Kdenlive or Xvfb is missing.
set -uo pipefail
build=${1:?usage: kdenlive_test.sh BUILD_DIR SOURCE_DIR MIREL_RENDER}
source_dir=${2:?}
render=${3:?}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-kdenlive.XXXXXX")
. "$source_dir/tests/e2e/show_sandbox.sh"
need_tools kdenlive kdenlive_render melt Xvfb xdotool compare python3
here=$(cd "$(dirname "$0")" && pwd)

# The install as a user's prefix holds it; MLT and Kdenlive are pointed at it
# as the README says for a prefix they do not search by default.
prefix=$work/prefix
for part in plugins/frei0r plugins/kdenlive; do
  cmake --install "$build/$part" --prefix "$prefix" >/dev/null || fail "cannot install $part"
done
description=$prefix/share/kdenlive/transitions/frei0r_mirel.xml
plugin=$(find "$prefix" -name mirel.so -path '*frei0r-1*' | head -n1)
[ -s "$description" ] && [ -n "$plugin" ] || fail "the install holds no description or no plugin"
export FREI0R_PATH=$(dirname "$plugin"):/usr/lib/frei0r-1
export XDG_DATA_DIRS=$prefix/share:/usr/share
# Kdenlive's settings, caches and its lock of a running instance (in the
# temporary folder), all of its own.
export HOME=$work/home TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/home/config XDG_CACHE_HOME=$work/home/cache \
  XDG_DATA_HOME=$work/home/data XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$TMPDIR" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# 1. The description.
melt -query transitions 2>/dev/null | grep -qx '  - frei0r.mirel' || fail "MLT does not find the installed plugin"
melt -query transition=frei0r.mirel >"$work/metadata.yml" 2>/dev/null
"$render" --list | awk -F'\t' '$1 > 0 { print $2 }' >"$work/names.txt"
python3 "$here/check_description.py" "$description" /usr/share/kdenlive "$work/metadata.yml" "$work/names.txt" ||
  fail "the description does not read as Kdenlive's own"

# 2. Kdenlive opens the project and saves it.
tmp=$work
. "$source_dir/tests/frei0r/pictures.sh"
make_pictures
sed "s|@DIR@|$work|" "$here/project.kdenlive.in" >"$work/project.kdenlive"
xvfb_screen=1600x1000x24 start_xvfb || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
kdenlive "$work/project.kdenlive" >"$work/kdenlive.log" 2>&1 &
show_pid=$!
# A window whose name starts with $1 (the dash before "Kdenlive" is not ASCII,
# and xdotool's patterns do not match it).
window() { xdotool search --name "^$1" 2>/dev/null | head -n1; }
main_window() { window 'project / QVGA 15 fps'; }
shows() { [ -n "$(window "$1")" ]; }
wait_until 60000 shows 'project / QVGA 15 fps' ||
  { xdotool search --name . getwindowname %@ 2>/dev/null | sort -u; tail -n 20 "$work/kdenlive.log"; fail "Kdenlive did not open the project"; }
saved=$work/saved.kdenlive
# Save As (Ctrl+Shift+S), a file name and Return, as a user would. Kdenlive
# takes keys only once its window is up and focused, and its file dialog
# may lose the first keys typed while it opens (then it says it cannot write
# the file, and that box is closed): each step is tried again.
save_as() {
  local attempt
  for attempt in 1 2 3 4 5 6; do
    xdotool windowfocus --sync "$(main_window)" 2>/dev/null
    xdotool key ctrl+shift+s
    wait_until 10000 shows 'Save As' && break
  done
  shows 'Save As' || fail "Kdenlive shows no Save As dialog"
  sleep 1
  xdotool key ctrl+a
  xdotool type --delay 20 "$saved"
  xdotool key Return
}
for attempt in 1 2 3; do
  save_as
  wait_until 15000 test -s "$saved" && break
  import -window root "$work/screen-$attempt.png"
  xdotool key Return # the error box, or the dialog left open
  sleep 1
  shows 'Save As' && xdotool key Escape
done
test -s "$saved" || fail "Kdenlive saved nothing (screens in $work with KEEP_WORK=1)"
wait_until 10000 grep -q '</mlt>' "$saved" || fail "Kdenlive's saved project is cut short"
grep -q 'plugin not available: "frei0r.mirel"' "$work/kdenlive.log" && fail "Kdenlive says the plugin is not available"
# (Kdenlive does not end on SIGTERM.)
kill -KILL "$show_pid" 2>/dev/null
wait "$show_pid" 2>/dev/null
show_pid=

# The composition as Kdenlive saved it: its own parameters, progress still
# running over the whole composition.
python3 - "$saved" <<'PY' || fail "Kdenlive did not keep the composition as described"
import sys, xml.etree.ElementTree as ET
found = []
for t in ET.parse(sys.argv[1]).getroot().iter("transition"):
    props = {p.get("name"): (p.text or "") for p in t.iter("property")}
    if props.get("mlt_service") == "frei0r.mirel":
        found.append(props)
want = {"kdenlive_id": "frei0r.mirel", "style": "84", "progress": "0=0;-1=1", "step": "0.04", "reverse": "0",
        "a_track": "3", "b_track": "4"}
if len(found) != 1 or any(found[0].get(k) != v for k, v in want.items()):
    sys.exit(f"saved as {found}")
PY

# 3. The saved project rendered by kdenlive_render, frames 15..29 (the
# composition) as 001.png .. 015.png: 004 is 3/14 of the way (21 %), 008
# half way.
# variant NAME PROPERTY=VALUE...: the saved project with the composition's
# properties changed, rendered into $work/NAME/.
variant() {
  local name=$1 dir=$work/$1
  shift
  mkdir -p "$dir"
  python3 - "$saved" "$dir/render.mlt" "$dir/%03d.png" "$@" <<'PY' || fail "cannot write variant $name"
import sys, xml.etree.ElementTree as ET
source, out, target, changes = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
tree = ET.parse(source)
root = tree.getroot()
for t in root.iter("transition"):
    props = {p.get("name"): p for p in t.iter("property")}
    if props["mlt_service"].text == "frei0r.mirel":
        for change in changes:
            key, value = change.split("=", 1)
            props[key].text = value
# What Kdenlive's render dialog adds: the consumer, the zone and the file.
ET.SubElement(root, "consumer", {"mlt_service": "avformat", "target": target, "vcodec": "png",
                                 "in": "15", "out": "29", "real_time": "-1"})
tree.write(out, encoding="utf-8", xml_declaration=True)
PY
  timeout 60 kdenlive_render /usr/bin/melt "$dir/render.mlt" "$dir/%03d.png" >"$dir/render.log" 2>&1 ||
    fail "kdenlive_render of $name: $(tail -c 400 "$dir/render.log")"
  [ "$(ls "$dir" | grep -c '\.png$')" -eq 15 ] || fail "kdenlive_render of $name wrote $(ls "$dir" | grep -c '\.png$') frames"
}

# The pixels of $1 and $2 that differ by more than $3 levels.
pixels_off() {
  local count
  count=$(compare -metric AE -fuzz "$(awk -v t="$3" 'BEGIN { print (t + 0.5) * 100 / 255 }')%" "$1" "$2" null: 2>&1)
  case $count in ''|*[!0-9]*) fail "cannot compare $1 with $2: $count" ;; esac
  echo "$count"
}

# check NAME FIRST LAST STYLE FROM TO STEP [flip]: the first and last frames
# are the pictures FIRST and LAST; the frames 21 % and 50 % of the way are
# mirel-render's from FROM to TO at those percents, or with flip at 100 less
# them. MLT's colour error at the ends (at least 2 levels) is the tolerance
# a pixel may be off; at most 1 % of the pixels may be off by more.
check() {
  local name=$1 first=$2 last=$3 style=$4 from=$5 to=$6 step=$7 flip=${8:-} dir=$work/$1 tolerance end frame percent off
  tolerance=$(max_diff "$dir/001.png" "$work/$first.png")
  end=$(max_diff "$dir/015.png" "$work/$last.png")
  [ "$end" -gt "$tolerance" ] && tolerance=$end
  [ "$tolerance" -le 8 ] || fail "$name: the composition's ends are $tolerance levels off the clips"
  [ "$tolerance" -lt 2 ] && tolerance=2
  for frame in 004:21 008:50; do
    percent=${frame#*:}
    [ -n "$flip" ] && percent=$((100 - percent))
    "$render" --old "$work/$from.png" --new "$work/$to.png" --style "$style" --progress "$percent" --step "$step" \
      -y --out "$work/reference.png" >/dev/null || fail "mirel-render --style $style --progress $percent"
    off=$(pixels_off "$dir/${frame%:*}.png" "$work/reference.png" "$tolerance")
    echo "$name at ${frame#*:} % of the way: $off of 76800 pixels more than $tolerance levels off mirel-render"
    [ "$off" -le 768 ] || fail "$name, frame ${frame%:*}: $off pixels off mirel-render's at $percent %"
  done
}

variant saved
check saved a b 84 a b 4
variant fade style=Fade
check fade a b 118 a b 4
# Kdenlive's Revert switch: the upper clip first, the progress falling.
variant revert style=143 "progress=0=1;-1=0"
check revert b a 143 a b 4 flip
variant blinds style=136 step=0.1
check blinds a b 136 a b 10
# Played backwards: the transition from B to A run from its end.
variant backwards style=84 reverse=1
check backwards a b 84 b a 4 flip
echo "kdenlive: the composition renders as mirel-render draws it"
