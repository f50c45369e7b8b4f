#include "app/settings.h"

#include "show_test_util.h"

namespace mirel::test {
namespace {

struct TIntCase {
    const char* Text;
    bool Valid;
    int32_t Value;
};

class StrToIntTest : public ::testing::TestWithParam<TIntCase> {};

TEST_P(StrToIntTest, ConvertsOrReportsTheText)
{
    const TIntCase c = GetParam();
    const QString text = QString::fromUtf8(c.Text);
    if (c.Valid) {
        EXPECT_EQ(StrToInt(text), c.Value);
        return;
    }
    try {
        StrToInt(text);
        ADD_FAILURE() << "accepted '" << c.Text << "'";
    } catch (const TShowError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), QStringLiteral("'%1' is not a valid integer value").arg(text));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StrToIntTest,
                         ::testing::Values(TIntCase{"8", true, 8}, TIntCase{"  3", true, 3}, TIntCase{"-12", true, -12},
                                           TIntCase{"+7", true, 7}, TIntCase{"$1F", true, 31}, TIntCase{"0x10", true, 16},
                                           TIntCase{"2147483647", true, 2147483647},
                                           TIntCase{"-2147483648", true, INT32_MIN}, TIntCase{"", false, 0},
                                           TIntCase{"3 ", false, 0}, TIntCase{"abc", false, 0}, TIntCase{"1.5", false, 0},
                                           TIntCase{"2147483648", false, 0}, TIntCase{"$", false, 0},
                                           TIntCase{"--1", false, 0}, TIntCase{"\xEF\xBC\x91", false, 0}));

class RegistryTest : public ::testing::Test {
protected:
    QTemporaryDir Tmp;
    const QString Key = QStringLiteral("software\\mirel12");
    QString File() const { return Tmp.path() + QStringLiteral("/software/mirel12.ini"); }
};

TEST_F(RegistryTest, CreatesTheKeyAndReadsNamesWithoutRegardToCase)
{
    TRegistry reg(Tmp.path());
    EXPECT_EQ(reg.KeyFile(Key), File());
    EXPECT_FALSE(reg.KeyExists(Key));
    ASSERT_TRUE(reg.OpenKey(Key, true));
    reg.WriteString(QStringLiteral("reg_Showpause"), QStringLiteral("8"));
    reg.WriteString(QStringLiteral("reg_photodir"), QStringLiteral("c:\\"));
    reg.CloseKey();

    // What a user sees and may edit by hand.
    const QByteArray ini = ReadAll(File());
    EXPECT_TRUE(ini.startsWith("[General]\n")) << ini.constData();
    EXPECT_TRUE(ini.contains("reg_Showpause=8\n")) << ini.constData();
    EXPECT_TRUE(ini.contains("reg_photodir=c:\\\\\n")) << ini.constData();

    TRegistry again(Tmp.path());
    EXPECT_TRUE(again.KeyExists(Key));
    ASSERT_TRUE(again.OpenKey(Key, false));
    EXPECT_EQ(again.ReadString(QStringLiteral("reg_showpause")), QStringLiteral("8"));
    EXPECT_EQ(again.ReadString(QStringLiteral("REG_PHOTODIR")), QStringLiteral("c:\\"));
    EXPECT_EQ(again.ReadString(QStringLiteral("reg_missing")), QString());

    // Writing a name in another case replaces the value, keeping one entry.
    again.WriteString(QStringLiteral("REG_SHOWPAUSE"), QStringLiteral("5"));
    again.CloseKey();
    EXPECT_EQ(ReadAll(File()).count("howpause"), 1);
    EXPECT_TRUE(ReadAll(File()).contains("reg_Showpause=5"));
}

TEST_F(RegistryTest, ReadsAHandWrittenFile)
{
    WriteAll(File(), "[General]\nREG_SHOWPAUSE=3\nreg_phototarget=1,2\n");
    TRegistry reg(Tmp.path());
    ASSERT_TRUE(reg.OpenKey(Key, false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("reg_showpause")), QStringLiteral("3"));
    EXPECT_EQ(reg.ReadString(QStringLiteral("reg_phototarget")), QStringLiteral("1,2"));
}

TEST_F(RegistryTest, WritesReplaceALinkAtTheKeysPlaceAndNeverWriteThroughIt)
{
    QDir().mkpath(Tmp.path() + QStringLiteral("/software"));
    // A link to nowhere: its target must not come into being.
    const QString nowhere = Tmp.path() + QStringLiteral("/planted");
    ASSERT_TRUE(QFile::link(nowhere, File()));
    TRegistry reg(Tmp.path());
    EXPECT_FALSE(reg.KeyExists(Key));
    ASSERT_TRUE(reg.OpenKey(Key, true));
    reg.WriteString(QStringLiteral("reg_Showpause"), QStringLiteral("8"));
    reg.WriteString(QStringLiteral("reg_photodir"), QStringLiteral("c:\\"));
    EXPECT_EQ(reg.ReadString(QStringLiteral("reg_showpause")), QStringLiteral("8"));
    reg.CloseKey();
    EXPECT_FALSE(QFileInfo::exists(nowhere));
    EXPECT_FALSE(QFileInfo(File()).isSymLink());
    EXPECT_TRUE(ReadAll(File()).contains("reg_Showpause=8\n"));
    EXPECT_TRUE(ReadAll(File()).contains("reg_photodir=c:\\\\\n"));

    // A link to another file: that file stays as it was.
    const QString other = Tmp.path() + QStringLiteral("/other.ini");
    WriteAll(other, "[General]\nreg_showpause=4\n");
    ASSERT_TRUE(QFile::remove(File()));
    ASSERT_TRUE(QFile::link(other, File()));
    TRegistry again(Tmp.path());
    ASSERT_TRUE(again.OpenKey(Key, false));
    EXPECT_EQ(again.ReadString(QStringLiteral("reg_showpause")), QStringLiteral("4"));
    again.WriteString(QStringLiteral("reg_phototarget"), QStringLiteral("1"));
    EXPECT_EQ(ReadAll(other), "[General]\nreg_showpause=4\n");
    EXPECT_TRUE(ReadAll(File()).contains("reg_showpause=4\n"));
    EXPECT_TRUE(ReadAll(File()).contains("reg_phototarget=1\n"));
    // No temporary file is left beside the key.
    EXPECT_EQ(QDir(Tmp.path() + QStringLiteral("/software")).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(RegistryTest, AKeyThatCannotBeCreatedFailsEveryWrite)
{
    // A file where the key's folder should be: not even root can create it.
    WriteAll(Tmp.path() + QStringLiteral("/software"), "in the way");
    TRegistry reg(Tmp.path());
    EXPECT_FALSE(reg.OpenKey(Key, true));
    EXPECT_EQ(reg.ReadString(QStringLiteral("reg_showpause")), QString());
    try {
        reg.WriteString(QStringLiteral("reg_Showpause"), QStringLiteral("8"));
        ADD_FAILURE() << "write succeeded";
    } catch (const TShowError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for 'reg_Showpause'");
    }
}

} // namespace
} // namespace mirel::test
