// The show against broken and hostile input: pictures of every bad kind,
// settings files it cannot use, a link planted among the staged pictures, a
// staging folder that is a file and a disk that fills up. Each gives one
// clear message, loses nothing, and the show goes on where it can.
#include "app/settings.h"
#include "app/staging.h"
#include "surface/jpeg.h"
#include "view/picture.h"

#include "show_test_util.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <functional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirel::test {
namespace {

bool IsReadable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK) == 0;
}

// Files may grow to at most limit bytes while it lives; a write beyond
// fails with EFBIG, as on a full disk.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved_;
        small.rlim_cur = limit;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
};

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

class HostileTest : public ShowTest {
protected:
    QString MakeHostilePictures()
    {
        const QString folder = Tmp.path() + QStringLiteral("/hostile");
        QProcess make;
        make.start(QStringLiteral("bash"),
                   {QStringLiteral(MIREL_TESTS_DIR "/make_hostile_pictures.sh"), folder});
        EXPECT_TRUE(make.waitForFinished(60000));
        EXPECT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
        return folder;
    }

    // Every line of every message box, in order.
    QStringList ReportedLines() const
    {
        QStringList lines;
        for (const TBox& box : Capture.Boxes) {
            EXPECT_EQ(box.Kind, TMessageKind::Error);
            lines << box.Text.split(QLatin1Char('\n'));
        }
        return lines;
    }
};

TEST_F(HostileTest, EveryBadPictureIsReportedOnceAndTheShowGoesOn)
{
    const auto form = Start();
    form->TransitionView1->SetManual(true);
    const QString folder = MakeHostilePictures();
    // Listed as good pictures, then swapped before they are loaded: the
    // listing never offers a FIFO or a folder, but a name can change.
    for (const char* name : {"swapped-fifo.jpg", "swapped-folder.jpg", "vanished.jpg"})
        WriteAll(folder + QLatin1Char('/') + QLatin1String(name), Resource(2));

    form->ScanFolder(folder);
    const QStringList listed = form->PictureList;
    EXPECT_FALSE(listed.contains("fifo.jpg"));
    EXPECT_FALSE(listed.contains("folder.jpg"));
    EXPECT_FALSE(listed.contains("good-unlisted.xyz"));
    const QByteArray base = QFile::encodeName(folder + QLatin1Char('/'));
    ASSERT_EQ(::unlink(base + "swapped-fifo.jpg"), 0);
    ASSERT_EQ(::mkfifo(base + "swapped-fifo.jpg", 0644), 0);
    ASSERT_EQ(::unlink(base + "swapped-folder.jpg"), 0);
    ASSERT_EQ(::mkdir(base + "swapped-folder.jpg", 0755), 0);
    ASSERT_EQ(::unlink(base + "vanished.jpg"), 0);

    QSet<QString> good{"good-a.jpg", "good-b.bmp", "good-png-named.jpg", "good-jpeg-named.bmp"};
    if (IsReadable(folder + QStringLiteral("/unreadable.jpg")))
        good << "unreadable.jpg"; // root reads it whatever its mode
    QStringList bad;
    for (const QString& name : listed)
        if (!good.contains(name))
            bad << name;
    ASSERT_GE(bad.size(), 20);

    PictureIndex = 0;
    form->LastShownName.clear();
    QSet<QString> shown;
    for (int tick = 0; tick < 3 * int(listed.size()); ++tick) {
        form->Timer1Timer(nullptr);
        ASSERT_FALSE(form->CurrentName.isEmpty()) << "tick " << tick;
        shown << form->CurrentName;
    }
    EXPECT_EQ(shown, good);

    // One line each, naming the file, however often the cycle came by.
    const QStringList lines = ReportedLines();
    EXPECT_EQ(lines.size(), bad.size()) << lines.join(QLatin1Char('\n')).toStdString();
    for (const QString& name : bad) {
        const QString prefix = folder + QLatin1Char('/') + name + QStringLiteral(": ");
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return l.startsWith(prefix); }), 1)
            << name.toStdString();
    }
    for (const QString& line : lines)
        EXPECT_FALSE(line.endsWith(QStringLiteral(": "))) << "no reason given: " << line.toStdString();
}

// The widget's loader on its own: every bad picture throws TDecodeError
// (nothing else, which a caller catching that would miss) and keeps the
// picture held before. too-tall.bmp, which Qt reads into a picture taller
// than any bitmap, was found by fuzzing.
TEST_F(HostileTest, TheLoaderThrowsOnlyDecodeErrorsAndKeepsItsPicture)
{
    const QString folder = MakeHostilePictures();
    int bad = 0;
    for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString path = folder + QLatin1Char('/') + name;
        if (name.startsWith(QStringLiteral("good-")) || (name == "unreadable.jpg" && IsReadable(path)))
            continue;
        ++bad;
        TPicture picture;
        picture.Assign(TBitmap(5, 6));
        try {
            picture.LoadFromFile(path);
            ADD_FAILURE() << "loaded " << name.toStdString();
        } catch (const TDecodeError& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith(path + QStringLiteral(": "))) << e.what();
        } catch (const std::exception& e) {
            ADD_FAILURE() << name.toStdString() << ": not a TDecodeError: " << e.what();
        }
        EXPECT_EQ(picture.Width(), 5) << name.toStdString();
    }
    EXPECT_GE(bad, 20);
}

