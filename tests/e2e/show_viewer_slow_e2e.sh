#!/usr/bin/env bash
# End to end: mirel-show on the user's own pictures, continued.
#  - Escape ends the show at once while a slow picture is being decoded:
#    the decode runs beside the show, not in its way;
#  - without --keys any key ends it, as with the built-in pictures.
#
#   show_viewer_slow_e2e.sh path/to/mirel-show
set -uo pipefail
show=${1:?usage: show_viewer_slow_e2e.sh path/to/mirel-show}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-e2e.XXXXXX")
. "$(dirname "$0")/show_sandbox.sh"
need_tools Xvfb xdotool convert python3

sandbox_show "$show" || fail "cannot copy $show"
start_xvfb || fail "no virtual display: $(cat "$work/xvfb.log")"
focus_show() { xdotool windowfocus "$(windows_named mirel-show | head -n1)" 2>/dev/null; }
convert -size 1600x1200 gradient:red-yellow "$work/a.jpg" || fail "cannot make a picture"

# A slow picture: 80 megapixels of PNG, which no DCT scaling shortens.
python3 - "$work/slow.png" <<'PY' || fail "cannot make the slow picture"
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
side = 9000
packer = zlib.compressobj(9)
row = b"\0" + bytes(range(256)) * (side // 256) + b"\x80" * (side % 256)
data = b"".join(packer.compress(row) for _ in range(side)) + packer.flush()
with open(sys.argv[1], "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", data) + chunk(b"IEND", b""))
PY
: >"$work/show.log"
start_show --keys --pause 0.1 "$work/a.jpg" "$work/slow.png"
wait_until 10000 windows_named mirel-show >/dev/null || fail "no show window"
sleep 1.5
focus_show
pressed=$(now_ms)
xdotool key Escape
wait_until 5000 show_ended || fail "Escape did not end the show while a picture was being decoded"
echo "ended $(( $(now_ms) - pressed )) ms after Escape, with a slow picture being decoded"
[ $(( $(now_ms) - pressed )) -lt 2000 ] || fail "the show waited for the decode"
wait "$show_pid"; show_pid=

# Without viewer keys any key ends the show.
start_show --pause 30 "$work/a.jpg"
wait_until 10000 windows_named mirel-show >/dev/null || fail "no show window"
sleep 0.5
focus_show
xdotool key a
wait_until 3000 show_ended || fail "a key did not end the show"
wait "$show_pid"; status=$?; show_pid=
[ "$status" -eq 0 ] || fail "exit status $status"
echo "PASS"
