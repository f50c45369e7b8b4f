#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR) and uses it as an
# outsider would: the files are where they belong, the public headers compile
# without the private libraries, the library exports only its surface, the
# man pages format and list every option, mirel-render finds its video
# module, the OBS module is where OBS looks, and an example project finds the
# package with CMake, builds, and plays one transition.
# usage: install_test.sh BUILD_DIR SOURCE_DIR MIREL_RENDER
set -euo pipefail
build=$1 source=$2 render=$3
prefix=/opt/mirel
stage=$(mktemp -d /tmp/mirel-install-test.XXXXXX)
trap 'rm -rf "$stage"' EXIT
root=$stage$prefix
fail() { echo "FAILED: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >"$stage/install.log" \
  || { cat "$stage/install.log" >&2; fail "cmake --install"; }

libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$libdir" ] || libdir=lib
for f in bin/mirel-show bin/mirel-render \
         "$libdir/libmirel-transitionview.so" "$libdir/libmirel-transitionview.so.0" \
         "$libdir/cmake/Mirel/MirelConfig.cmake" "$libdir/cmake/Mirel/MirelConfigVersion.cmake" \
         "$libdir/cmake/Mirel/MirelTargets.cmake" "$libdir/pkgconfig/mirel-transitionview.pc" \
         include/mirel/transition_view.h include/mirel/errors.h \
         share/man/man1/mirel-show.1 share/man/man1/mirel-render.1 \
         share/applications/mirel-show.desktop share/applications/mirel-show-pictures.desktop share/icons/hicolor/scalable/apps/mirel-show.svg; do
  [ -e "$root/$f" ] || fail "not installed: $f"
done
# The frei0r plugin, and beside the prefix's data its description for
# Kdenlive's list of compositions.
frei0r_dir=$(sed -n 's/^MIREL_FREI0R_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
for f in "$frei0r_dir/mirel.so" share/kdenlive/transitions/frei0r_mirel.xml; do
  [ -e "$root/$f" ] || fail "not installed: $f"
done

# The OBS Studio module, where it was built: in its plugin folder, its data
# in a folder named after it (OBS finds the one by the other), and nothing
# exported but OBS's entry points.
if [ -e "$build/plugins/obs/mirel-obs.so" ]; then
  obs_plugins=$(sed -n 's/^MIREL_OBS_PLUGIN_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
  obs_data=$(sed -n 's/^MIREL_OBS_DATA_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
  for f in "$obs_plugins/mirel-obs.so" "$obs_data/locale/en-US.ini"; do
    [ -e "$root/$f" ] || fail "not installed: $f"
  done
  if nm -D --defined-only "$root/$obs_plugins/mirel-obs.so" | awk '{print $3}' | grep -v '^obs_module_'; then
    fail "the OBS module exports more than its entry points"
  fi
fi

# Every include of mirel's own of an installed header is installed too, and
# none of them reaches the private libraries.
headers=$(cd "$root/include/mirel" && find . -name '*.h' | sed 's|^\./||')
for h in $headers; do
  for inc in $(sed -n 's/^#include [<"]\(mirel\/.*\)[>"]/\1/p' "$root/include/mirel/$h"); do
    [ -e "$root/include/$inc" ] || fail "$h includes $inc, which is not installed"
  done
  if grep -n '^#include "' "$root/include/mirel/$h"; then fail "$h includes a header by a path of the source tree"; fi
done
# The installed headers show the interface, not the machinery behind it.
if grep -nE '<(mutex|atomic|condition_variable|thread)>|std::(recursive_)?mutex|std::atomic|__tsan|QEvent::User|WM_[A-Z]' \
     "$root"/include/mirel/*.h; then
  fail "an installed header reveals locks, atomics, sanitizer hooks or internal events"
fi
if grep -rnE '#include *[<"](pixman|turbojpeg|jpeglib|surface/region|surface/jpeg)' "$root/include"; then
  fail "an installed header includes a private header"
fi

# The exported symbols are the widget's, nothing of pixman or the regions.
nm -DC --defined-only "$root/$libdir/libmirel-transitionview.so" >"$stage/symbols"
if grep -E 'pixman|mirel::TRegion::|vtable for mirel::TRegion| tj[A-Z]' "$stage/symbols"; then
  fail "the library exports private symbols"
fi
grep -q 'mirel::TTransitionView::staticMetaObject' "$stage/symbols" || fail "the library does not export the widget"
# Exactly what the installed headers declare: every exported symbol declared
# there (else it would be ABI no user can see), every function declared out
# of line there exported (else a user's program would not link).
if command -v clang++ >/dev/null; then
  python3 "$source/tests/install/abi_check.py" "$root/$libdir/libmirel-transitionview.so" "$root/include" \
    $(pkg-config --cflags Qt6Widgets) || fail "the exported symbols differ from the installed headers"
else
  echo "clang++ not found: the exported symbols are not compared with the headers"
fi

# The headers compile with what pkg-config gives, which names no private library.
if command -v pkg-config >/dev/null; then
  cflags=$(PKG_CONFIG_PATH=$root/$libdir/pkgconfig pkg-config --cflags mirel-transitionview)
  for std in c++17 c++20; do
    echo '#include <mirel/transition_view.h>' | c++ -std=$std -Wall -Wextra -Werror -fPIC -fsyntax-only $cflags -x c++ - \
      || fail "the headers do not compile as $std with pkg-config --cflags: $cflags"
  done
fi

# The man pages format cleanly, and mirel-render's lists every option of its --help.
if command -v groff >/dev/null; then
  for page in "$root"/share/man/man1/*.1; do
    out=$(groff -man -ww -z "$page" 2>&1) || fail "groff $page"
    [ -z "$out" ] || fail "groff warns on $page: $out"
  done
fi
for opt in $("$render" --help | grep -oE -- '--[a-z-]+' | sort -u); do
  grep -qF -- "$(sed 's/-/\\-/g' <<<"$opt")" "$root/share/man/man1/mirel-render.1" \
    || fail "mirel-render.1 does not describe $opt"
done
desktop-file-validate "$root/share/applications/mirel-show.desktop" \
  "$root/share/applications/mirel-show-pictures.desktop" || fail "desktop entries"


# The installed mirel-render finds its video encoder module where it was
# installed, and a still picture is written without loading FFmpeg.
"$root/bin/mirel-render" --old "$source/resources/01.jpg" --new "$source/resources/02.jpg" --style 51 \
  --size 96x64 --step 25 --out "$stage/clip.mp4" || fail "the installed mirel-render did not write a video"
[ "$(ffprobe -v error -select_streams v -count_frames -show_entries stream=nb_read_frames -of csv=p=0 \
     "$stage/clip.mp4")" = 5 ] || fail "the installed mirel-render's video does not hold its 5 frames"
LD_DEBUG=libs "$root/bin/mirel-render" --old "$source/resources/01.jpg" --new "$source/resources/02.jpg" \
  --style 51 --size 96x64 --progress 50 --out "$stage/still.png" 2>"$stage/still.log" \
  || { cat "$stage/still.log" >&2; fail "the installed mirel-render did not write a still"; }
if grep -E 'calling init: .*lib(avcodec|avformat|avfilter|swscale)' "$stage/still.log"; then
  fail "a still loads FFmpeg"
fi
# Without its module, a video is refused in one line and nothing is left behind.
mv "$root/$libdir/mirel/mirel-render-video.so" "$stage/"
if "$root/bin/mirel-render" --old "$source/resources/01.jpg" --new "$source/resources/02.jpg" --style 51 \
     --size 96x64 --step 25 --out "$stage/none.gif" 2>"$stage/none.log"; then
  fail "mirel-render wrote a GIF without its video module"
fi
grep -q 'none.gif: the video encoder cannot be loaded: it is not at ' "$stage/none.log" \
  || { cat "$stage/none.log" >&2; fail "a missing video module is not reported"; }
[ -z "$(ls -A "$stage" | grep none.gif)" ] || fail "a refused GIF left a file behind"
mv "$stage/mirel-render-video.so" "$root/$libdir/mirel/"

# An outside project in C++17: find_package(Mirel), build, one transition offscreen.
cmake -S "$source/examples/transition-view" -B "$stage/example" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$root" >"$stage/configure.log" \
  || { cat "$stage/configure.log" >&2; fail "configuring the example"; }
cmake --build "$stage/example" -j2 >"$stage/build.log" 2>&1 \
  || { cat "$stage/build.log" >&2; fail "building the example"; }
if grep -q 'warning' "$stage/build.log"; then cat "$stage/build.log" >&2; fail "the example builds with warnings"; fi
QT_QPA_PLATFORM=offscreen timeout 60 "$stage/example/transition-view-example" --once \
  || fail "the example did not end its transition with status 0"
# The Qt face from the outside, in C++17: the connects compile as written,
# the fill modes show in a grab, errors reach errorOccurred instead of
# terminating, and a form's widget made by QUiLoader through the installed
# Designer plugin has an invokable load().
cmake -S "$source/tests/install/qt_face" -B "$stage/qt_face" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$root" >"$stage/qt_face_configure.log" \
  || { cat "$stage/qt_face_configure.log" >&2; fail "configuring the Qt face's consumer"; }
cmake --build "$stage/qt_face" -j2 >"$stage/qt_face_build.log" 2>&1 \
  || { cat "$stage/qt_face_build.log" >&2; fail "building the Qt face's consumer"; }
form=
designer_plugins=$(find "$root" -name libmirel-transitionview-designer.so -printf '%h\n' | head -1)
[ -n "$designer_plugins" ] && form=--form
QT_PLUGIN_PATH=${designer_plugins%/designer} QT_QPA_PLATFORM=offscreen timeout 120 "$stage/qt_face/qt_face" $form \
  || fail "the Qt face as an application meets it"
echo "install_package: all checks passed"
