// Writes Kdenlive's description of the frei0r mixer, the file that puts the
// transitions in its list of compositions: the style as a list of the
// catalogue's names, progress running from the first clip to the second over
// the composition (a switch turns it round, as Kdenlive's own Wipe has), the
// band width, playing backwards and the seed of the random styles.
//
//   mirel-kdenlive-xml OUT.xml
//
// Kdenlive splits a list's displayed names at commas and its values at
// semicolons; the values are the style numbers, so a renamed style keeps its
// projects. A name that would split, or need escaping in the XML, is refused
// here rather than shifting every name after it in the editor.
#include "effects/catalogue.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mirel-kdenlive-xml OUT.xml\n");
        return 2;
    }
    std::string values, names;
    for (int style = 1; style <= mirel::MaxShowStyle; ++style) {
        const std::string_view name = mirel::StyleName(style);
        if (name.find_first_of(",;&<>\"") != std::string_view::npos) {
            std::fprintf(stderr, "mirel-kdenlive-xml: style %d's name has one of ,;&<>\" which the list cannot carry\n",
                         style);
            return 1;
        }
        values += (style > 1 ? ";" : "") + std::to_string(style);
        names += (style > 1 ? "," : "") + std::string(name);
    }

    std::ofstream out(argv[1], std::ios::trunc);
    out << R"(<?xml version="1.0"?>
<!DOCTYPE kpartgui>
<transition tag="frei0r.mirel" id="frei0r.mirel">
    <name>Mirel</name>
    <description>150 transitions from one clip to the other: reveals, sweeps, bars, shreds, blinds, pushes, a fade, pivots, speckles and rotating shapes.</description>
    <author>Mirel</author>
    <parameter type="list" name="style" default="84" paramlist=")"
        << values << R"(">
        <paramlistdisplay>)"
        << names << R"(</paramlistdisplay>
        <name>Style</name>
    </parameter>
    <parameter type="switch" name="progress" default="0=0;-1=1" min="0=0;-1=1" max="0=1;-1=0">
        <name>Revert</name>
        <comment>From the upper track's clip to the lower's</comment>
    </parameter>
    <parameter type="double" name="step" default="4" min="1" max="100" factor="100">
        <name>Band width</name>
        <comment>Width of the bands some styles draw in, in percent of the picture</comment>
    </parameter>
    <parameter type="bool" name="reverse" default="0">
        <name>Play backwards</name>
        <comment>The first clip leaves the way the second would have come in</comment>
    </parameter>
    <parameter type="double" name="seed" default="0" min="0" max="9999" decimals="0">
        <name>Seed</name>
        <comment>Other shapes for the shreds and speckles</comment>
    </parameter>
</transition>
)";
    out.close();
    if (!out) {
        std::fprintf(stderr, "mirel-kdenlive-xml: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
