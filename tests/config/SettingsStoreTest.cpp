#include "config/SettingsStore.h"
#include "config/ExcludeSettings.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    QString ini(const QByteArray& content) { return m_dir.write(QStringLiteral("Tarvik.ini"), content); }
    QByteArray content() { return m_dir.read(QStringLiteral("Tarvik.ini")); }
    TempDir m_dir;
};

} // namespace

TEST_F(SettingsStoreTest, NamesAreMatchedWithoutRegardToCase)
{
    SettingsStore store(ini("[Engin]\r\nLang_c=C_STYLE,C,1\r\n"));
    store.ReadSetting(QStringLiteral("ENGIN"), QStringLiteral("LANG_C"));
    EXPECT_EQ(store.SettingValue(), u"C_STYLE,C,1");
    EXPECT_EQ(store.read(QStringLiteral("engin"), QStringLiteral("Lang_C")), u"C_STYLE,C,1");
}

TEST_F(SettingsStoreTest, AbsentFileSectionOrKeyReadsEmpty)
{
    SettingsStore missing(m_dir.path(QStringLiteral("none.ini")));
    EXPECT_EQ(missing.read(QStringLiteral("Mode"), QStringLiteral("Count_Mode")), QString());
    SettingsStore store(ini("[DIR]\r\nDef_Dir=\r\n"));
    EXPECT_EQ(store.read(QStringLiteral("Mode"), QStringLiteral("Count_Mode")), QString());
    EXPECT_EQ(store.read(QStringLiteral("DIR"), QStringLiteral("State")), QString());
    EXPECT_EQ(SettingsStore::ReadProfileValue(store.path(), QStringLiteral("DIR"), QStringLiteral("State"),
                                              QStringLiteral("dflt")),
              u"dflt");
}

TEST_F(SettingsStoreTest, NewKeysGoToTheEndOfTheirSectionAndNewSectionsToTheEndOfTheFile)
{
    SettingsStore store(ini("; kept\r\n[DIR]\r\nDef_Dir=/src\r\n\r\n[Mode]\r\nCount_Mode=1\r\n"));
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("dir"), QStringLiteral("State"), QStringLiteral("2")));
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("Mode"), QStringLiteral("COUNT_MODE"), QStringLiteral("0")));
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("FTP_Server"), QStringLiteral("FTP_List"), QString()));
    EXPECT_EQ(content(), QByteArray("; kept\r\n[DIR]\r\nDef_Dir=/src\r\nState=2\r\n\r\n[Mode]\r\nCount_Mode=0\r\n"
                                    "[FTP_Server]\r\nFTP_List=\r\n"));
}

TEST_F(SettingsStoreTest, WritingCreatesAMissingFileInUtf8)
{
    SettingsStore store(m_dir.path(QStringLiteral("new.ini")));
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("DIR"), QStringLiteral("Def_Dir"), QStringLiteral("/ソース")));
    EXPECT_EQ(m_dir.read(QStringLiteral("new.ini")), QByteArray("[DIR]\r\nDef_Dir=/ソース\r\n"));
}

TEST_F(SettingsStoreTest, WriteAndReadLimits)
{
    SettingsStore store(ini(""));
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("S"), QStringLiteral("Long"), QString(600, u'x')));
    EXPECT_TRUE(content().contains(QByteArray("Long=" + QByteArray(512, 'x') + "\r\n")));
    EXPECT_EQ(store.read(QStringLiteral("S"), QStringLiteral("Long")), QString(499, u'x'));
    // 499 bytes never split a character: 166 three-byte characters fit, the 167th does not.
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("S"), QStringLiteral("Kana"), QString(200, u'あ')));
    EXPECT_EQ(store.read(QStringLiteral("S"), QStringLiteral("Kana")), QString(166, u'あ'));
}

TEST_F(SettingsStoreTest, ALineBreakCannotSmuggleInAKey)
{
    SettingsStore store(ini("[DIR]\r\n"));
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("DIR"), QStringLiteral("Def_Dir"), QStringLiteral("/a\r\n[Mode]\r\nCount_Mode=0")));
    EXPECT_EQ(content(), QByteArray("[DIR]\r\nDef_Dir=/a\r\n"));
    EXPECT_FALSE(store.WriteSetting(QStringLiteral("DIR"), QStringLiteral("a=b"), QStringLiteral("x")));
}

