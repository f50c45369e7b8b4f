# Shared by the host tests: a temporary folder, the two test pictures and
# the comparisons of pictures.sh, and mirel-render's frames. Sourced with the
# plugin folder and mirel-render as $1 and $2.
set -u
plugin_dir=$1
render=$2
export FREI0R_PATH=$plugin_dir
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

. "$(dirname "${BASH_SOURCE[0]}")/pictures.sh"

# reference STYLE PERCENT OUT [OPTION...]: mirel-render's frame of style at percent.
reference() {
  "$render" --old "$tmp/a.png" --new "$tmp/b.png" --style "$1" --progress "$2" -y --out "$3" "${@:4}" ||
    fail "mirel-render --style $1 --progress $2 ${*:4}"
}
