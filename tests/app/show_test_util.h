// Helpers for the show's tests: private folders for each test, captured
// message boxes, small files.
#pragma once

#include "app/messages.h"
#include "app/staging.h"
#include "app/unit1.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <utility>
#include <vector>

// Readable failures for Qt strings and lists of them.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace mirel::test {

// The bytes of built-in picture n.
inline QByteArray Resource(int n)
{
    return ReadResource(QStringLiteral("SRC%1").arg(n), QStringLiteral("JPEG"));
}

inline QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void WriteAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

struct TBox {
    TMessageKind Kind;
    QString Text;
};

// Records every message box instead of showing it.
class TBoxCapture {
public:
    TBoxCapture()
    {
        SetMessageHook([this](TMessageKind kind, const QString& text) { Boxes.push_back({kind, text}); });
    }
    ~TBoxCapture() { SetMessageHook({}); }

    std::vector<TBox> Boxes;
};

// A show living in a temporary folder: the executable's folder "bin", the
// settings in "config", the cache in "cache", and a title no other test uses.
class ShowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Tmp.isValid());
        Places.ExeFolder = Tmp.path() + QStringLiteral("/bin");
        Places.ConfigHome = Tmp.path() + QStringLiteral("/config");
        Places.CacheHome = Tmp.path() + QStringLiteral("/cache");
        Places.Title = QStringLiteral("mirel-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++Serial);
        QDir().mkpath(Places.ExeFolder);
    }

    QString Staged(const QString& name = {}) const { return Places.ExeFolder + QStringLiteral("/mirel/") + name; }
    QString SettingsFile() const { return Places.ConfigHome + QStringLiteral("/software/mirel12.ini"); }

    void WriteSettings(const QByteArray& ini) { WriteAll(SettingsFile(), ini); }

    std::unique_ptr<TForm1> Start() { return std::make_unique<TForm1>(Places); }

    QTemporaryDir Tmp;
    TShowPlaces Places;
    TBoxCapture Capture;

private:
    static inline int Serial = 0;
};

} // namespace mirel::test
