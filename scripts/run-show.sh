#!/usr/bin/env bash
# Starts the slide show built in build/. Builds nothing. Arguments go to the
# show (e.g. a folder of pictures; see mirel-show --help).
#
# With a display (DISPLAY set) the show runs on it until a key, a mouse
# button or a mouse move ends it. Without one, it runs on a virtual display
# (Xvfb) for about 15 seconds, with a pause of 2 seconds between pictures,
# saves a screenshot every 1.5 seconds and then ends the show with a key.
set -euo pipefail
cd "$(dirname "$0")/.."

show=${MIREL_SHOW_BIN:-build/app/mirel-show} # another build folder may be named
if [ ! -x "$show" ]; then
  echo "run-show: $show is missing; build the project first (./run.sh)" >&2
  exit 1
fi

if [ -n "${DISPLAY:-}" ]; then
  exec "$show" "$@"
fi

shots=demo/show
echo "run-show: no display; running the show on a virtual display for 15 seconds, screenshots in $shots/"
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "run-show: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
mkdir -p "$shots"
rm -f "$shots"/screen-*.png

# The demo keeps its settings to itself, so as not to touch the user's.
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-show.XXXXXX")
. tests/e2e/show_sandbox.sh
sandbox_settings 2


start_xvfb || { echo "run-show: Xvfb did not start: $(cat "$work/xvfb.log")" >&2; exit 1; }

XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" "$show" "$@" &
show_pid=$!

for i in $(seq -w 1 10); do
  sleep 1.5
  import -window root "$shots/screen-$i.png" 2>/dev/null || true
done

xdotool key space
for _ in $(seq 1 100); do
  kill -0 "$show_pid" 2>/dev/null || break
  [ "$(awk '{print $3}' "/proc/$show_pid/stat" 2>/dev/null)" = Z ] && break
  sleep 0.05
done
wait "$show_pid" && status=0 || status=$?
show_pid=
echo "run-show: the show ended (exit status $status); $(ls "$shots" | wc -l) screenshots in $shots/"
