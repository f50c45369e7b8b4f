#include "app/options.h"

#include <QDir>

#include <cmath>

#include <pwd.h>

namespace mirel {

namespace {

constexpr int StyleCount = 150;

// Seconds as a decimal number, 0.1 at least, up to a day.
bool ParsePause(const QString& text, int& ms)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0.1 || seconds > 86400)
        return false;
    ms = int(std::lround(seconds * 1000));
    return true;
}

bool ParseWindowId(const QString& text, uint64_t& id)
{
    bool ok = false;
    // Decimal, or hexadecimal with 0x as xwininfo prints it.
    id = text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive) ? text.mid(2).toULongLong(&ok, 16)
                                                                      : text.toULongLong(&ok, 10);
    return ok && id != 0;
}

} // namespace

QString ExpandTilde(const QString& path)
{
    if (!path.startsWith(QLatin1Char('~')))
        return path;
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    const QString user = path.mid(1, slash < 0 ? -1 : slash - 1);
    QString home;
    if (user.isEmpty()) {
        home = QDir::homePath();
    } else if (const passwd* entry = ::getpwnam(user.toLocal8Bit().constData())) {
        home = QString::fromLocal8Bit(entry->pw_dir);
    } else {
        return path; // no such user: a name that merely starts with "~"
    }
    return slash < 0 ? home : home + path.mid(slash);
}

std::vector<int> ParseStyleList(const QString& text)
{
    std::vector<int> styles;
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString& part : parts) {
        const QStringList ends = part.trimmed().split(QLatin1Char('-'));
        if (ends.size() > 2)
            return {};
        bool okFirst = false, okLast = false;
        const int first = ends[0].toInt(&okFirst);
        const int last = ends.size() == 2 ? ends[1].toInt(&okLast) : (okLast = okFirst, first);
        if (!okFirst || !okLast || first < 1 || last > StyleCount || first > last)
            return {};
        for (int s = first; s <= last; ++s)
            styles.push_back(s);
    }
    return styles;
}

TParsedCommandLine ParseCommandLine(const QStringList& args, const QString& environmentWindow)
{
    TParsedCommandLine result;
    TShowOptions& o = result.Options;
    const auto fail = [&](const QString& error) {
        result.Action = TParsedCommandLine::Fail;
        result.Error = error;
        return result;
    };
    bool optionsEnded = false;
    bool any = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            o.Paths << ExpandTilde(arg);
            continue;
        }
        any = true;
        // --name=value is --name value.
        QString value;
        bool hasValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg.truncate(arg.indexOf(QLatin1Char('=')));
            hasValue = true;
        }
        const auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= args.size())
                return false;
            value = args[++i];
            return true;
        };
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            result.Action = TParsedCommandLine::Help;
            return result;
        } else if (arg == QLatin1String("-V") || arg == QLatin1String("--version")) {
            result.Action = TParsedCommandLine::Version;
            return result;
        } else if (arg == QLatin1String("-r") || arg == QLatin1String("--recursive")) {
            o.Recursive = true;
        } else if (arg == QLatin1String("--shuffle")) {
            o.Shuffle = true;
        } else if (arg == QLatin1String("--keys")) {
            o.Keys = true;
        } else if (arg == QLatin1String("--root") || arg == QLatin1String("-root")) {
            // "-root" as screen savers' configurations write it.
            o.Root = true;
        } else if (arg == QLatin1String("--style")) {
            if (!takeValue())
                return fail(QStringLiteral("--style needs a list of styles, e.g. 1-12,51"));
            o.Styles = ParseStyleList(value);
            if (o.Styles.empty())
                return fail(QStringLiteral("'%1' is not a list of styles from 1 to 150, e.g. 1-12,51").arg(value));
        } else if (arg == QLatin1String("--pause")) {
            if (!takeValue())
                return fail(QStringLiteral("--pause needs a number of seconds"));
            if (!ParsePause(value, o.PauseMs))
                return fail(QStringLiteral("'%1' is not a pause in seconds from 0.1 to 86400").arg(value));
        } else if (arg == QLatin1String("--window-id")) {
            if (!takeValue())
                return fail(QStringLiteral("--window-id needs a window id"));
            if (!ParseWindowId(value, o.WindowId))
                return fail(QStringLiteral("'%1' is not a window id").arg(value));
        } else {
            return fail(QStringLiteral("unknown option '%1' (see --help)").arg(args[i]));
        }
        if (hasValue && arg != QLatin1String("--style") && arg != QLatin1String("--pause")
            && arg != QLatin1String("--window-id"))
            return fail(QStringLiteral("option '%1' takes no value").arg(arg));
    }
    // A saver's settings preview adds --window-id to the line that also
    // runs it full screen with --root: the window named wins.
    if (o.WindowId != 0)
        o.Root = false;
    // A screen saver names its window in the environment; it stands for the
    // root window too, which the saver may have covered with its own.
    if (o.WindowId == 0 && !environmentWindow.isEmpty() && !o.Paths.isEmpty()) {
        if (!ParseWindowId(environmentWindow.trimmed(), o.WindowId))
            return fail(QStringLiteral("XSCREENSAVER_WINDOW '%1' is not a window id").arg(environmentWindow));
        o.Root = false;
    }
    if (o.Paths.isEmpty()) {
        if (any)
            return fail(QStringLiteral("no folder or picture given (see --help)"));
        result.Action = TParsedCommandLine::ShowBuiltIn;
        return result;
    }
    result.Action = TParsedCommandLine::Show;
    return result;
}

QString HelpText()
{
    return QStringLiteral(
        "Usage: mirel-show [OPTIONS] FOLDER|FILE...\n"
        "       mirel-show\n"
        "\n"
        "A full-screen slide show with animated transitions. Without arguments it\n"
        "shows its thirteen built-in pictures. Given folders and files, it shows\n"
        "those pictures (JPEG, PNG, BMP, ICO, WebP), each fitted to the screen on\n"
        "black, in natural name order. Any key, mouse button or a large mouse move\n"
        "ends the show, and so do SIGTERM, SIGINT and SIGHUP.\n"
        "\n"
        "Options:\n"
        "  -r, --recursive     also show the pictures in sub-folders\n"
        "      --shuffle       show the pictures in a random order\n"
        "      --style LIST    draw transitions from these styles only: numbers\n"
        "                      1 to 150 and ranges, e.g. 1-12,51 (default: all)\n"
        "      --pause SECONDS time each picture stays (default 8; e.g. 2.5)\n"
        "      --keys          viewer keys: Right/Left next/previous picture,\n"
        "                      Space pause, Esc or q quit; other input is ignored\n"
        "      --root          draw on the root window, or on XSCREENSAVER_WINDOW\n"
        "                      when a screen saver sets it\n"
        "      --window-id ID  draw into the window ID (decimal or 0x...), as a\n"
        "                      screen saver module, even with --root;\n"
        "                      XSCREENSAVER_WINDOW gives it too. Input is then\n"
        "                      left to the saver; the show ends on SIGTERM or\n"
        "                      when the window is destroyed, and follows the\n"
        "                      window's size.\n"
        "  -h, --help          print this help and exit\n"
        "  -V, --version       print the version and exit\n"
        "\n"
        "Environment: MIREL_SHOW_DEBUG=1 writes Qt's own messages to standard error.\n"
        "Exit status: 0 when the show ended normally (by input or a signal), 1 with\n"
        "no display or when no picture could be shown, 2 for a wrong command line\n"
        "or when no picture was found.\n");
}

QString VersionText()
{
    return QStringLiteral("mirel-show " MIREL_VERSION "\n");
}

} // namespace mirel
