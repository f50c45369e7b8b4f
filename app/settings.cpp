#include "app/settings.h"

#include "app/messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>

#include <cstdio>

#include <limits>

namespace mirel {

TRegistry::TRegistry(QString configHome) : configHome_(std::move(configHome)) {}

TRegistry::~TRegistry() = default;

QString TRegistry::DefaultConfigHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    return xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : xdg;
}

QString TRegistry::KeyFile(const QString& key) const
{
    QString path = key;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return configHome_ + QLatin1Char('/') + path + QStringLiteral(".ini");
}

bool TRegistry::KeyExists(const QString& key) const
{
    const QFileInfo file(KeyFile(key));
    return file.isFile() && file.isReadable();
}

bool TRegistry::OpenKey(const QString& key, bool canCreate)
{
    CloseKey();
    path_ = KeyFile(key);
    const QFileInfo file(path_);
    const QString folder = file.path();
    if (canCreate && !file.exists())
        QDir().mkpath(folder);
    // Values are written to a new file that replaces the key's (see
    // WriteString), which needs a writable folder.
    const QFileInfo folderInfo(folder);
    const bool folderWritable = folderInfo.isDir() && folderInfo.isWritable();
    if (!file.exists()) {
        // Nothing to read yet (a link to nowhere counts as nothing).
        if (!canCreate || !folderWritable)
            return false;
        writable_ = true;
        return true;
    }
    if (!file.isFile() || !file.isReadable())
        return false;
    writable_ = folderWritable && file.isWritable();
    // A settings file is a few lines. Of a huge one only the beginning is
    // read, whole lines of it: QSettings keeps all it reads in memory for
    // the life of the process.
    if (file.size() > MaxKeyFileSize)
        return OpenBeginning();
    settings_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
    return true;
}

void TRegistry::CloseKey()
{
    settings_.reset();
    copy_.reset();
    writable_ = false;
}

bool TRegistry::OpenBeginning()
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray head = file.read(MaxKeyFileSize);
    if (const qsizetype end = head.lastIndexOf('\n'); end >= 0)
        head.truncate(end + 1);
    copy_ = std::make_unique<QTemporaryFile>();
    if (!copy_->open() || copy_->write(head) != head.size() || !copy_->flush()) {
        copy_.reset();
        return false;
    }
    settings_ = std::make_unique<QSettings>(copy_->fileName(), QSettings::IniFormat);
    return true;
}

bool TRegistry::Replace(const QString& name, const QString& value)
{
    // The values so far and the new one go to a fresh file beside the key's,
    // which then takes its place: a reader never sees half a file, and a
    // link at the key's place is replaced, never written through.
    QTemporaryFile temp(QFileInfo(path_).path() + QStringLiteral("/.mirel12-XXXXXX.ini"));
    temp.setAutoRemove(false);
    if (!temp.open())
        return false;
    const QString tempPath = temp.fileName();
    temp.close();
    bool ok;
    {
        QSettings next(tempPath, QSettings::IniFormat);
        if (settings_) {
            const QStringList keys = settings_->childKeys();
            for (const QString& key : keys)
                next.setValue(key, settings_->value(key));
        }
        const QString existing = settings_ ? FindName(name) : QString();
        next.setValue(existing.isEmpty() ? name : existing, value);
        next.sync();
        ok = next.status() == QSettings::NoError;
    }
    if (ok)
        ok = ::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(path_).constData()) == 0;
    if (!ok) {
        QFile::remove(tempPath);
        return false;
    }
    settings_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
    copy_.reset();
    return true;
}

QString TRegistry::FindName(const QString& name) const
{
    // Top-level keys of an INI file are those under [General].
    const QStringList keys = settings_->childKeys();
    for (const QString& key : keys)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return key;
    return {};
}

QString TRegistry::ReadString(const QString& name) const
{
    if (!settings_)
        return {};
    const QString key = FindName(name);
    if (key.isEmpty())
        return {};
    const QVariant value = settings_->value(key);
    // An unquoted comma in a hand-written value makes QSettings read a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void TRegistry::WriteString(const QString& name, const QString& value)
{
    const auto fail = [&] { throw TShowError(QStringLiteral("Failed to set data for '%1'").arg(name)); };
    if (!writable_ || !Replace(name, value))
        fail();
}

int32_t StrToInt(const QString& text)
{
    const auto fail = [&] { throw TShowError(QStringLiteral("'%1' is not a valid integer value").arg(text)); };
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        negative = text[i++] == QLatin1Char('-');
    int base = 10;
    if (i < n && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0') && (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i == n)
        fail();
    const int64_t limit = negative ? -int64_t(std::numeric_limits<int32_t>::min()) : std::numeric_limits<int32_t>::max();
    int64_t value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int d = -1;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = 10 + (c - u'a');
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = 10 + (c - u'A');
        if (d < 0)
            fail();
        value = value * base + d;
        if (value > limit)
            fail();
    }
    return int32_t(negative ? -value : value);
}

} // namespace mirel
