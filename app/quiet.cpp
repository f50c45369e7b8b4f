#include "app/quiet.h"

#include <QtGlobal>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace mirel {

namespace {

bool Debugging = false;

void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    // The display checked before start-up can still be gone when Qt
    // connects (a server that was ending): that is no crash, and no
    // reinstall helps.
    if (type == QtFatalMsg && message.contains(QLatin1String("no Qt platform plugin could be initialized"))) {
        std::fputs("mirel-show: no display: the window system could not be reached\n", stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (!Debugging && type != QtFatalMsg)
        return;
    std::fprintf(stderr, "mirel-show: qt: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

void InstallQuietOutput()
{
    Debugging = !qEnvironmentVariableIsEmpty("MIREL_SHOW_DEBUG");
    qInstallMessageHandler(QuietHandler);
}

} // namespace mirel
