#!/usr/bin/env bash
# The folder show beside feh, the light picture viewer a desktop user would
# otherwise run (feh -F -Z -D PAUSE), on the same folder of photos and the
# same virtual screen, 4K unless told. The two take turns, round after round,
# so that a change in the machine's load falls on both. Per program, the
# medians over the rounds of:
#   first ms   from the launch to the first picture on screen (the screen's
#              centre no longer black, polled every 5 ms)
#   cpu s      user + system time over the whole show
#   peak MB    the maximum resident set
#
#   bench/show_vs_feh.sh [-b BUILD_DIR] [-r ROUNDS] [-s SECONDS] [-p PAUSE]
#                        [-n PHOTOS] [WxH]
#
# Defaults: build/ beside this folder, 3 rounds of a 30 s show with 3 s
# pauses, eight 6000x4000 photos (noise over a gradient, so that they decode
# like photographs; made once with ImageMagick, kept in
# ${TMPDIR:-/tmp}/mirel-feh-photos), 3840x2160.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$here/../build
rounds=3 seconds=30 pause=3 count=8 size=3840x2160
while [ $# -gt 0 ]; do
  case $1 in
    -b) build=$2; shift 2 ;;
    -r) rounds=$2; shift 2 ;;
    -s) seconds=$2; shift 2 ;;
    -p) pause=$2; shift 2 ;;
    -n) count=$2; shift 2 ;;
    *x*) size=$1; shift ;;
    *) echo "usage: $0 [-b BUILD_DIR] [-r ROUNDS] [-s SECONDS] [-p PAUSE] [-n PHOTOS] [WxH]" >&2; exit 2 ;;
  esac
done
show=$build/app/mirel-show
for tool in Xvfb feh convert python3; do
  command -v "$tool" >/dev/null || { echo "show_vs_feh: $tool is missing" >&2; exit 2; }
done
[ -x "$show" ] || { echo "show_vs_feh: no $show" >&2; exit 2; }

photos=${TMPDIR:-/tmp}/mirel-feh-photos
mkdir -p "$photos"
for i in $(seq -w 1 "$count"); do
  [ -s "$photos/p$i.jpg" ] && continue
  echo "making photo $i of $count ..." >&2
  convert -size 6000x4000 gradient:"hsl($((i * 40 % 360)),80%,50%)"-navy -attenuate 0.4 +noise Gaussian \
    -quality 90 "$photos/p$i.jpg" || exit 1
done

work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-bench.XXXXXX")
xvfb_pid=
trap '[ -n "$xvfb_pid" ] && kill $xvfb_pid 2>/dev/null; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$work/display")

# Polls the screen's centre until it is no longer black; prints the time
# since the nanosecond clock reading $1 in milliseconds.
cat >"$work/first.py" <<'PY'
import ctypes, sys, time
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XGetImage.restype = ctypes.c_void_p
x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                        ctypes.c_ulong, ctypes.c_int]
x.XGetPixel.restype = ctypes.c_ulong
x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
d = x.XOpenDisplay(None)
root = x.XDefaultRootWindow(d)
w, h = map(int, sys.argv[2].split("x"))
deadline = time.time() + 30
while time.time() < deadline:
    image = x.XGetImage(d, root, w // 2, h // 2, 1, 1, 0xFFFFFFFF, 2)
    if image and x.XGetPixel(image, 0, 0) & 0xFFFFFF:
        print("%.0f" % ((time.time_ns() - int(sys.argv[1])) / 1e6))
        sys.exit(0)
    time.sleep(0.005)
sys.exit(1)
PY

# run NAME COMMAND...: one show of $seconds; appends "first cpu peak".
run() {
  local name=$1
  shift
  mkdir -p "$work/home"
  local start
  start=$(date +%s%N)
  HOME=$work/home XDG_RUNTIME_DIR=$work/home "$@" >/dev/null 2>"$work/err" &
  local pid=$!
  local first
  first=$(python3 "$work/first.py" "$start" "$size") || first=-
  sleep "$seconds"
  local peak cpu
  peak=$(awk '/VmHWM/ { printf "%.0f", $2 / 1024 }' "/proc/$pid/status")
  cpu=$(awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$pid/stat")
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  echo "$first $cpu $peak" >>"$work/$name"
  sleep 1 # the screen back to black
}

for round in $(seq 1 "$rounds"); do
  echo "round $round of $rounds ..." >&2
  run mirel "$show" --pause "$pause" "$photos"
  run feh feh -F -Z -D "$pause" "$photos"
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-8s %9s %7s %8s   (%s, %s s shows, %s s pauses, %s photos, medians of %s)\n' program "first ms" "cpu s" \
  "peak MB" "$size" "$seconds" "$pause" "$count" "$rounds"
for name in mirel feh; do
  first=$(cut -d' ' -f1 "$work/$name" | median)
  cpu=$(cut -d' ' -f2 "$work/$name" | median)
  peak=$(cut -d' ' -f3 "$work/$name" | median)
  printf '%-8s %9s %7s %8s\n' "$name" "$first" "$cpu" "$peak"
  eval "${name}_first=$first ${name}_cpu=$cpu ${name}_peak=$peak"
done
awk -v a="$mirel_first" -v b="$feh_first" -v c="$mirel_cpu" -v d="$feh_cpu" -v e="$mirel_peak" -v f="$feh_peak" \
  'BEGIN { printf "mirel/feh  %8.2fx %6.2fx %7.2fx\n", a / b, c / d, e / f }'
