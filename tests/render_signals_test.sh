#!/usr/bin/env bash
# mirel-render ended mid-run, for each kind of output (a frame folder, mp4,
# GIF, WebP): by SIGINT, SIGTERM or SIGHUP, and by a reader that goes away
# (SIGPIPE). Each leaves no temporary and no output, and exits with the
# status the man page gives. Temporaries of runs that died outright are
# removed by the next run writing the same output, those of live runs never.
#
# Nothing here is timed: each run renders a slide show of half a million
# 640x480 frames, far more than it can finish, and is signalled once its
# temporary is there.
set -u
render=$1
tmp=$(mktemp -d)
cleanup() {
  for job in $(jobs -p); do kill "$job" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$tmp" || exit 1

convert -size 160x120 gradient:red-blue a.jpg && convert -size 160x120 gradient:green-yellow -depth 8 b.png ||
  fail "cannot make test pictures"
for _ in $(seq 2500); do printf 'a.jpg\nb.png\n'; done > long.txt
# A hang-up ignored where this test runs (nohup) would be ignored by the
# program too; the runs get the default instead.
# (An array, not a function: a function in the background is a subshell,
# and $! would be the subshell's pid.)
run=(env --default-signal=HUP "$render" --slideshow long.txt --size 640x480 --step 1 --hold 0.04 -y)

# The temporary of output out: .out.part-* beside it, or .frames-* inside a folder.
temporary() {
  case $1 in
    */) ls -A "$1" 2>/dev/null | grep '^\.frames-' ;;
    *) ls -A | grep -F ".$1.part-" ;;
  esac
}
# Waits for out's temporary, failing if pid ends first.
await() { # await PID OUT
  until [ -n "$(temporary "$2")" ]; do
    kill -0 "$1" 2>/dev/null || fail "$2: the run ended before its temporary appeared"
    sleep 0.05
  done
}
litter() { ls -A | grep -v '^\(a\.jpg\|b\.png\|long\.txt\|err\|plan\)$'; }

for out in frames/ show.mp4 show.gif show.webp; do
  for sig in INT TERM HUP; do
    "${run[@]}" --out "$out" > /dev/null 2> err &
    pid=$!
    await $pid "$out"
    kill -s "$sig" $pid
    wait $pid
    status=$?
    expected=$((128 + $(kill -l "$sig")))
    [ $status -eq $expected ] || fail "$out, SIG$sig: exit status $status, not $expected: $(cat err)"
    grep -q 'interrupted; nothing written' err || fail "$out, SIG$sig: no word of it: $(cat err)"
    [ -z "$(litter)" ] || fail "$out, SIG$sig: left behind: $(litter)"
  done
  # The reader of the plan stops after its first line: the next line cannot
  # be written, and the run ends there as after any write error.
  "${run[@]}" --out "$out" 2> err | head -1 > plan
  status=${PIPESTATUS[0]}
  [ $status -eq 2 ] || fail "$out, closed pipe: exit status $status, not 2: $(cat err)"
  # (A GIF this long is first said to be large.)
  [ "$(grep -v ': a GIF of .* s is large' err)" = "mirel-render: standard output: cannot write: Broken pipe" ] ||
    fail "$out, closed pipe: not the one line expected: $(cat err)"
  [ "$(wc -l < plan)" -eq 1 ] || fail "$out, closed pipe: the plan's first line did not arrive"
  [ -z "$(litter)" ] || fail "$out, closed pipe: left behind: $(litter)"
done

# Under nohup a hang-up is not the end: the run renders on after it.
env --ignore-signal=HUP "$render" --slideshow long.txt --size 640x480 --step 1 --hold 0.04 --out nohup/ > /dev/null 2> err &
pid=$!
await $pid nohup/
kill -HUP $pid
frames() { ls -A nohup/.frames-* 2>/dev/null | grep -c '^frame-'; }
seen=$(frames)
until [ "$(frames)" -gt $((seen + 3)) ]; do
  kill -0 $pid 2>/dev/null || fail "nohup: SIGHUP ended the run: $(cat err)"
  sleep 0.05
done
kill -TERM $pid
wait $pid
[ $? -eq 143 ] && [ ! -e nohup ] || fail "nohup: SIGTERM after the hang-up did not end the run cleanly"

# --- Temporaries of runs that died ---------------------------------------------
( : ) &
dead=$!
wait $dead
sleep 1000 &
live=$!
start=$(cut -d' ' -f22 /proc/$live/stat) # sleep's name has no space in it
touch ".out.mp4.part-$dead-12345-AbCdEf"        # its writer is gone
touch ".out.mp4.part-$live-$((start + 1))-AbCdEf" # its pid was given again
touch ".out.mp4.part-$live-$start-KeEpMe"         # its writer is alive
touch ".out.mp4.part-QwErTy"                      # no pid: cannot tell
touch ".other.mp4.part-$dead-12345-KeEpMe"        # another output's
touch ".out.mp4.part-$dead-12345-LoCkEd"          # in use by another namespace's run
exec 4< ".out.mp4.part-$dead-12345-LoCkEd"
flock -x 4
echo "mine" > mine.txt
ln -s mine.txt ".out.mp4.part-$dead-12345-LiNkEd"   # never followed nor removed
mkdir -p out/".frames-$dead-12345-AbCdEf" out/".frames-$live-$start-KeEpMe"
touch out/".frames-$dead-12345-AbCdEf/frame-00000.png" out/".frames-$live-$start-KeEpMe/frame-00000.png"
"$render" --old a.jpg --new b.png --style 84 --step 50 --out out.mp4 || fail "a run beside stale temporaries"
"$render" --old a.jpg --new b.png --style 84 --step 50 --out out/ || fail "a frame folder beside stale temporaries"
exec 4<&-
left=$(ls -A | grep -F '.part-' | sort | tr '\n' ' ')
wanted=$(printf '%s\n' ".out.mp4.part-$live-$start-KeEpMe" ".out.mp4.part-QwErTy" ".other.mp4.part-$dead-12345-KeEpMe" \
  ".out.mp4.part-$dead-12345-LoCkEd" ".out.mp4.part-$dead-12345-LiNkEd" | sort | tr '\n' ' ')
[ "$left" = "$wanted" ] || fail "stale temporaries: left '$left', not '$wanted'"
[ "$(cat mine.txt)" = mine ] || fail "a link's target was touched"
[ "$(ls -A out | grep '^\.' | tr '\n' ' ')" = ".frames-$live-$start-KeEpMe " ] ||
  fail "stale frame folders: $(ls -A out)"
kill $live

# A real run beside another writing the same output: the second one finishes
# and leaves the first one's temporary alone.
"${run[@]}" --out same.mp4 > /dev/null 2> err &
pid=$!
await $pid same.mp4
first=$(temporary same.mp4)
"$render" --old a.jpg --new b.png --style 84 --step 50 --out same.mp4 -y || fail "the second run"
[ -e "$first" ] || fail "the second run removed the first run's temporary"
kill -TERM $pid
wait $pid
[ $? -eq 143 ] && [ ! -e "$first" ] || fail "the first run did not end cleanly after the second"
echo "ok: every signal and a closed pipe leave nothing, for frames, mp4, GIF and WebP; stale temporaries swept"
