# Writes the page of the 150 styles (OUT) from the catalogue as
# `mirel-render --list` prints it (RENDER), each with its preview: its cell
# of the contact sheet, which the page shows through a window onto the
# sheet, 160 x 120 pixels in columns of ten, a label of 16 and a gap of 4
# (tools/render/sheet_and_bench.cpp draws it so).
execute_process(COMMAND ${RENDER} --list OUTPUT_VARIABLE list RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${RENDER} --list failed")
endif()
string(REPLACE "\n" ";" lines "${list}")
set(rows "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^([0-9]+)\t(.+)$")
    continue()
  endif()
  set(style ${CMAKE_MATCH_1})
  set(name ${CMAKE_MATCH_2})
  if(style EQUAL 0)
    continue()
  endif()
  math(EXPR x "4 + ((${style} - 1) % 10) * 164")
  math(EXPR y "4 + ((${style} - 1) / 10) * 140 + 16")
  string(APPEND rows "<tr><td>${style}</td><td>${name}</td><td><div style=\"width:160px;height:120px;"
                     "background:url(contact-sheet.png) -${x}px -${y}px\"></div></td></tr>\n")
endforeach()
file(WRITE ${OUT} "# Transition styles {#styles}

The 150 styles of the catalogue, each at 40 % of its transition from the
striped picture to the ringed one. Choose one by number
(`setTransitionStyle(84)`, the `style` property) or by name, in any case
(`setStyleName(\"Circular reveal from centre\")`); style 0 draws each frame
through `OnCustomDraw`. mirel::TCustomTransitionView::styleNames() lists the
names in this order, for a combo box.

\\htmlonly
<table class=\"doxtable\"><tr><th>Style</th><th>Name</th><th>At 40 %</th></tr>
${rows}</table>
\\endhtmlonly
")
