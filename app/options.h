// The command line of mirel-show.
//
// Without arguments the program is the slide show of its thirteen built-in
// pictures. With arguments it shows the user's own pictures:
//
//   mirel-show [OPTIONS] FOLDER|FILE...
//
// Options may come before, between or after the paths; "--" ends them.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace mirel {

struct TShowOptions {
    QStringList Paths;         // folders and files, as given
    bool Recursive = false;    // -r: the pictures of sub-folders too
    bool Shuffle = false;      // --shuffle: a random order instead of name order
    std::vector<int> Styles;   // --style: the styles to draw from (all 150 when empty)
    int PauseMs = 8000;        // --pause: between one picture's arrival and the next
    bool Keys = false;         // --keys: viewer keys instead of "any input ends"
    bool Root = false;         // --root: on the root window
    uint64_t WindowId = 0;     // --window-id (or XSCREENSAVER_WINDOW): into that window
};

struct TParsedCommandLine {
    enum TAction { Show, ShowBuiltIn, Help, Version, Fail } Action = ShowBuiltIn;
    TShowOptions Options;
    QString Error; // for Fail: one line, without the program's name
};

// args without the program name. environmentWindow is the value of
// XSCREENSAVER_WINDOW (empty when unset), which stands for --window-id.
TParsedCommandLine ParseCommandLine(const QStringList& args, const QString& environmentWindow = {});

// path with a leading "~" or "~user" replaced by that home folder, as a
// shell would have done: screen savers start their modules without one.
QString ExpandTilde(const QString& path);

// A list of styles: numbers 1..150 and ranges "A-B", separated by commas,
// e.g. "1-12,51,100-150". Empty on any error.
std::vector<int> ParseStyleList(const QString& text);

QString HelpText();
QString VersionText();

} // namespace mirel