TEST_F(HostileTest, AnUnreadablePictureIsReportedUnlessRootReadsIt)
{
    const auto form = Start();
    form->TransitionView1->SetManual(true);
    const QString folder = Tmp.path() + QStringLiteral("/locked");
    WriteAll(folder + QStringLiteral("/a.jpg"), Resource(2));
    WriteAll(folder + QStringLiteral("/b.jpg"), Resource(3));
    ASSERT_EQ(::chmod(QFile::encodeName(folder + QStringLiteral("/b.jpg")).constData(), 0), 0);
    if (IsReadable(folder + QStringLiteral("/b.jpg")))
        GTEST_SKIP() << "running as root: a file of mode 000 is still readable";
    form->ScanFolder(folder);
    PictureIndex = 0;
    for (int tick = 0; tick < 4; ++tick) {
        form->Timer1Timer(nullptr);
        EXPECT_EQ(form->CurrentName, "a.jpg");
    }
    ASSERT_EQ(Capture.Boxes.size(), 1u);
    EXPECT_EQ(Capture.Boxes[0].Text, folder + QStringLiteral("/b.jpg: Permission denied"));
}

class StartUpTest;

struct TStartCase {
    const char* Name;
    std::function<void(StartUpTest&)> Prepare;
    const char* Error; // nullptr: start-up completes
};

class StartUpTest : public HostileTest, public ::testing::WithParamInterface<TStartCase> {
public:
    using ShowTest::SettingsFile;
    using ShowTest::Staged;
    using ShowTest::WriteSettings;
};

// Settings and staging places that start-up cannot use: one message, the
// settings left as they were, and no picture staged after the failure.
TEST_P(StartUpTest, FailsWithOneMessageOrUsesWhatItCan)
{
    GetParam().Prepare(*this);
    const QFileInfo before(SettingsFile());
    const QByteArray settings = before.isFile() ? ReadAll(SettingsFile()) : QByteArray();
    const auto form = Start();
    form->show();
    if (GetParam().Error) {
        ASSERT_EQ(Capture.Boxes.size(), 1u);
        EXPECT_EQ(Capture.Boxes[0].Kind, TMessageKind::Error);
        EXPECT_EQ(Capture.Boxes[0].Text, GetParam().Error);
        EXPECT_TRUE(form->PictureList.isEmpty());
        EXPECT_FALSE(form->Timer1.Active());
        form->Timer1Timer(nullptr);
        EXPECT_EQ(Capture.Boxes.size(), 1u);
    } else {
        EXPECT_TRUE(Capture.Boxes.empty()) << Capture.Boxes[0].Text.toStdString();
        EXPECT_EQ(form->PictureList.size(), 13);
    }
    if (before.isFile()) {
        EXPECT_EQ(ReadAll(SettingsFile()), settings);
    }
    form->close();
}

