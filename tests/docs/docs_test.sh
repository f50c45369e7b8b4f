#!/usr/bin/env bash
# Builds the API reference as a user would (the docs target) and checks that
# its main pages are there: the start page, the class list and the pages of
# the widget's classes. Every doxygen warning about the installed headers
# (members or classes left undocumented, broken commands) is listed; with
# --strict any of them fails the test.
# usage: docs_test.sh BUILD_DIR [--strict]
set -euo pipefail
build=$1 strict=${2:-}
fail() { echo "FAILED: $*" >&2; exit 1; }

out=$build/docs
log=$(mktemp)
trap 'rm -f "$log"' EXIT
cmake --build "$build" --target docs >"$log" 2>&1 || { cat "$log" >&2; fail "building the docs target"; }

for page in index.html annotated.html classmirel_1_1TTransitionView.html \
            classmirel_1_1TCustomTransitionView.html; do
  [ -s "$out/html/$page" ] || fail "no page $page"
done
grep -q 'Execute' "$out/html/classmirel_1_1TCustomTransitionView.html" \
  || fail "the class page of TCustomTransitionView does not list Execute"
grep -q 'mirel/transition_view.h\|find_package(Mirel' "$out/html/index.html" \
  || fail "the start page is not the project's own"

# Doxygen's warnings (broken commands, unknown parameters) and what is
# public but undocumented, both about the installed headers.
warnings=$(grep -c 'warning:' "$out/warnings.log" || true)
undocumented=$(grep -c 'is not documented' "$out/undocumented.log" || true)
for f in warnings undocumented; do
  if grep -q 'warning:' "$out/$f.log"; then
    echo "doxygen, $f.log:"
    sed -n "s|$out/stage/include/||; 1,30p" "$out/$f.log"
  fi
done
echo "docs: the API reference builds; $warnings warnings, $undocumented public declarations undocumented"
if [ "$strict" = --strict ] && [ $((warnings + undocumented)) -gt 0 ]; then
  fail "the installed headers are not fully documented"
fi
