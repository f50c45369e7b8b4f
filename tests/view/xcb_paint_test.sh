#!/usr/bin/env bash
# The widget's paint tests on a real window system: the tests of frames
# painted straight onto the screen, run on Qt's xcb platform under Xvfb, so
# that the window's backing store is the one an X11 desktop gives (32-bit
# premultiplied ARGB, shared with the server), not the offscreen platform's.
#
#   xcb_paint_test.sh path/to/mirel_view_tests
#
# Exit status: the tests', or 77 when Xvfb is missing.
set -uo pipefail

tests=${1:?usage: xcb_paint_test.sh path/to/mirel_view_tests}
work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-xcb.XXXXXX")
. "$(dirname "$0")/../e2e/show_sandbox.sh"
need_tools Xvfb
start_xvfb || { cat "$work/xvfb.log"; exit 1; }
MIREL_TEST_PLATFORM=xcb "$tests" \
  --gtest_filter='ViewComposedFrames.*:ViewScreenFrames.*:*ViewDirectPaint.*:ViewTransitionMemory.*:*ViewTransitionStart.*'