TEST_F(SettingsStoreTest, NamesThatWouldNotReadBackAreRefused)
{
    // A key line starting with "[" reads as a section header, one starting with ";" as a comment,
    // and blanks around a section name are dropped by the reader: such writes could never be read.
    const QByteArray original = "[FTP]\r\nFTP_List=a\r\n";
    SettingsStore store(ini(original));
    EXPECT_FALSE(store.WriteSetting(QStringLiteral("FTP"), QStringLiteral("[FTP]"), QStringLiteral("[Engin]")));
    EXPECT_FALSE(store.WriteSetting(QStringLiteral("FTP"), QStringLiteral(";x"), QStringLiteral("1")));
    EXPECT_FALSE(store.WriteSetting(QStringLiteral(" FTP"), QStringLiteral("FTP_List"), QStringLiteral("b")));
    EXPECT_FALSE(store.WriteSetting(QStringLiteral("FTP\t"), QStringLiteral("FTP_List"), QStringLiteral("b")));
    EXPECT_EQ(content(), original);
    // Inside a name the same characters are ordinary.
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("F [T P"), QStringLiteral("x[;]"), QStringLiteral("1")));
    EXPECT_EQ(store.read(QStringLiteral("F [T P"), QStringLiteral("x[;]")), u"1");
}

TEST_F(SettingsStoreTest, ByteOrderMarkCharacterInsideTheFileIsText)
{
    // Only the file's first three bytes can be a byte-order mark; elsewhere U+FEFF belongs to
    // the line, so a key starting with it reads back and a rewrite keeps it.
    const QByteArray original = "\xEF\xBB\xBF[S]\r\n\xEF\xBB\xBFk=1\r\n";
    SettingsStore store(ini(original));
    EXPECT_EQ(store.read(QStringLiteral("S"), QStringLiteral("\uFEFFk")), u"1");
    EXPECT_EQ(store.read(QStringLiteral("S"), QStringLiteral("k")), QString());
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("S"), QStringLiteral("\uFEFFk"), QStringLiteral("2")));
    EXPECT_EQ(content(), QByteArray("\xEF\xBB\xBF[S]\r\n\xEF\xBB\xBFk=2\r\n"));
    ASSERT_TRUE(store.rewriteLines([](QStringList lines) { return lines << QStringLiteral("\uFEFFx"); }));
    EXPECT_EQ(content(), QByteArray("\xEF\xBB\xBF[S]\r\n\xEF\xBB\xBFk=2\r\n\xEF\xBB\xBFx\r\n"));

    // A file without a mark whose new first line starts with U+FEFF gets one in front.
    SettingsStore plain(m_dir.write(QStringLiteral("plain.ini"), "[S]\r\n"));
    ASSERT_TRUE(plain.rewriteLines(
        [](const QStringList& lines) { return QStringList{QStringLiteral("\uFEFF; x")} + lines; }));
    EXPECT_EQ(m_dir.read(QStringLiteral("plain.ini")), QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF; x\r\n[S]\r\n"));
    IniDocument doc;
    ASSERT_TRUE(SettingsStore::loadDocument(plain.path(), doc, nullptr));
    EXPECT_EQ(doc.lines().value(0), u"\uFEFF; x");
}

TEST_F(SettingsStoreTest, PercentValuesAreExpandedOnlyAtTheStart)
{
    qputenv("TARVIK_TEST_ROOT", "/opt/src");
    SettingsStore store(ini("[DIR]\r\nA=%TARVIK_TEST_ROOT%/x\r\nB= %TARVIK_TEST_ROOT%/x\r\nC=x%TARVIK_TEST_ROOT%\r\n"
                            "D=%TARVIK_NOT_SET_ANYWHERE%/%TARVIK_TEST_ROOT%\r\n"));
    EXPECT_EQ(store.read(QStringLiteral("DIR"), QStringLiteral("A")), u"/opt/src/x");
    EXPECT_EQ(store.read(QStringLiteral("DIR"), QStringLiteral("B")), u" %TARVIK_TEST_ROOT%/x");
    EXPECT_EQ(store.read(QStringLiteral("DIR"), QStringLiteral("C")), u"x%TARVIK_TEST_ROOT%");
    EXPECT_EQ(store.read(QStringLiteral("DIR"), QStringLiteral("D")), u"%TARVIK_NOT_SET_ANYWHERE%//opt/src");
}

