#!/usr/bin/env bash
# The OBS Studio transition inside libobs on a real X display: Xvfb, with
# Mesa's software OpenGL, two pictures made from the project's own, and a
# home of its own so that nothing of the user's OBS settings is read.
#
#   obs_test.sh path/to/mirel_obs_tests PLUGIN_DIR MIREL_RENDER SOURCE_DIR [gtest options]
#
# PLUGIN_DIR holds mirel-obs.so and data/mirel-obs/, as the build tree does.
# Exit status: the tests', or 77 (skipped) when Xvfb or libobs's OpenGL
# cannot start.
set -uo pipefail

tests=${1:?usage: obs_test.sh TESTS PLUGIN_DIR MIREL_RENDER SOURCE_DIR}
plugin_dir=$2 render=$3 source=$4
shift 4
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-obs.XXXXXX")
. "$(dirname "$0")/../e2e/show_sandbox.sh"
need_tools Xvfb convert
xvfb_screen=640x480x24
if ! start_xvfb; then
  echo "skipped: Xvfb did not start"
  cat "$work/xvfb.log"
  exit 77
fi

# 320x240, stripped of the colour chunks that one decoder would heed and
# another not.
convert "$source/resources/01.jpg" -resize '320x240!' -strip PNG24:"$work/a.png" &&
  convert "$source/resources/02.jpg" -resize '320x240!' -strip PNG24:"$work/b.png" ||
  { echo "FAIL: cannot make the pictures"; exit 1; }

mkdir -p "$work/home" "$work/config" "$work/runtime" && chmod 700 "$work/runtime"
HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
  LIBGL_ALWAYS_SOFTWARE=1 \
  MIREL_OBS_PLUGINS="$plugin_dir" MIREL_OBS_DATA="$plugin_dir/data" \
  MIREL_RENDER="$render" MIREL_OBS_WORK="$work" \
  "$tests" "$@"
