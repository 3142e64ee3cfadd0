#include "config/FileTypeEditor.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

class FileTypeEditorTest : public ::testing::Test {
protected:
    QString write(const QByteArray& ini) { return m_dir.write(QStringLiteral("Tarvik.ini"), ini); }
    QByteArray content() { return m_dir.read(QStringLiteral("Tarvik.ini")); }
    TempDir m_dir;
};

const QByteArray kIni = "[Engin]\r\nList=c,cpp,cs\r\nAnr_Eng=C_STYLE,HASH\r\nLang_c=C_STYLE,C,1\r\n"
                        "Lang_cpp=C_STYLE,C++,1\r\nLang_cs=C_STYLE,C#,0\r\n[FTP_Server]\r\nFTP_List=\r\n";

} // namespace

TEST(NormalizeExtension, DropsDotsAndBlanksNarrowsAndLowers)
{
    EXPECT_EQ(NormalizeExtension(QStringLiteral(".C P P")), u"cpp");
    EXPECT_EQ(NormalizeExtension(QStringLiteral("ＰＹ")), u"py");
    EXPECT_EQ(NormalizeExtension(QStringLiteral("．ｊｓ　")), u"js");
    EXPECT_EQ(NormalizeExtension(QStringLiteral(". .")), QString());
}

TEST_F(FileTypeEditorTest, AddPutsTheEntryInsideEnginAndAppendsToList)
{
    SettingsStore store(write(kIni));
    QString error;
    ASSERT_TRUE(FileTypeEditor(store).add(QStringLiteral("ＰＹ"), QStringLiteral("HASH"), QStringLiteral("Python"), &error))
        << error.toStdString();
    EXPECT_EQ(content(), QByteArray("[Engin]\r\nList=c,cpp,cs,py\r\nAnr_Eng=C_STYLE,HASH\r\nLang_c=C_STYLE,C,1\r\n"
                                    "Lang_cpp=C_STYLE,C++,1\r\nLang_cs=C_STYLE,C#,0\r\nLang_py=HASH,Python,1\r\n"
                                    "[FTP_Server]\r\nFTP_List=\r\n"));
}

TEST_F(FileTypeEditorTest, AddRefusesWhatWouldBreakTheTable)
{
    SettingsStore store(write(kIni));
    FileTypeEditor editor(store);
    QString error;
    EXPECT_FALSE(editor.add(QStringLiteral(".C"), QStringLiteral("C_STYLE"), QStringLiteral("again"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("既に登録されています"))) << error.toStdString();
    EXPECT_FALSE(editor.add(QStringLiteral("go"), QStringLiteral("C_STYLE"), QStringLiteral("Go, the language"), &error));
    EXPECT_FALSE(editor.add(QStringLiteral(". ."), QStringLiteral("C_STYLE"), QStringLiteral("x"), &error));
    EXPECT_EQ(content(), kIni);

    // A List that a single-key read would cut is never written back shortened.
    QByteArray longList = "[Engin]\r\nList=";
    for (int i = 0; i < 200; ++i)
        longList += "e" + QByteArray::number(i) + ",";
    longList += "last\r\n";
    write(longList);
    const QString tooLong = QStringLiteral("拡張子の一覧が長すぎるため変更できません。");
    EXPECT_FALSE(editor.add(QStringLiteral("go"), QStringLiteral("C_STYLE"), QStringLiteral("Go"), &error));
    EXPECT_EQ(error, tooLong);
    // A rename that keeps the cut list within a read would drop the extensions beyond the cut.
    EXPECT_FALSE(editor.change(QStringLiteral("e0"), QStringLiteral("x"), QStringLiteral("C_STYLE"), QStringLiteral("X"), &error));
    EXPECT_EQ(error, tooLong);
    EXPECT_EQ(content(), longList);

    SettingsStore missing(m_dir.path(QStringLiteral("absent.ini")));
    EXPECT_FALSE(FileTypeEditor(missing).add(QStringLiteral("go"), QStringLiteral("C_STYLE"), QStringLiteral("Go"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("absent.ini")));
    EXPECT_FALSE(QFile::exists(m_dir.path(QStringLiteral("absent.ini"))));
}

TEST_F(FileTypeEditorTest, ChangeRenamesOnlyTheEqualElementAndSetsTheFlagAgain)
{
    SettingsStore store(write(kIni));
    QString error;
    ASSERT_TRUE(FileTypeEditor(store).change(QStringLiteral("c"), QStringLiteral("H"), QStringLiteral("C_STYLE"),
                                             QStringLiteral("ヘッダ"), &error));
    EXPECT_EQ(store.read(QStringLiteral("Engin"), QStringLiteral("List")), u"h,cpp,cs");
    EXPECT_EQ(store.read(QStringLiteral("Engin"), QStringLiteral("Lang_h")), u"C_STYLE,ヘッダ,1");
    EXPECT_EQ(store.read(QStringLiteral("Engin"), QStringLiteral("Lang_cpp")), u"C_STYLE,C++,1");
    ASSERT_TRUE(FileTypeEditor(store).change(QStringLiteral("cs"), QStringLiteral("cs"), QStringLiteral("C_STYLE"),
                                             QStringLiteral("C#"), &error));
    EXPECT_EQ(store.read(QStringLiteral("Engin"), QStringLiteral("Lang_cs")), u"C_STYLE,C#,1");
}

TEST_F(FileTypeEditorTest, DeleteMatchesExactlyAndOnlyOnce)
{
    QStringList lines{QStringLiteral("[Engin]"), QStringLiteral("List=cs,c,c"), QStringLiteral("Lang_C=x,y,1"),
                      QStringLiteral("Lang_c=C,C,1"), QStringLiteral("Lang_c=C,again,1"), QStringLiteral("List=c")};
    FileTypeEditor::DeleteFileTypeLines(lines, QStringLiteral("c"));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("[Engin]"), QStringLiteral("List=cs,c"), QStringLiteral("Lang_C=x,y,1"),
                                  QStringLiteral("Lang_c=C,again,1"), QStringLiteral("List=c")}));
}

