#include "app/settings.h"

#include "app/messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

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
    const QString path = KeyFile(key);
    if (canCreate && !QFileInfo::exists(path)) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.close();
    }
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable())
        return false;
    writable_ = file.isWritable();
    settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
    return true;
}

void TRegistry::CloseKey()
{
    settings_.reset();
    writable_ = false;
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
    if (!settings_ || !writable_)
        fail();
    const QString existing = FindName(name);
    settings_->setValue(existing.isEmpty() ? name : existing, value);
    settings_->sync();
    if (settings_->status() != QSettings::NoError)
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