QByteArray Garbage(qsizetype size)
{
    QByteArray bytes(size, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, StartUpTest,
    ::testing::Values(
        TStartCase{"Garbage", [](StartUpTest& t) { t.WriteSettings(Garbage(4096)); }, "'' is not a valid integer value"},
        TStartCase{"Huge",
                   [](StartUpTest& t) {
                       QByteArray ini = "[General]\nreg_showpause=3\nreg_phototarget=1\n";
                       ini += Garbage(50 << 20);
                       t.WriteSettings(ini);
                   },
                   nullptr},
        TStartCase{"HugeValid",
                   [](StartUpTest& t) {
                       QByteArray ini = "[General]\nreg_showpause=3\nreg_phototarget=1\n";
                       for (int i = 0; ini.size() < (50 << 20); ++i)
                           ini += "filler" + QByteArray::number(i) + "=" + QByteArray(200, 'x') + "\n";
                       t.WriteSettings(ini);
                   },
                   nullptr},
        TStartCase{"MissingTarget", [](StartUpTest& t) { t.WriteSettings("[General]\nreg_showpause=3\n"); },
                   "'' is not a valid integer value"},
        TStartCase{"EmptyFile", [](StartUpTest& t) { t.WriteSettings(""); }, "'' is not a valid integer value"},
        TStartCase{"ReadOnly",
                   [](StartUpTest& t) {
                       t.WriteSettings("[General]\nreg_showpause=3\nreg_phototarget=1\n");
                       ::chmod(QFile::encodeName(t.SettingsFile()).constData(), 0444);
                   },
                   nullptr},
        TStartCase{"FolderInPlace", [](StartUpTest& t) { QDir().mkpath(t.SettingsFile()); },
                   "Failed to set data for 'reg_Showpause'"},
        TStartCase{"StagingFolderIsAFile",
                   [](StartUpTest& t) {
                       t.WriteSettings("[General]\nreg_showpause=3\nreg_phototarget=1\n");
                       WriteAll(t.Staged().chopped(1), "a file in the folder's place");
                   },
                   "I/O error 17"}),
    [](const ::testing::TestParamInfo<TStartCase>& info) { return info.param.Name; });

// With the real boxes: a report does not wait for the user, so the cycle
// goes on under it (a timer does not fire again while its handler waits).
TEST_F(HostileTest, AReportDoesNotStopTheCycle)
{
    WriteSettings("[General]\nreg_showpause=3\nreg_phototarget=1\n");
    const auto form = Start();
    form->TransitionView1->SetManual(true);
    const QString folder = Tmp.path() + QStringLiteral("/pictures");
    WriteAll(folder + QStringLiteral("/a.jpg"), Resource(2));
    WriteAll(folder + QStringLiteral("/b.jpg"), "broken");
    WriteAll(folder + QStringLiteral("/c.jpg"), Resource(3));
    form->ScanFolder(folder);
    PictureIndex = 0;
    form->LastShownName.clear();
    SetMessageHook({});
    form->Timer1.SetInterval(20);
    form->Timer1.SetEnabled(true);
    QStringList shown;
    form->Timer1.OnTimer = [&](QObject* sender) {
        form->Timer1Timer(sender);
        shown << form->CurrentName;
    };
    // Ten ticks take 200 ms on a quiet machine; slow builds on a busy one
    // may take several seconds.
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.size() >= 10; }, 20000)) << shown.size() << " ticks";
    form->Timer1.SetEnabled(false);
    EXPECT_EQ(QSet<QString>(shown.begin(), shown.end()), (QSet<QString>{"a.jpg", "c.jpg"}));
    int boxes = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
            ++boxes;
            EXPECT_EQ(box->text(), folder + QStringLiteral("/b.jpg: not a picture file (starts with 0x62 0x72 0x6F 0x6B)"));
            box->close();
        }
    EXPECT_EQ(boxes, 1);
}

TEST_F(HostileTest, ALinkPlantedAmongTheStagedPicturesIsNeitherWrittenNorDeletedThrough)
{
    const QString victim = Tmp.path() + QStringLiteral("/victim.jpg");
    WriteAll(victim, "someone else's file");
    QDir().mkpath(Staged());
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(Staged("05.jpg")).constData()), 0);
    const auto form = Start();
    EXPECT_TRUE(Capture.Boxes.empty());
    EXPECT_FALSE(QFileInfo(Staged("05.jpg")).isSymLink());
    EXPECT_EQ(ReadAll(Staged("05.jpg")), Resource(5));
    EXPECT_EQ(ReadAll(victim), "someone else's file");

    // Planted again while the show runs: the link is not what the show
    // wrote, so closing leaves it, and its target, alone.
    ASSERT_EQ(::unlink(QFile::encodeName(Staged("05.jpg")).constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(Staged("05.jpg")).constData()), 0);
    form->show();
    form->close();
    EXPECT_EQ(Entries(Staged()), QStringList{"05.jpg"});
    EXPECT_TRUE(QFileInfo(Staged("05.jpg")).isSymLink());
    EXPECT_EQ(ReadAll(victim), "someone else's file");
}

TEST_F(HostileTest, AFullDiskLeavesNoTruncatedPicture)
{
    // Replacing one file: the old content stays and no temporary is left.
    const QString folder = Tmp.path() + QStringLiteral("/full");
    WriteAll(folder + QStringLiteral("/a.jpg"), "the old picture");
    {
        const TFileSizeLimit limit(1000);
        try {
            WriteFileReplacing(folder + QStringLiteral("/a.jpg"), Resource(2));
            ADD_FAILURE() << "a write beyond the limit succeeded";
        } catch (const TShowError& e) {
            EXPECT_EQ(QString::fromUtf8(e.what()),
                      QStringLiteral("Cannot create file \"%1/a.jpg\". File too large").arg(folder));
        }
    }
    EXPECT_EQ(ReadAll(folder + QStringLiteral("/a.jpg")), "the old picture");
    EXPECT_EQ(Entries(folder), QStringList{"a.jpg"});

    // Start-up stops at the picture that does not fit, half written, and
    // leaves nothing of it; the next start stages them all.
    WriteSettings("[General]\nreg_showpause=3\nreg_phototarget=1\n");
    {
        const TFileSizeLimit limit(rlim_t(Resource(1).size() / 2));
        const auto form = Start();
        ASSERT_EQ(Capture.Boxes.size(), 1u);
        EXPECT_EQ(Capture.Boxes[0].Text, QStringLiteral("Cannot create file \"%1\". File too large").arg(Staged("01.jpg")));
        EXPECT_TRUE(form->PictureList.isEmpty());
    }
    EXPECT_EQ(Entries(Staged()), QStringList{});
    Capture.Boxes.clear();
    const auto again = Start();
    EXPECT_TRUE(Capture.Boxes.empty());
    EXPECT_EQ(again->PictureList.size(), 13);
}

} // namespace
} // namespace mirel::test