TEST(FileTypeEditor, SearchFlagKeepsEngineAndKind)
{
    EXPECT_EQ(FileTypeEditor::withSearchFlag(QStringLiteral("C_STYLE,C言語,1"), false), u"C_STYLE,C言語,0");
    EXPECT_EQ(FileTypeEditor::withSearchFlag(QStringLiteral("C_STYLE"), true), u"C_STYLE,,1");
}

// Types by name and by interpreter get their lists only when the first is added, and lose them
// with the last; names keep their letter case, interpreters lose "#!" and their folders.
TEST_F(FileTypeEditorTest, NameAndInterpreterTypesHaveListsOnlyWhileTheyExist)
{
    using Match = FileTypeEntry::Match;
    SettingsStore store(write(kIni));
    FileTypeEditor editor(store);
    QString error;
    ASSERT_TRUE(editor.add(Match::Name, QStringLiteral(" GNUmakefile "), QStringLiteral("HASH"), QStringLiteral("Make"), &error))
        << error.toStdString();
    ASSERT_TRUE(editor.add(Match::Interpreter, QStringLiteral("#!/usr/bin/python3"), QStringLiteral("HASH"),
                           QStringLiteral("Python"), &error)) << error.toStdString();
    EXPECT_EQ(content(), QByteArray("[Engin]\r\nList=c,cpp,cs\r\nAnr_Eng=C_STYLE,HASH\r\nLang_c=C_STYLE,C,1\r\n"
                                    "Lang_cpp=C_STYLE,C++,1\r\nLang_cs=C_STYLE,C#,0\r\nName_List=GNUmakefile\r\n"
                                    "Name_GNUmakefile=HASH,Make,1\r\nShebang_List=python3\r\nShebang_python3=HASH,Python,1\r\n"
                                    "[FTP_Server]\r\nFTP_List=\r\n"));
    EXPECT_FALSE(editor.add(Match::Name, QStringLiteral("GNUmakefile"), QStringLiteral("HASH"), QStringLiteral("x"), &error));
    EXPECT_EQ(error, u"ファイル名「GNUmakefile」は既に登録されています。");
    EXPECT_FALSE(editor.add(Match::Name, QStringLiteral("src/Makefile"), QStringLiteral("HASH"), QStringLiteral("x"), &error));
    ASSERT_TRUE(editor.change(Match::Interpreter, QStringLiteral("python3"), QStringLiteral("python"), QStringLiteral("HASH"),
                              QStringLiteral("Python"), &error));
    ASSERT_TRUE(editor.remove(Match::Name, QStringLiteral("GNUmakefile"), &error));
    ASSERT_TRUE(editor.remove(Match::Interpreter, QStringLiteral("python"), &error));
    EXPECT_EQ(content(), kIni);
}

TEST_F(FileTypeEditorTest, AFullListContinuesInNumberedKeysThatEveryReadFollows)
{
    // List as full as one read returns: 99 types of four bytes and "e100" make 499 bytes.
    QByteArray list;
    for (int i = 1; i <= 100; ++i)
        list += (i > 1 ? "," : "") + QByteArray("e") + QByteArray::number(i).rightJustified(3, '0');
    ASSERT_EQ(list.size(), 499);
    const QByteArray ini = "[Engin]\r\nList=" + list + "\r\nLang_e001=C_STYLE,E,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";
    SettingsStore store(write(ini));
    FileTypeEditor editor(store);
    QString error;
    ASSERT_TRUE(editor.add(QStringLiteral("go"), QStringLiteral("C_STYLE"), QStringLiteral("Go"), &error)) << error.toStdString();
    ASSERT_TRUE(editor.add(QStringLiteral("rs"), QStringLiteral("C_STYLE"), QStringLiteral("Rust"), &error)) << error.toStdString();
    EXPECT_TRUE(content().contains(QByteArray("\r\nList=" + list + "\r\n"))) << content().toStdString();
    EXPECT_TRUE(content().contains("\r\nList_2=go,rs\r\n")) << content().toStdString();
    IniDocument doc = IniDocument::fromBytes(content().toStdString());
    EXPECT_EQ(FileTypeTable::fromDocument(doc).searchedExtensions().mid(1), (QStringList{QStringLiteral("go"), QStringLiteral("rs")}));

    // Taken out of the continuation; the rest stays readable.
    ASSERT_TRUE(editor.remove(QStringLiteral("go"), &error));
    EXPECT_TRUE(content().contains("\r\nList_2=rs\r\n")) << content().toStdString();
    ASSERT_TRUE(editor.remove(QStringLiteral("e001"), &error));
    doc = IniDocument::fromBytes(content().toStdString());
    EXPECT_EQ(readTypeList(doc, QStringLiteral("Engin"), QStringLiteral("List")).size(), 100);

    // Reading stops at the first missing piece.
    doc = IniDocument::fromBytes("[Engin]\r\nList=a\r\nList_2=b\r\nList_4=d\r\n");
    EXPECT_EQ(readTypeList(doc, QStringLiteral("Engin"), QStringLiteral("List")), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}
