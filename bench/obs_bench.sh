#!/usr/bin/env bash
# The OBS transition's cost per 1920x1080 frame inside libobs, under Xvfb with
# Mesa's software OpenGL, with the machine's load before and after:
#   cmake --build build --target bench_obs
#   bench/obs_bench.sh build/bench/mirel_bench_obs build/plugins/obs [frames]
set -uo pipefail
bench=${1:?usage: obs_bench.sh BENCH PLUGIN_DIR [frames]}
plugin_dir=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-obs-bench.XXXXXX")
. "$source_dir/tests/e2e/show_sandbox.sh"
need_tools Xvfb convert
start_xvfb || { cat "$work/xvfb.log"; exit 1; }
convert "$source_dir/resources/01.jpg" -resize '1920x1080!' -strip PNG24:"$work/a.png" &&
  convert "$source_dir/resources/02.jpg" -resize '1920x1080!' -strip PNG24:"$work/b.png" || exit 1
echo "load before: $(uptime)"
HOME="$work" XDG_CONFIG_HOME="$work/config" LIBGL_ALWAYS_SOFTWARE=1 \
  "$bench" "$plugin_dir" "$work/a.png" "$work/b.png" "${3:-120}" 2>"$work/obs.log"
status=$?
[ $status = 0 ] || tail -20 "$work/obs.log"
echo "load after:  $(uptime)"
exit $status
