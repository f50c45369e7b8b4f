# Shared by the host tests: a temporary folder, two test pictures, and
# comparisons in 8-bit levels. Sourced with the plugin folder and mirel-render
# as $1 and $2.
set -u
plugin_dir=$1
render=$2
export FREI0R_PATH=$plugin_dir
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# 320x240 pictures with detail everywhere, so that a pixel out of place shows.
make_pictures() {
  convert -size 320x240 gradient:red-blue \( -size 320x240 pattern:checkerboard \) \
    -compose multiply -composite -depth 8 PNG24:"$tmp/a.png" || fail "cannot make picture A"
  convert -size 320x240 radial-gradient:yellow-darkgreen \( -size 320x240 pattern:hs_cross \) \
    -compose multiply -composite -depth 8 PNG24:"$tmp/b.png" || fail "cannot make picture B"
}

# The largest difference of any channel of any pixel, in 8-bit levels.
max_diff() {
  local pae
  pae=$(compare -metric PAE "$1" "$2" null: 2>&1 | cut -d' ' -f1)
  case $pae in ''|*[!0-9.]*) fail "cannot compare $1 with $2: $pae" ;; esac
  awk -v p="$pae" 'BEGIN { printf "%d\n", (p / 257) + 0.5 }'
}

# mirel-render's frame of style at percent.
reference() {
  "$render" --old "$tmp/a.png" --new "$tmp/b.png" --style "$1" --progress "$2" -y --out "$3" ||
    fail "mirel-render --style $1 --progress $2"
}