TEST_F(SettingsStoreTest, Cp932FileIsWrittenBackInCp932WithOtherLinesUntouched)
{
    // "[Engin]", an entry with a CP932 kind ("Ｃ言語"), and a line holding a byte that is not CP932.
    const QByteArray original = "[Engin]\r\nLang_c=C_STYLE,\x82\x62\x8c\xbe\x8c\xea,1\r\nodd=\xa0\r\n";
    SettingsStore store(ini(original));
    EXPECT_EQ(store.read(QStringLiteral("Engin"), QStringLiteral("Lang_c")), u"C_STYLE,Ｃ言語,1");
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("Engin"), QStringLiteral("List"), QStringLiteral("c,日本")));
    EXPECT_EQ(content(), original + "List=c,\x93\xfa\x96\x7b\r\n");
}

TEST_F(SettingsStoreTest, ACp932FileTakingAValueWithoutAFaithfulCp932FormBecomesUtf8)
{
    // "〜" would be written as the CP932 bytes of "～" and read back as a different folder.
    const QByteArray original = "[DIR]\r\nDef_Dir=/\x8e\x91\x97\xbf\r\n";
    SettingsStore store(ini(original));
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("DIR"), QStringLiteral("Def_Dir"), QStringLiteral("/資料〜2024")));
    EXPECT_EQ(store.read(QStringLiteral("DIR"), QStringLiteral("Def_Dir")), u"/資料〜2024");
    EXPECT_EQ(content(), QByteArray("[DIR]\r\nDef_Dir=/資料〜2024\r\n"));
}

TEST_F(SettingsStoreTest, ACp932FileThatWouldReadAsUtf8AfterAWriteIsWrittenInUtf8)
{
    // The file is CP932 only because of the byte 0xF8 in the line the write replaces; its
    // header line is valid UTF-8 with a mark, which a CP932 file's line reading drops. Left in
    // CP932 the file would read as UTF-8, the mark would stay, and the section would be gone.
    SettingsStore store(ini("\r\n\xef\xbb\xbf[DIR]\r\nDef_Dir=\xf8\r\n"));
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("DIR"), QStringLiteral("Def_Dir"), QStringLiteral("/src")));
    EXPECT_EQ(store.read(QStringLiteral("DIR"), QStringLiteral("Def_Dir")), u"/src");
    EXPECT_EQ(content(), QByteArray("\r\n[DIR]\r\nDef_Dir=/src\r\n"));
}

