#include "app/staging.h"

#include "show_test_util.h"

#include <QFileInfo>

#include <functional>

#include <unistd.h>

namespace mirel::test {
namespace {

struct TJpegInfo {
    bool Jfif = false;
    int FrameMarker = 0; // 0xC0 baseline, 0xC2 progressive, ...
    int Width = 0, Height = 0;
};

TJpegInfo InspectJpeg(const QByteArray& b)
{
    TJpegInfo info;
    const auto at = [&](qsizetype i) { return i < b.size() ? int(uint8_t(b[i])) : -1; };
    if (at(0) != 0xFF || at(1) != 0xD8)
        return info;
    info.Jfif = at(2) == 0xFF && at(3) == 0xE0 && b.mid(6, 5) == QByteArray("JFIF\0", 5);
    for (qsizetype i = 2; i + 9 < b.size();) {
        const int marker = at(i + 1);
        const int length = at(i + 2) * 256 + at(i + 3);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            info.FrameMarker = marker;
            info.Height = at(i + 5) * 256 + at(i + 6);
            info.Width = at(i + 7) * 256 + at(i + 8);
            break;
        }
        i += 2 + length;
    }
    return info;
}

TEST(BuiltInPictures, AreBaselineJfifOfTheRightSize)
{
    for (const TBuiltInPicture& picture : BuiltInPictures) {
        SCOPED_TRACE(picture.ResName);
        const TJpegInfo info = InspectJpeg(ReadResource(QLatin1String(picture.ResName), QStringLiteral("JPEG")));
        EXPECT_TRUE(info.Jfif);
        EXPECT_EQ(info.FrameMarker, 0xC0);
        EXPECT_EQ(info.Width, QByteArray(picture.ResName) == "SRC1" ? 799 : 774);
        EXPECT_EQ(info.Height, 600);
    }
    try {
        ReadResource(QStringLiteral("SRC14"), QStringLiteral("JPEG"));
        ADD_FAILURE();
    } catch (const TShowError& e) {
        EXPECT_STREQ(e.what(), "Resource SRC14 not found");
    }
}

class StagingTest : public ::testing::Test {
protected:
    QTemporaryDir Tmp;
    QString Path(const QString& name) const { return Tmp.path() + QLatin1Char('/') + name; }
    QStringList Entries(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
};

TEST_F(StagingTest, ReplacesAFileAndNeverWritesThroughALink)
{
    WriteAll(Path("victim"), "keep me");
    ASSERT_EQ(::symlink(qPrintable(Path("victim")), qPrintable(Path("a.jpg"))), 0);
    WriteFileReplacing(Path("a.jpg"), "new bytes");
    EXPECT_FALSE(QFileInfo(Path("a.jpg")).isSymLink());
    EXPECT_EQ(ReadAll(Path("a.jpg")), "new bytes");
    EXPECT_EQ(ReadAll(Path("victim")), "keep me");

    WriteFileReplacing(Path("a.jpg"), "newer");
    EXPECT_EQ(ReadAll(Path("a.jpg")), "newer");
    EXPECT_EQ(Entries(Tmp.path()), (QStringList{"a.jpg", "victim"})); // no temporary left behind

    try {
        WriteFileReplacing(Path("no/such/b.jpg"), "x");
        ADD_FAILURE();
    } catch (const TShowError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(Path("no/such/b.jpg")));
    }
}

TEST_F(StagingTest, StagesBesideTheExecutableOrInTheCache)
{
    const QString cache = Path("cache");
    // Created beside the executable, then reused.
    EXPECT_EQ(PrepareStagingFolder(Tmp.path(), cache), Path("mirel"));
    EXPECT_TRUE(QFileInfo(Path("mirel")).isDir());
    EXPECT_EQ(PrepareStagingFolder(Tmp.path() + "/", cache), Path("mirel"));

    EXPECT_EQ(ChosenStagingFolder(Tmp.path(), cache), Path("mirel"));

    // A folder nobody may create anything in, root included.
    EXPECT_EQ(PrepareStagingFolder(QStringLiteral("/sys"), cache), cache + "/mirel12/mirel");
    EXPECT_TRUE(QFileInfo(cache + "/mirel12/mirel").isDir());
    EXPECT_EQ(ChosenStagingFolder(QStringLiteral("/sys"), cache), cache + "/mirel12/mirel");

    const auto failure = [&](const QString& exe, const QString& cacheHome) {
        try {
            PrepareStagingFolder(exe, cacheHome);
        } catch (const TShowError& e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    };
    EXPECT_EQ(failure(QStringLiteral("/sys"), QStringLiteral("/sys/cache")), "File access denied");
    EXPECT_EQ(failure(Path("missing/bin"), cache), "Invalid filename");
    WriteAll(Path("bin2/mirel"), "a file in the folder's place");
    EXPECT_EQ(failure(Path("bin2"), cache), "I/O error 17");
}

TEST_F(StagingTest, ListsPictureFilesInCaseInsensitiveOrder)
{
    for (const char* name : {"b.jpg", "A.JPEG", "X.BMP", "c.Ico", "d.emf", "e.WMF", "notes.txt", ".hidden.jpg", "jpg"})
        WriteAll(Path(name), "x");
    QDir().mkpath(Path("folder.jpg"));
    ASSERT_EQ(::symlink(qPrintable(Path("b.jpg")), qPrintable(Path("link.jpg"))), 0);
    ASSERT_EQ(::symlink(qPrintable(Path("gone")), qPrintable(Path("dangling.jpg"))), 0);
    EXPECT_EQ(ListPictureFiles(Tmp.path()),
              (QStringList{"A.JPEG", "b.jpg", "c.Ico", "d.emf", "e.WMF", "link.jpg", "X.BMP"}));
    EXPECT_EQ(ListPictureFiles(Path("missing")), QStringList());
}

TEST_F(StagingTest, DeletesOnlyTheStagedNames)
{
    for (const TBuiltInPicture& picture : BuiltInPictures)
        WriteAll(Path(picture.FileName), "x");
    WriteAll(Path("mine.jpg"), "mine");
    WriteAll(Path("outside"), "outside");
    ::unlink(qPrintable(Path("01.jpg")));
    ASSERT_EQ(::symlink(qPrintable(Path("outside")), qPrintable(Path("01.jpg"))), 0);

    DeleteStagedPictures(Tmp.path());
    EXPECT_EQ(Entries(Tmp.path()), (QStringList{"mine.jpg", "outside"}));
    EXPECT_EQ(ReadAll(Path("outside")), "outside");
    DeleteStagedPictures(Tmp.path()); // again: nothing left to delete, no complaint
    EXPECT_EQ(Entries(Tmp.path()), (QStringList{"mine.jpg", "outside"}));
}

TEST_F(StagingTest, RefusesAFolderThatIsALinkOrAnotherUsers)
{
    const auto failure = [&](const std::function<void()>& start) {
        try {
            start();
        } catch (const TShowError& e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    };
    // The user's own photos, behind a link where the show would stage.
    WriteAll(Path("photos/01.jpg"), "the user's own");
    QDir().mkpath(Path("bin"));
    ASSERT_EQ(::symlink(qPrintable(Path("photos")), qPrintable(Path("bin/mirel"))), 0);
    EXPECT_EQ(failure([&] { PrepareStagingFolder(Path("bin"), Path("cache")); }), StagingLinkRefusal(Path("bin/mirel")));
    TStagingFolder folder;
    EXPECT_EQ(failure([&] { folder.Open(Path("bin/mirel")); }), StagingLinkRefusal(Path("bin/mirel")));
    EXPECT_FALSE(folder.IsOpen());
    // A dangling link as well, and one in the cache's place.
    QDir().mkpath(Path("bin3"));
    ASSERT_EQ(::symlink(qPrintable(Path("gone")), qPrintable(Path("bin3/mirel"))), 0);
    EXPECT_EQ(failure([&] { PrepareStagingFolder(Path("bin3"), Path("cache")); }), StagingLinkRefusal(Path("bin3/mirel")));
    QDir().mkpath(Path("cache/mirel12"));
    ASSERT_EQ(::symlink(qPrintable(Path("photos")), qPrintable(Path("cache/mirel12/mirel"))), 0);
    EXPECT_EQ(failure([&] { PrepareStagingFolder(QStringLiteral("/sys"), Path("cache")); }),
              StagingLinkRefusal(Path("cache/mirel12/mirel")));
    EXPECT_EQ(ReadAll(Path("photos/01.jpg")), "the user's own");
    EXPECT_EQ(Entries(Path("photos")), QStringList{"01.jpg"});

    // Another user's folder can be made only by root.
    if (::geteuid() != 0)
        return;
    QDir().mkpath(Path("bin4/mirel"));
    ASSERT_EQ(::chown(qPrintable(Path("bin4/mirel")), 65534, 65534), 0);
    EXPECT_EQ(failure([&] { PrepareStagingFolder(Path("bin4"), Path("cache")); }), StagingOwnerRefusal(Path("bin4/mirel")));
    EXPECT_EQ(failure([&] { folder.Open(Path("bin4/mirel")); }), StagingOwnerRefusal(Path("bin4/mirel")));
    EXPECT_TRUE(QDir(Path("bin4/mirel")).isEmpty());
}

TEST_F(StagingTest, WorksInTheFolderItOpenedAndDeletesOnlyWhatItWrote)
{
    QDir().mkpath(Path("mirel"));
    TStagingFolder folder;
    folder.Open(Path("mirel"));
    // The folder moves and a link to the user's photos takes its name: the
    // show goes on in the folder it opened.
    WriteAll(Path("photos/01.jpg"), "the user's own");
    ASSERT_EQ(::rename(qPrintable(Path("mirel")), qPrintable(Path("moved"))), 0);
    ASSERT_EQ(::symlink(qPrintable(Path("photos")), qPrintable(Path("mirel"))), 0);
    for (const char* name : {"01.jpg", "02.jpg", "03.jpg", "04.jpg"})
        folder.Write(QLatin1String(name), "staged");
    folder.Write(QStringLiteral("03.jpg"), "staged again");
    EXPECT_EQ(ReadAll(Path("photos/01.jpg")), "the user's own");
    EXPECT_EQ(folder.List(), (QStringList{"01.jpg", "02.jpg", "03.jpg", "04.jpg"}));

    // Put in the place of staged ones: another file, a hard link to the
    // user's file, a link.
    WriteAll(Path("moved/.new"), "the user's replacement");
    ASSERT_EQ(::rename(qPrintable(Path("moved/.new")), qPrintable(Path("moved/02.jpg"))), 0);
    ASSERT_EQ(::unlink(qPrintable(Path("moved/04.jpg"))), 0);
    ASSERT_EQ(::link(qPrintable(Path("photos/01.jpg")), qPrintable(Path("moved/04.jpg"))), 0);
    WriteAll(Path("moved/mine.jpg"), "mine");
    folder.DeleteWritten();
    EXPECT_EQ(Entries(Path("moved")), (QStringList{"02.jpg", "04.jpg", "mine.jpg"}));
    EXPECT_EQ(ReadAll(Path("moved/02.jpg")), "the user's replacement");
    EXPECT_EQ(ReadAll(Path("photos/01.jpg")), "the user's own");
    EXPECT_EQ(Entries(Path("photos")), QStringList{"01.jpg"});

    // Written again, then closed twice: the second close has nothing left.
    folder.Write(QStringLiteral("01.jpg"), "staged");
    folder.DeleteWritten();
    WriteAll(Path("moved/01.jpg"), "the user's, under a staged name");
    folder.DeleteWritten();
    EXPECT_EQ(ReadAll(Path("moved/01.jpg")), "the user's, under a staged name");
}

} // namespace
} // namespace mirel::test
