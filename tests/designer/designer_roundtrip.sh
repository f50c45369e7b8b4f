#!/usr/bin/env bash
# A form saved by Qt Designer, from the installed package to a running
# application: stages an install (DESTDIR), has Designer's core find the
# plugin where the install put it and save a form with the widget, builds
# that form with uic in a plain consumer project against the staged package,
# and runs it, loading the same form with QUiLoader too.
# usage: designer_roundtrip.sh BUILD_DIR SOURCE_DIR DESIGNER_SAVE
set -euo pipefail
build=$1 source=$2 save=$3
prefix=/opt/mirel
work=$(mktemp -d /tmp/mirel-designer-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/stage$prefix
fail() { echo "FAILED: $*" >&2; exit 1; }

DESTDIR=$work/stage cmake --install "$build" --prefix "$prefix" >"$work/install.log" \
  || { cat "$work/install.log" >&2; fail "cmake --install"; }
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$libdir" ] || libdir=lib
# Outside Qt's prefix the plugin is found the way the README says.
export QT_PLUGIN_PATH=$root/$libdir/qt6/plugins QT_QPA_PLATFORM=offscreen

# The designer program itself loads the plugin from there (its settings in
# $work, so as not to touch the user's).
designer=$(command -v designer || echo /usr/lib/qt6/bin/designer)
if [ -x "$designer" ]; then
  plugin="$QT_PLUGIN_PATH/designer/libmirel-transitionview-designer.so"
  HOME=$work XDG_CONFIG_HOME=$work/config QT_DEBUG_PLUGINS=1 "$designer" >"$work/designer.log" 2>&1 &
  designer_pid=$!
  for _ in $(seq 1 200); do
    grep -qF "\"$plugin\" loaded library" "$work/designer.log" && break
    kill -0 "$designer_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$designer_pid" 2>/dev/null || true
  wait "$designer_pid" 2>/dev/null || true
  grep -qF "\"$plugin\" loaded library" "$work/designer.log" \
    || { grep -i designer/ "$work/designer.log" >&2; fail "designer does not load $plugin"; }
fi

for face in qt classic; do
  class=QtFaceForm
  [ $face = classic ] && class=ClassicFaceForm
  "$save" "$work/$face.ui" "$work/$face.txt" $class $face || fail "Designer's side, $face face"
  grep -q '<header location="global">mirel/transition_view.h</header>' "$work/$face.ui" \
    || { cat "$work/$face.ui" >&2; fail "the saved form does not name the installed header"; }
done

cmake -S "$source/tests/designer/consumer" -B "$work/consumer" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$root" -DFORM_QT="$work/qt.ui" -DFORM_CLASSIC="$work/classic.ui" >"$work/configure.log" \
  || { cat "$work/configure.log" >&2; fail "configuring the consumer"; }
cmake --build "$work/consumer" -j2 >"$work/build.log" 2>&1 \
  || { cat "$work/qt.ui" "$work/classic.ui" "$work/build.log" >&2; fail "building the forms with uic"; }
if grep -q 'warning' "$work/build.log"; then cat "$work/build.log" >&2; fail "the forms build with warnings"; fi
grep -q '#include <mirel/transition_view.h>' "$work/consumer/ui_designer_form_qt.h" \
  || fail "uic does not include <mirel/transition_view.h>"

timeout 60 "$work/consumer/designer_form_consumer" "$work/qt.ui" "$work/qt.txt" "$work/classic.ui" "$work/classic.txt" \
  || { cat "$work/qt.ui" "$work/classic.ui" >&2; fail "the application's view of the forms"; }
echo "designer_roundtrip: all checks passed"
