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

# Starts Xvfb, which picks a free display number itself and writes it once
# it accepts clients; a busy machine may need a second try. Sets xvfb_pid and
# exports DISPLAY; fails with the server's log in $work/xvfb.log.
start_xvfb() {
  local attempt
  for attempt in 1 2 3; do
    : >"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
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