TEST_F(SettingsStoreTest, ARefusedWriteLeavesTheFileAsItWas)
{
    const QString path = ini("[DIR]\r\nDef_Dir=/keep\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadOther);
    // As root permission bits do not stop writes, so the check runs without root rights.
    int rc = test::runUnprivileged([&] {
        SettingsStore store(path);
        if (store.WriteSetting(QStringLiteral("DIR"), QStringLiteral("Def_Dir"), QStringLiteral("/lost")))
            return 1;
        return store.read(QStringLiteral("DIR"), QStringLiteral("Def_Dir")) == u"/keep" ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(content(), QByteArray("[DIR]\r\nDef_Dir=/keep\r\n"));
}

TEST_F(SettingsStoreTest, WritesReplaceTheFileAtomically)
{
    const QString path = ini("[DIR]\r\nDef_Dir=/a\r\n");
    QFile before(path);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly)); // an open reader keeps seeing the old file
    SettingsStore store(path);
    ASSERT_TRUE(store.WriteSetting(QStringLiteral("DIR"), QStringLiteral("Def_Dir"), QStringLiteral("/b")));
    EXPECT_EQ(before.readAll(), QByteArray("[DIR]\r\nDef_Dir=/a\r\n"));
    EXPECT_EQ(content(), QByteArray("[DIR]\r\nDef_Dir=/b\r\n"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Tarvik.ini")});
}

TEST_F(SettingsStoreTest, TextualRewriteKeepsLinesAndEndsWithCrLf)
{
    SettingsStore store(ini("[Engin]\nList=c,h\nLang_c=C,C,1\nLang_h=C,H,1\n[Anryze_Pat]\nC=//,/*,*/"));
    ASSERT_TRUE(store.rewriteLines([](QStringList lines) {
        lines.removeAll(QStringLiteral("Lang_h=C,H,1"));
        SettingsStore::insertAtEndOfSection(lines, QStringLiteral("Engin"), QStringLiteral("Lang_go=C,Go,1"));
        SettingsStore::insertAtEndOfSection(lines, QStringLiteral("Anryze_Pat"), QStringLiteral("SQL=--,/*,*/"));
        return lines;
    }));
    EXPECT_EQ(content(), QByteArray("[Engin]\r\nList=c,h\r\nLang_c=C,C,1\r\nLang_go=C,Go,1\r\n[Anryze_Pat]\r\n"
                                    "C=//,/*,*/\r\nSQL=--,/*,*/\r\n"));
    SettingsStore missing(m_dir.path(QStringLiteral("absent.ini")));
    QString error;
    EXPECT_FALSE(missing.rewriteLines([](const QStringList& l) { return l; }, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(SettingsStoreTest, ValuesWithBlanksAtAnEndOrInQuotesAreWrittenQuotedAndReadBackUnchanged)
{
    const struct {
        const char* value;
        const char* line;
    } cases[] = {
        {"pass ", "V=\"pass \""},     // a password ending in "/" is stored ending in a blank
        {" lead", "V=\" lead\""},
        {"\tx\t", "V=\"\tx\t\""},
        {"\"q\"", "V=\"\"q\"\""},
        {"\"", "V=\""},               // one quote alone is no pair
        {"a \"b\" c", "V=a \"b\" c"}, // quotes inside are kept as they are
        {"plain", "V=plain"},
    };
    SettingsStore store(ini("[S]\r\n"));
    for (const auto& c : cases) {
        const QString value = QString::fromUtf8(c.value);
        ASSERT_TRUE(store.WriteSetting(QStringLiteral("S"), QStringLiteral("V"), value));
        EXPECT_EQ(content(), QByteArray("[S]\r\n") + c.line + "\r\n") << c.value;
        EXPECT_EQ(store.read(QStringLiteral("S"), QStringLiteral("V")), value) << c.value;
    }
    // Hand-written files: one pair of quotes is taken off, blanks outside it are not part of the
    // value, and a value without quotes reads as it always did.
    SettingsStore hand(ini("[S]\r\nA=\"%TARVIK_TEST_ROOT%\"  \r\nB=\"x\"\"\r\nC= x \r\nD=\"\"\r\n"));
    qputenv("TARVIK_TEST_ROOT", "/opt/src");
    EXPECT_EQ(hand.read(QStringLiteral("S"), QStringLiteral("A")), u"/opt/src");
    EXPECT_EQ(hand.read(QStringLiteral("S"), QStringLiteral("B")), u"x\"");
    EXPECT_EQ(hand.read(QStringLiteral("S"), QStringLiteral("C")), u" x");
    EXPECT_EQ(hand.read(QStringLiteral("S"), QStringLiteral("D")), QString());
}

TEST_F(SettingsStoreTest, ExcludePatternsReplaceTheirSectionWhereverItStandsAndKeepTheRest)
{
    const QString path = ini("[DIR]\r\nDef_Dir=/src\r\n\r\n[exclude]\r\nPattern_1=old/\r\nPattern_2=*.bak\r\n\r\n"
                             "[Mode]\r\nCount_Mode=1\r\n");
    EXPECT_EQ(readExcludePatterns(path), (QStringList{QStringLiteral("old/"), QStringLiteral("*.bak")}));
    ASSERT_TRUE(writeExcludePatterns(path, {QStringLiteral(" gen/"), QString(), QStringLiteral("%HOME%")}, nullptr));
    EXPECT_EQ(content(), QByteArray("[DIR]\r\nDef_Dir=/src\r\n\r\n\r\n[Mode]\r\nCount_Mode=1\r\n\r\n"
                                    "[Exclude]\r\nPattern_1=\" gen/\"\r\nPattern_2=%HOME%\r\n"));
    // Read back exactly: no %NAME% expansion, blanks kept.
    EXPECT_EQ(readExcludePatterns(path), (QStringList{QStringLiteral(" gen/"), QStringLiteral("%HOME%")}));
    EXPECT_EQ(SettingsStore(path).read(QStringLiteral("Mode"), QStringLiteral("Count_Mode")), u"1");
}
