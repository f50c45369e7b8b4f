#!/usr/bin/env bash
# mirel-render on tiny files that promise 10000x10000 pictures
# (make_memory_pictures.py), measured by what it may allocate rather than by
# time: under an address-space limit far below what the pictures once took
# (an animation's 1x1 frame cost three full canvases), the cheap ones render;
# the ones whose decoding needs more memory than the per-picture budget are
# refused with one line naming the budget, and render once it is raised;
# memory that runs out says so, never "broken".
set -u
render=$1
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

pics=$tmp/pictures
python3 "$here/make_memory_pictures.py" "$pics" 10000 || fail "cannot make the pictures"
printf '\377\330\377' > "$tmp/x-no-extension"
python3 "$here/make_memory_pictures.py" "$tmp/small" 64 && cp "$tmp/small/progressive444.jpg" "$tmp/good.jpg" ||
  fail "cannot make the small pictures"

run() { # run LIMIT_MB NAME [ENV...]: renders NAME as the new picture
  local limit=$1 path=$2
  shift 2
  rm -f "$tmp/out.png"
  env "$@" prlimit --as=$((limit << 20)) "$render" --style 1 --progress 50 --size 640x360 \
    --old "$tmp/good.jpg" --new "$path" --out "$tmp/out.png" 2>"$tmp/err" >/dev/null
}

# A 1x1 frame on the canvas and a lossless transparent WebP decoded at the
# size shown: well within 1 GB of address space (they took 1.2 GB and 0.9 GB
# of memory before).
for name in canvas.webp transparent.webp; do
  run 1024 "$pics/$name" || fail "$name under 1 GB: exit status $?: $(cat "$tmp/err")"
  [ -s "$tmp/out.png" ] || fail "$name: no output"
done

# The transparent PNG and the RLE bitmap of skipped pixels are reduced row
# by row to the size shown, never held whole: mirel-render needs about 90 MB
# of address space for them (80 MB for a 1x1 picture), against 650 MB and
# 550 MB when they were decoded at full size, and the 400 MB picture alone
# would not fit in 160 MB.
for name in zero-alpha.png rle4.bmp; do
  run 160 "$pics/$name" || fail "$name under 160 MB: exit status $?: $(cat "$tmp/err")"
  [ -s "$tmp/out.png" ] || fail "$name: no output"
done

# Decoding that would take more than the budget besides the picture: the
# progressive 4:4:4 JPEG's coefficients over the default, the lossless WebP's
# own pixels over a budget of 100 MB.
name=progressive444.jpg
run 4096 "$pics/$name" && fail "$name: rendered over the budget"
[ "$(wc -l < "$tmp/err")" -eq 1 ] || fail "$name: not one line: $(cat "$tmp/err")"
grep -q "$name: decoding would take [0-9]* MB of memory besides the picture, over the 384 MB" "$tmp/err" &&
  grep -q MIREL_PICTURE_MEMORY_MB "$tmp/err" || fail "$name: $(cat "$tmp/err")"
for name in transparent.webp progressive444.jpg; do
  run 4096 "$pics/$name" MIREL_PICTURE_MEMORY_MB=100 && fail "$name: rendered over a budget of 100 MB"
  [ "$(wc -l < "$tmp/err")" -eq 1 ] || fail "$name, 100 MB: not one line: $(cat "$tmp/err")"
  grep -q "over the 100 MB" "$tmp/err" || fail "$name, 100 MB: $(cat "$tmp/err")"
  run 4096 "$pics/$name" MIREL_PICTURE_MEMORY_MB=1024 || fail "$name, budget raised: $(cat "$tmp/err")"
done

# Allowed by the budget but not by the address space: the JPEG's 573 MB of
# coefficients run out, and it says so (once "broken JPEG: Insufficient
# memory").
name=progressive444.jpg
run 200 "$pics/$name" MIREL_PICTURE_MEMORY_MB=1024 && fail "$name: rendered in 200 MB"
[ "$(wc -l < "$tmp/err")" -eq 1 ] || fail "$name in 200 MB: not one line: $(cat "$tmp/err")"
grep -q "$name: out of memory$" "$tmp/err" || fail "$name in 200 MB: $(cat "$tmp/err")"

# A file without an extension is read by its content: the start of a JPEG
# and nothing more.
run 4096 "$tmp/x-no-extension" && fail "a file without extension was rendered"
grep -q "x-no-extension: not a readable JPEG" "$tmp/err" || fail "no extension: $(cat "$tmp/err")"
echo "ok: memory bounded for $(ls "$pics" | wc -l) crafted pictures"
