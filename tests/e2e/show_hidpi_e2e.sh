#!/usr/bin/env bash
# End to end: at scale factors 1 and 2 (QT_SCALE_FACTOR) the first picture
# (799 x 600) shows at (176, 96) of the screen, pixel for pixel: its area on
# the screen has its size, and its pixels are the file's.
#
#   show_hidpi_e2e.sh path/to/mirel-show
set -uo pipefail
show=${1:?usage: show_hidpi_e2e.sh path/to/mirel-show}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool import identify convert compare

sandbox_show "$show" || fail "cannot copy $show"
# No tick during the test: the first picture stays once it has come in.
sandbox_settings 60 || fail "cannot write the settings"
start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"

for scale in 1 2; do
  : >"$work/show.log"
  QT_SCALE_FACTOR=$scale start_show
  all_staged() { [ "$(staged_count)" -eq 13 ]; }
  wait_until 15000 all_staged || fail "scale $scale: the pictures were not staged"
  cp "$work/bin/mirel/01.jpg" "$work/01.jpg"
  # The first transition lasts about a second; then the screen stays.
  settled() {
    import -window root "$work/a.png" 2>/dev/null && sleep 0.3 && import -window root "$work/b.png" 2>/dev/null \
      && [ "$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1)" = 0 ] \
      && [ "$(convert "$work/b.png" -fuzz 1% -trim -format '%w' info: 2>/dev/null)" -gt 100 ]
  }
  wait_until 15000 settled || fail "scale $scale: the screen did not settle on a picture"
  area=$(convert "$work/b.png" -fuzz 1% -trim -format '%wx%h%O' info:)
  echo "scale $scale: picture area on the screen $area"
  [ "$area" = "799x600+176+96" ] || fail "scale $scale: the picture covers $area, not 799x600+176+96"
  convert "$work/b.png" -crop 799x600+176+96 +repage "$work/crop.png"
  rmse=$(compare -metric RMSE "$work/crop.png" "$work/01.jpg" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
  echo "scale $scale: difference from the file $rmse"
  awk -v e="$rmse" 'BEGIN { exit !(e < 0.02) }' || fail "scale $scale: the pixels are not the file's (RMSE $rmse)"
  kill -TERM "$show_pid"
  wait_until 20000 show_ended || fail "scale $scale: the show did not end"
  wait "$show_pid"; show_pid=
done
echo "PASS"
