# Headless chromium for the tests that read mirel-render's outputs as a web
# page does. Source it after setting tmp; needs fail().
command -v chromium > /dev/null || fail "chromium is not installed"

# Without a GPU, chromium composites in software by default. Video colours
# are checked on SwiftShader instead, chromium's GPU path run on the
# processor: the software path's BT.709 conversion (libyuv) caps the blue
# coefficient and is off by up to 12 levels on saturated colours whatever
# the file says.
browser_gpu=(--disable-gpu)
browser_swiftshader=(--use-angle=swiftshader --enable-unsafe-swiftshader)

browse() { # browse URL ARGS...: the page's DOM after load on stdout, the browser's log in $tmp/log
  local url=$1; shift
  rm -rf "$tmp/profile"
  timeout 90 chromium --headless --no-sandbox "${browser_gpu[@]}" --no-first-run --user-data-dir="$tmp/profile" \
    --enable-logging=stderr --v=0 --virtual-time-budget=5000 "$@" "$url" 2> "$tmp/log"
}
