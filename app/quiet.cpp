#include "app/quiet.h"

#include <QtGlobal>
#include <QString>

#include <cstdio>

namespace mirel {

namespace {

bool Debugging = false;

void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
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
