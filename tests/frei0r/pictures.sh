# The two test pictures of the host tests and comparisons in 8-bit levels.
# Sourced; the caller gives a folder in $tmp and a function fail.

# 320x240 pictures with detail everywhere, so that a pixel out of place shows:
# $tmp/a.png and $tmp/b.png.
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
