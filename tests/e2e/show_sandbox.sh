# Shared by the scripts that run the real show on a virtual display (the
# end-to-end test, the soak test and the run command); source it, with
# "work" naming a temporary folder of the caller's, which it removes on exit.

# The show and the display server of the sourcing script, ended with it,
# and $work removed.
xvfb_pid=
show_pid=
sandbox_cleanup() {
  [ -n "$show_pid" ] && kill "$show_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  [ -n "${KEEP_WORK:-}" ] && { echo "kept $work"; return 0; }
  rm -rf "$work"
  return 0
}
trap sandbox_cleanup EXIT

# True while pid runs (a child that has ended but is not yet reaped counts as ended).
running() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

# Settings of its own under $work, with the pause in seconds ($1), so as not
# to touch the user's; run the show with XDG_CONFIG_HOME="$work/config" and
# XDG_RUNTIME_DIR="$work/runtime".
sandbox_settings() {
  mkdir -p "$work/config/software" "$work/runtime" || return 1
  chmod 700 "$work/runtime"
  printf '[General]\nreg_showpause=%s\nreg_photodir=c:\\\\\nreg_phototarget=1\n' "$1" \
    >"$work/config/software/mirel12.ini"
}

# A copy of the show ($1) in $work/bin, so that it stages its pictures in
# $work/bin/mirel ("mirel" beside the executable), not in the build tree.
sandbox_show() {
  mkdir -p "$work/bin" && cp "$1" "$work/bin/mirel-show"
}

# Starts Xvfb (a 1280x800 screen unless xvfb_screen says otherwise), which picks a free display number itself and writes it once
# it accepts clients; a busy machine may need a second try. Sets xvfb_pid and
# exports DISPLAY; fails with the server's log in $work/xvfb.log.
start_xvfb() {
  local attempt
  for attempt in 1 2 3; do
    : >"$work/display"
    Xvfb -displayfd 3 -screen 0 "${xvfb_screen:-1280x800x24}" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 1 200); do
      if [ -s "$work/display" ]; then
        export DISPLAY=:$(head -n1 "$work/display")
        return 0
      fi
      running "$xvfb_pid" || break
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
    echo "Xvfb did not start (attempt $attempt)" >&2
  done
  return 1
}

# Exits with 77 (skipped) when one of the named tools is missing; in CI a
# missing tool is a missing install step and fails instead.
need_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "skipped: $tool is not installed (scripts/deps.sh installs it)"
      [ -n "${CI:-}" ] && exit 1
      exit 77
    fi
  done
}

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Polls the command ($2...) every 50 ms until it succeeds or $1 milliseconds
# have passed; fails then.
wait_until() {
  local limit=$1 start
  shift
  start=$(now_ms)
  until "$@"; do
    [ $(( $(now_ms) - start )) -ge "$limit" ] && return 1
    sleep 0.05
  done
}

# Fails the test with a reason and the show's standard error ($work/show.log).
fail() {
  echo "FAIL: $*"
  if [ -s "$work/show.log" ]; then
    echo "--- the show's standard error:"
    tail -n 40 "$work/show.log"
  fi
  exit 1
}

# Runs the sandboxed show ($work/bin/mirel-show) in the background with the
# sandbox's folders and any arguments given; sets show_pid.
# With no_runtime_dir=1 the show runs without XDG_RUNTIME_DIR.
start_show() {
  local runtime=(XDG_RUNTIME_DIR="$work/runtime")
  [ "${no_runtime_dir:-}" = 1 ] && runtime=(-u XDG_RUNTIME_DIR)
  env "${runtime[@]}" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
    LSAN_OPTIONS="suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
    "$work/bin/mirel-show" "$@" 2>>"$work/show.log" &
  show_pid=$!
}

# The number of staged pictures left in $work/bin/mirel.
staged_count() { ls "$work/bin/mirel" 2>/dev/null | grep -c '^[0-9][0-9]\.jpg$'; }

# A signature of the screen (mean brightness and pixel hash); empty on failure.
screen_signature() {
  local shot="$work/screen.png"
  import -window root "$shot" 2>/dev/null || return 1
  identify -format '%[fx:mean] %#\n' "$shot" 2>/dev/null
}

# True when the screen changes within $1 milliseconds while a picture shows.
screen_changes() {
  local first now limit=$1 start
  first=$(screen_signature)
  start=$(now_ms)
  while [ $(( $(now_ms) - start )) -lt "$limit" ]; do
    sleep 0.2
    now=$(screen_signature)
    [ -n "$now" ] && [ "$now" != "$first" ] && return 0
  done
  return 1
}

# Mean brightness and pixel hash of the X window $1 (an id, or root).
window_signature() { import -window "$1" "$work/w.png" 2>/dev/null && identify -format '%[fx:mean] %#' "$work/w.png"; }

# True when the window $1 shows $2 or more different non-black pictures
# within 10 seconds.
pictures_change_in() {
  local seen=() sig
  for _ in $(seq 1 50); do
    sig=$(window_signature "$1") || { sleep 0.2; continue; }
    awk -v m="${sig%% *}" 'BEGIN { exit !(m > 0.05) }' && seen+=("$sig")
    [ "$(printf '%s\n' "${seen[@]}" | sort -u | grep -c .)" -ge "$2" ] && return 0
    sleep 0.2
  done
  return 1
}

# Visible windows with exactly the name $1.
windows_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null; }

# True once the show has ended.
show_ended() { ! running "$show_pid"; }

# True for a show built with AddressSanitizer (unoptimised and far slower).
instrumented_show() { grep -q __asan_init "$work/bin/mirel-show"; }

# The area of the screen that is not black (WxH+X+Y), once the screen has
# settled: two screenshots a quarter second apart agree, the second left in
# $work/b.png. Needs imagemagick.
settled_area() {
  local area
  import -window root "$work/a.png" 2>/dev/null && sleep 0.25 && import -window root "$work/b.png" 2>/dev/null \
    && [ "$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1)" = 0 ] || return 1
  area=$(convert "$work/b.png" -fuzz 2% -trim -format '%wx%h%O' info: 2>/dev/null) || return 1
  [ "${area%%x*}" -gt 50 ] || return 1
  echo "$area"
}
