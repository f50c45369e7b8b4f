// Feeds arbitrary bytes to the show's settings reader as its INI file: open
// the key, read the show's values and every other one, convert them as the
// show does, write one value and read it back. Anything but TShowError from
// the conversion is a fault, and so is a write that does not read back.
#include "app/messages.h"
#include "app/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct TFixture {
    TFixture()
    {
        static int argc = 1;
        static char name[] = "fuzz_settings";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
        if (!dir.isValid())
            std::abort();
    }
    // A folder of its own for each input, the last one's removed: QSettings
    // caches what it parsed per file name and trusts a file of the same size
    // and time stamp, which two inputs written within a millisecond can share.
    QString NextFolder()
    {
        if (!folder.isEmpty())
            QDir(folder).removeRecursively();
        folder = dir.filePath(QString::number(++runs));
        if (!QDir().mkpath(folder + QStringLiteral("/software")))
            std::abort();
        return folder;
    }
    std::unique_ptr<QCoreApplication> app;
    QTemporaryDir dir;
    QString folder; // always inside dir once set
    uint64_t runs = 0;
};

void Convert(const QString& text)
{
    try {
        mirel::StrToInt(text);
    } catch (const mirel::TShowError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFixture fixture;
    const QString key = QStringLiteral("software\\mirel12");
    mirel::TRegistry reg(fixture.NextFolder());
    {
        QFile file(reg.KeyFile(key));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    if (!reg.KeyExists(key) || !reg.OpenKey(key, false))
        std::abort();
    Convert(reg.ReadString(QStringLiteral("reg_showpause")));
    reg.ReadString(QStringLiteral("reg_photodir"));
    Convert(reg.ReadString(QStringLiteral("reg_phototarget")));
    bool malformed = false;
    {
        const QSettings raw(reg.KeyFile(key), QSettings::IniFormat);
        malformed = raw.status() == QSettings::FormatError;
        for (const QString& name : raw.allKeys())
            Convert(reg.ReadString(name));
    }
    try {
        reg.WriteString(QStringLiteral("reg_Showpause"), QStringLiteral("8"));
    } catch (const mirel::TShowError&) {
        // The file is ours and writable: the write fails only where Qt's own
        // writer finds the file malformed, tried here on a copy of the input.
        const QString scratch = fixture.folder + QStringLiteral("/scratch.ini");
        {
            QFile file(scratch);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                std::abort();
            file.write(reinterpret_cast<const char*>(data), qint64(size));
        }
        QSettings copy(scratch, QSettings::IniFormat);
        copy.setValue(QStringLiteral("reg_Showpause"), QStringLiteral("8"));
        copy.sync();
        if (!malformed && copy.status() != QSettings::FormatError)
            std::abort();
        reg.CloseKey();
        return 0;
    }
    reg.CloseKey();
    // Read back from the file itself, through a copy under a name QSettings
    // has never seen: its cache of parsed files trusts a file whose size and
    // time stamp look unchanged, and a rewrite within the same millisecond
    // can look so.
    const QString check = fixture.folder + QStringLiteral("/check.ini");
    if (!QFile::copy(reg.KeyFile(key), check))
        std::abort();
    const QSettings written(check, QSettings::IniFormat);
    QString value;
    for (const QString& name : written.childKeys())
        if (name.compare(QStringLiteral("REG_SHOWPAUSE"), Qt::CaseInsensitive) == 0) {
            value = written.value(name).toString();
            break;
        }
    if (value != QStringLiteral("8"))
        std::abort();
    return 0;
}
