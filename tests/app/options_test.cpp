#include "app/options.h"
#include "app/picture_files.h"

#include "show_test_util.h"

#include <QDir>
#include <QTemporaryDir>

#include <pwd.h>

#include <gtest/gtest.h>

namespace mirel::test {
namespace {

TParsedCommandLine Parse(std::initializer_list<const char*> args, const QString& saverWindow = {})
{
    QStringList list;
    for (const char* a : args)
        list << QString::fromUtf8(a);
    return ParseCommandLine(list, saverWindow);
}

TEST(CommandLineTest, NoArgumentsIsTheBuiltInShowAndOptionsGoAnywhere)
{
    EXPECT_EQ(Parse({}).Action, TParsedCommandLine::ShowBuiltIn);
    const auto c = Parse({"photos", "-r", "--pause=2.5", "--style", "1-3,51", "b.jpg", "--shuffle", "--keys"});
    ASSERT_EQ(c.Action, TParsedCommandLine::Show) << c.Error.toStdString();
    EXPECT_EQ(c.Options.Paths, (QStringList{"photos", "b.jpg"}));
    EXPECT_TRUE(c.Options.Recursive);
    EXPECT_TRUE(c.Options.Shuffle);
    EXPECT_TRUE(c.Options.Keys);
    EXPECT_EQ(c.Options.PauseMs, 2500);
    EXPECT_EQ(c.Options.Styles, (std::vector<int>{1, 2, 3, 51}));
    // After "--" a name that looks like an option is a path.
    EXPECT_EQ(Parse({"--", "-r"}).Options.Paths, QStringList{"-r"});
    // --help wins wherever it is, before anything is checked.
    EXPECT_EQ(Parse({"--bogus", "--help"}).Action, TParsedCommandLine::Fail);
    EXPECT_EQ(Parse({"x", "--help", "--bogus"}).Action, TParsedCommandLine::Help);
    EXPECT_EQ(Parse({"-V"}).Action, TParsedCommandLine::Version);
}

TEST(CommandLineTest, WrongValuesFailWithOneLineAndNeverStartTheBuiltInShow)
{
    for (const auto& args : std::vector<std::vector<const char*>>{
             {"--pause"}, {"--pause", "0", "x"}, {"--pause", "nan", "x"}, {"--pause", "-1", "x"},
             {"--style", "0", "x"}, {"--style", "151", "x"}, {"--style", "5-2", "x"}, {"--style", "1,,2", "x"},
             {"--window-id", "zz", "x"}, {"--shuffle"}, {"--keys=1", "x"},
             {"-x", "x"}}) {
        QStringList list;
        for (const char* a : args)
            list << QString::fromUtf8(a);
        const auto c = ParseCommandLine(list);
        EXPECT_EQ(c.Action, TParsedCommandLine::Fail) << list.join(' ').toStdString();
        EXPECT_FALSE(c.Error.isEmpty());
        EXPECT_FALSE(c.Error.contains('\n'));
    }
}

TEST(CommandLineTest, TheSaversWindowComesFromTheOptionOrTheEnvironment)
{
    EXPECT_EQ(Parse({"--window-id", "0x1c00005", "p"}).Options.WindowId, 0x1c00005u);
    EXPECT_EQ(Parse({"--window-id=12345", "p"}).Options.WindowId, 12345u);
    EXPECT_EQ(Parse({"p"}, "0x2a").Options.WindowId, 0x2au);
    EXPECT_EQ(Parse({"--window-id", "7", "p"}, "0x2a").Options.WindowId, 7u);
    // A saver's configuration says -root; the saver's window then wins.
    const auto saver = Parse({"-root", "p"}, "0x2a");
    EXPECT_EQ(saver.Options.WindowId, 0x2au);
    EXPECT_FALSE(saver.Options.Root);
    EXPECT_TRUE(Parse({"-root", "p"}).Options.Root);
    // A saver's preview adds the window it embeds to the line that has --root.
    const auto preview = Parse({"--root", "p", "--window-id", "0x20"});
    ASSERT_EQ(preview.Action, TParsedCommandLine::Show) << preview.Error.toStdString();
    EXPECT_EQ(preview.Options.WindowId, 0x20u);
    EXPECT_FALSE(preview.Options.Root);
    // The built-in show ignores a saver's variable left in the environment.
    EXPECT_EQ(Parse({}, "0x2a").Action, TParsedCommandLine::ShowBuiltIn);
}

TEST(CommandLineTest, ALeadingTildeIsAHomeFolderAsAShellWouldHaveIt)
{
    // Screen savers start their modules without a shell.
    const QString home = QDir::homePath();
    EXPECT_EQ(Parse({"~/Pictures", "~", "a~b", "./~"}).Options.Paths,
              (QStringList{home + "/Pictures", home, "a~b", "./~"}));
    EXPECT_EQ(Parse({"~root/x"}).Options.Paths, QStringList{QString::fromLocal8Bit(getpwnam("root")->pw_dir) + "/x"});
    EXPECT_EQ(Parse({"~no-such-user-here/x"}).Options.Paths, QStringList{"~no-such-user-here/x"});
}

TEST(PictureFilesTest, FoldersInNaturalOrderSubFoldersWithRAndNamedFilesAsGiven)
{
    QTemporaryDir tmp;
    const QString d = tmp.path();
    for (const char* name : {"b10.jpg", "b2.PNG", "B1.webp", "a.bmp", "x.ico", "notes.txt", ".hidden.jpg",
                             "sub/c.jpg", "sub/deeper/d.jpg"})
        WriteAll(d + "/" + name, "x");
    ASSERT_TRUE(QFile::link(d, d + "/sub/loop")); // a link back up: not followed
    const TPictureFiles flat = ListPictures({d, d + "/notes.txt", d + "/missing"}, false);
    EXPECT_EQ(flat.Files, (QStringList{d + "/a.bmp", d + "/B1.webp", d + "/b2.PNG", d + "/b10.jpg", d + "/x.ico",
                                       d + "/notes.txt"}));
    EXPECT_EQ(flat.Problems, QStringList{d + "/missing: no such file or folder"});
    const TPictureFiles deep = ListPictures({d}, true);
    EXPECT_EQ(deep.Files.mid(5), (QStringList{d + "/sub/c.jpg", d + "/sub/deeper/d.jpg"}));

    QStringList shuffled = deep.Files;
    ShuffleFiles(shuffled);
    shuffled.sort();
    QStringList sorted = deep.Files;
    sorted.sort();
    EXPECT_EQ(shuffled, sorted);
}

} // namespace
} // namespace mirel::test
