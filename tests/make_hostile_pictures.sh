#!/usr/bin/env bash
# Makes a folder of pictures that are broken or hostile in every way the show
# and mirel-render must survive, beside two good ones:
#   tests/make_hostile_pictures.sh FOLDER
# Good pictures are named good-*; every other entry must be refused with a
# clear message. Needs imagemagick (convert) and mkfifo; everything is made
# here, from nothing.
set -euo pipefail
dir=${1:?usage: make_hostile_pictures.sh FOLDER}
mkdir -p "$dir"
cd "$dir"

convert -size 64x48 gradient:red-blue good-a.jpg
convert -size 40x30 gradient:green-yellow -type truecolor good-b.bmp

: > zero.jpg
: > zero.bmp
: > zero.ico
head -c 300 good-a.jpg > truncated.jpg        # header and part of the scan
head -c 100 good-b.bmp > truncated.bmp        # header, hardly any pixels
convert -size 16x16 xc:blue -alpha on whole.ico && head -c 60 whole.ico > truncated.ico && rm whole.ico
# Pictures under the wrong name are read by their content.
convert -size 20x20 xc:white png:good-png-named.jpg
cp good-a.jpg good-jpeg-named.bmp
# Bytes that start like nothing in particular, and ones that start right.
for i in $(seq 1 64); do printf 'garbage %d \001\377\000' "$i"; done > garbage.jpg
cp garbage.jpg garbage.bmp
cp garbage.jpg garbage.ico
{ printf '\377\330\377\340'; head -c 2000 /dev/zero | tr '\0' '\377'; } > markers-only.jpg

# sof SIDE_HEX: a baseline frame header of SIDE x SIDE, three components.
sof() { printf '\377\300\000\021\010%b%b%b%b\003\001\042\000\002\021\001\003\021\001' "\\0$1" "\\0$2" "\\0$1" "\\0$2"; }
# Beyond what libjpeg takes (65500 a side), and within that but 400 megapixels.
# The scan header makes the frame header count; no scan data follows.
sos() { printf '\377\332\000\014\003\001\000\002\021\003\021\000\077\000'; }
{ printf '\377\330'; sof 377 377; sos; printf '\377\331'; } > huge-65535.jpg
{ printf '\377\330'; sof 116 040; sos; printf '\377\331'; } > huge-20000.jpg     # 0x4E20 = 20000
# A BMP whose header claims 30000 x 30000 at 24 bits but holds 16 bytes.
{
  printf 'BM\066\000\000\000\000\000\000\000\066\000\000\000'
  printf '\050\000\000\000\060\165\000\000\060\165\000\000\001\000\030\000'   # 40, 30000, 30000, 1, 24
  printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000'
  head -c 16 /dev/zero
} > lying-size.bmp
# A BMP 4 pixels wide and 1100000 tall at one bit a pixel, with 16 bytes of
# pixels: Qt reads it, but no bitmap has a side that long.
{
  printf 'BM\116\000\000\000\000\000\000\000\076\000\000\000'
  printf '\050\000\000\000\004\000\000\000\340\310\020\000\001\000\001\000'   # 40, 4, 1100000, 1, 1
  printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\002\000\000\000\000\000\000\000'
  printf '\000\000\000\000\377\377\377\000'
  head -c 16 /dev/zero
} > too-tall.bmp
# An icon whose directory promises one 256 x 256 image at an offset and size
# far past the file's end, and one whose bitmap header claims 40000 rows.
{
  printf '\000\000\001\000\001\000'
  printf '\000\000\000\000\001\000\040\000\000\000\001\000\377\377\000\000'
} > lying-directory.ico
{
  printf '\000\000\001\000\001\000'
  printf '\020\020\000\000\001\000\040\000\150\000\000\000\026\000\000\000'
  printf '\050\000\000\000\100\234\000\000\100\234\000\000\001\000\040\000'    # 40, 40000, 40000
  printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000'
  head -c 64 /dev/zero
} > lying-size.ico

cp good-a.jpg good-unlisted.xyz               # listed by nobody, read when named
cp good-a.jpg unreadable.jpg && chmod 000 unreadable.jpg   # still readable by root
mkdir -p folder.jpg
rm -f fifo.jpg && mkfifo fifo.jpg

# Bitmaps whose pixels would come from beyond what the file holds.
le32() { printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
# bmp WIDTH HEIGHT BITS COMPRESSION PIXEL_OFFSET: file and info headers, then
# a palette of black and white for 8 bits.
bmp() {
  printf 'BM'; le32 0; le32 0; le32 "$5"
  le32 40; le32 "$1"; le32 "$2"; printf '\001\000'; printf "$(printf '\\%03o' "$3")\\000"; le32 "$4"
  le32 0; le32 2835; le32 2835
  if [ "$3" -eq 8 ]; then le32 2; le32 0; printf '\000\000\000\000\377\377\377\000'; else le32 0; le32 0; fi
}
{ bmp 2 2 24 0 100000; head -c 16 /dev/zero; } > offset-past-end.bmp
{ bmp 4 2 8 1 62; printf '\000\010\001\001\001\001\001\001\001\001\000\001'; } > rle8-overrun.bmp   # 8 stored in a row of 4
{ bmp 4 2 8 1 62; printf '\000\002\000\062\004\001\000\001'; } > rle8-delta-past.bmp   # moved 50 rows up, then drawn
{ bmp 64 2 8 1 62; printf '\000\050\001\001\001'; } > rle8-absolute-past-end.bmp   # 40 pixels promised, 3 given
