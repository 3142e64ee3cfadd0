#include "config/FileTypeTable.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarvik;

namespace {
const char* kIni = "[Engin]\r\n"
                   "List=c,H,py,txt,old\r\n"
                   "Lang_c=C_STYLE,C言語,1\r\n"
                   "Lang_H=C_STYLE,ヘッダ,0\r\n"
                   "Lang_py=HASH,Python,1\r\n"
                   "Lang_old=GONE,廃止,1\r\n"
                   "[Anryze_Pat]\r\n"
                   "C_STYLE=//,/*,*/\r\n"
                   "HASH=#\r\n";
}

TEST(FileTypeTable, EntriesFollowListOrderAndSearchFlagsMustBeExactlyOne)
{
    FileTypeTable table = FileTypeTable::fromDocument(IniDocument::fromBytes(kIni));
    ASSERT_EQ(table.entries().size(), 5);
    EXPECT_EQ(table.entries()[1].sourceKind, u"ヘッダ");
    EXPECT_FALSE(table.entries()[3].hasEntry); // listed without an entry
    EXPECT_EQ(table.searchedExtensions(), (QStringList{QStringLiteral("c"), QStringLiteral("py"), QStringLiteral("old")}));
}

TEST(EngineTable, ExtensionSelectsEngineAndTokens)
{
    EngineTable engines(IniDocument::fromBytes(kIni));
    EXPECT_EQ(engines.engineForPath(QStringLiteral("/src/a.c")), u"C_STYLE");
    EXPECT_EQ(engines.engineForPath(QStringLiteral("/src/A.C")), u"C_STYLE"); // keys ignore case
    EXPECT_EQ(engines.engineForPath(QStringLiteral("/src/a.txt")), QString());
    EXPECT_EQ(engines.engineForPath(QStringLiteral("/src.d/Makefile")), QString()); // "d/Makefile"
    EXPECT_EQ(engines.engineForPath(QStringLiteral("README")), QString());
    int py = engines.engineIndexForPath(QStringLiteral("x.py"));
    EXPECT_EQ(engines.syntax(py), (CommentSyntax{"#", "", ""}));
    // An engine without tokens counts every non-blank line as code.
    int gone = engines.engineIndexForPath(QStringLiteral("x.old"));
    EXPECT_EQ(engines.syntax(gone), (CommentSyntax{}));
}

// Names with several dots, folders with a dot: the extension follows the last dot of the path.
TEST(EngineTable, TheExtensionFollowsTheLastDot)
{
    EngineTable engines(IniDocument::fromBytes("[Engin]\r\nLang_c=C_STYLE\r\nLang_js=JS\r\nLang_2=TWO\r\n"));
    EXPECT_EQ(engines.engineForPath(QStringLiteral("/src/main.test.c")), u"C_STYLE");
    EXPECT_EQ(engines.engineForPath(QStringLiteral("/www/jquery.min.js")), u"JS");
    EXPECT_EQ(engines.engineForPath(QStringLiteral("/src/v1.2/main.c")), u"C_STYLE");
    EXPECT_EQ(engines.engineForPath(QStringLiteral("/src/v1.2/Makefile")), QString()); // "2/Makefile"
}
