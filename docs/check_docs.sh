#!/usr/bin/env bash
# The API reference as its reader finds it: built by the docs target, with
# nothing of the installed headers left undocumented and no doxygen warning,
# signals and slots in sections of their own (not among the member
# functions), briefs that end where their sentence ends, and the page of
# the 150 styles with a preview of each.
# usage: check_docs.sh BUILD_DIR
set -euo pipefail
build=$1
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --build "$build" --target docs >"$build/docs/check.log" 2>&1 || { cat "$build/docs/check.log" >&2; fail "the docs target"; }
docs=$build/docs
# Doxyfile-undocumented writes no output, which doxygen remarks on.
if grep -v 'No output formats selected' "$docs/undocumented.log" | grep .; then fail "undocumented members"; fi
if grep . "$docs/warnings.log"; then fail "doxygen warns"; fi

page=$docs/html/classmirel_1_1TCustomTransitionView.html
for section in signals pub-slots properties pub-static-methods; do
  grep -q "name=\"$section\"" "$page" || fail "the class page has no section $section"
done
# Each section's member list runs to the next section's header.
section_of() { awk -v id="$2" '/class="groupheader"/ { on = index($0, "name=\"" id "\"") > 0 } on' "$page" | grep -c "$1" || true; }
[ "$(section_of '>completed<' signals)" -ge 1 ] || fail "completed() is not among the signals"
[ "$(section_of '>completed<' pub-methods)" -eq 0 ] || fail "completed() is among the public member functions"
[ "$(section_of '>setTransitionStyle<' pub-slots)" -ge 1 ] || fail "setTransitionStyle() is not among the slots"
# A brief cut at a dot inside its sentence ends in " ." or a lone word.
if grep -oE 'class="mdescRight">[^<]*' "$page" "$docs/html/classmirel_1_1TTransitionView.html" \
     | grep -E ' \. *$| (e\.g|i\.e)\. *$'; then
  fail "briefs cut mid-sentence"
fi

styles=$docs/html/styles.html
[ "$(grep -c 'background:url(contact-sheet.png)' "$styles")" = 150 ] || fail "the styles page does not preview 150 styles"
grep -q '<td>84</td><td>Circular reveal from centre</td>' "$styles" || fail "the styles page does not name style 84"
[ -e "$docs/html/contact-sheet.png" ] || fail "the contact sheet is not beside the styles page"
echo "check_docs: all checks passed"
