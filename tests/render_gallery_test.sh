#!/usr/bin/env bash
# mirel-render --gallery in a real browser: the page loads in headless
# chromium with no console message, decodes all 150 animated previews,
# filters by family from a link, and a screenshot of it is kept.
#   render_gallery_test.sh MIREL_RENDER [SCREENSHOT_DIR]
set -u
render=$1
shots=${2:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
source "$(dirname "$0")/browser.sh"

# The log shows what a page says on its console (so a clean log means something).
echo '<html><body><script>console.error("planted")</script></body></html>' > "$tmp/planted.html"
browse "file://$tmp/planted.html" --dump-dom > /dev/null
grep -q 'CONSOLE.*planted' "$tmp/log" || fail "the browser's log does not show console messages"

"$render" --gallery "$tmp/gallery" > /dev/null || fail "--gallery"
page=$tmp/gallery/index.html
[ "$(grep -c '<figure' "$page")" -eq 150 ] || fail "not 150 previews in the page"
grep -q 'src="http\|src="file:\|href="http' "$page" && fail "the page is not self-contained"
"$render" --gallery "$tmp/gallery" 2> /dev/null && fail "an existing page was overwritten without -y"

browse "file://$page" --dump-dom > "$tmp/dom"
grep -q 'CONSOLE' "$tmp/log" && fail "console messages: $(grep CONSOLE "$tmp/log")"
grep -q '150 of 150 styles shown, 150 previews decoded' "$tmp/dom" ||
  fail "not all previews decoded: $(grep -o 'id="status"[^<]*' "$tmp/dom")"
grep -q '<b>76</b> Unven shred from bottom' "$tmp/dom" || fail "number and name of style 76"

browse "file://$page#pushes" --dump-dom > "$tmp/dom"
grep -q '8 of 150 styles shown' "$tmp/dom" || fail "the family filter: $(grep -o 'id="status"[^<]*' "$tmp/dom")"
[ "$(grep -o '<figure[^>]*>' "$tmp/dom" | grep -v hidden | grep -c 'data-family="pushes"')" -eq 8 ] ||
  fail "the filter shows other families"

browse "file://$page" --window-size=1280,900 --screenshot="$tmp/gallery.png" > /dev/null
[ "$(identify -format '%wx%h' "$tmp/gallery.png")" = 1280x900 ] || fail "no screenshot"
# Previews show pictures, not empty boxes: the screenshot is far from one flat colour.
[ "$(convert "$tmp/gallery.png" -format '%[fx:standard_deviation > 0.08]' info:)" = 1 ] || fail "a blank page"
if [ -n "$shots" ]; then cp "$tmp/gallery.png" "$shots/gallery.png"; fi
echo "render gallery: all checks passed"
