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

TEST(InterpreterOfHead, TheFirstWordOrTheWordAfterEnv)
{
    struct Case {
        std::string head;
        const char* interpreter;
    } cases[] = {
        {"#!/bin/sh\necho\n", "sh"},
        {"#! /bin/bash -e\r\n", "bash"},
        {"#!/usr/bin/env python3\n", "python3"},
        {"#!/usr/bin/env -S python3 -u\n", "python3"},
        {"#!/usr/bin/python3.11\n", "python3.11"},
        {"#!perl", "perl"},
        {"#!/usr/bin/env\n", ""},
        {"# not a #! line\n", ""},
        {"\xef\xbb\xbf#!/bin/sh\n", ""},
        {"", ""},
        // A head full to its end may have cut its last word: "pyth" is not taken.
        {"#!" + std::string(kInterpreterHeadBytes - 2 - 9, '/') + "/env pyth", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(interpreterOfHead(c.head), QString::fromUtf8(c.interpreter)) << c.head;
    EXPECT_EQ(interpreterWithoutVersion(QStringLiteral("python3.11")), u"python");
    EXPECT_EQ(interpreterWithoutVersion(QStringLiteral("sh")), u"sh");
}

namespace {
const char* kTyped = "[Engin]\r\nList=txt,sh\r\nLang_txt=TEXT,Text,1\r\nLang_sh=HASH,Shell,1\r\n"
                     "Name_List=CMakeLists.txt,Makefile\r\nName_CMakeLists.txt=HASH,CMake,1\r\nName_Makefile=HASH,Make,0\r\n"
                     "Shebang_List=sh,python\r\nShebang_sh=HASH,Shell,1\r\nShebang_python=PY,Python,1\r\n"
                     "[Anryze_Pat]\r\nHASH=#\r\nTEXT=\r\nPY=#\r\n";
}

TEST(FileTypeTable, NamesAndInterpretersHaveTheirOwnListsAndSearchFlags)
{
    const FileTypeTable table = FileTypeTable::fromDocument(IniDocument::fromBytes(kTyped));
    EXPECT_EQ(table.entries().size(), 2);
    ASSERT_EQ(table.nameEntries().size(), 2);
    EXPECT_EQ(table.nameEntries()[0].match, FileTypeEntry::Match::Name);
    EXPECT_EQ(table.nameEntries()[1].sourceKind, u"Make");
    const SearchedTypes searched = table.searchedTypes();
    EXPECT_EQ(searched.names, QStringList{QStringLiteral("CMakeLists.txt")});
    EXPECT_EQ(searched.interpreters, (QStringList{QStringLiteral("sh"), QStringLiteral("python")}));
    // Older settings have none.
    EXPECT_TRUE(FileTypeTable::fromDocument(IniDocument::fromBytes(kIni)).searchedTypes().names.isEmpty());
}

TEST(EngineTable, ANameBeatsTheExtensionAndAHashBangLineTypesANameWithoutADot)
{
    EngineTable engines(IniDocument::fromBytes(kTyped));
    int heads = 0;
    auto head = [&](std::string bytes) {
        return [&heads, bytes] {
            ++heads;
            return bytes;
        };
    };
    auto engine = [&](const QString& path, const std::string& bytes, qsizetype top = 0) {
        const int i = engines.engineIndexForPath(path, top, head(bytes));
        return i < 0 ? QString() : engines.engineName(i);
    };
    EXPECT_EQ(engine(QStringLiteral("/p/CMakeLists.txt"), ""), u"HASH");
    EXPECT_EQ(engine(QStringLiteral("/p/notes.txt"), ""), u"TEXT");
    EXPECT_EQ(engine(QStringLiteral("/p/cmakelists.txt"), ""), u"TEXT"); // names are exact
    EXPECT_EQ(engine(QStringLiteral("v1:Makefile"), "", 3), u"HASH");  // a revision's top is not the name
    EXPECT_EQ(heads, 0);
    EXPECT_EQ(engine(QStringLiteral("v1:Makefile"), "", 0), QString()); // a name without a dot: its head is read
    EXPECT_EQ(heads, 1);
    EXPECT_EQ(engine(QStringLiteral("/p/run"), "#!/bin/sh\n"), u"HASH");
    EXPECT_EQ(engine(QStringLiteral("/p/tool"), "#!/usr/bin/env python3.11\n"), u"PY");
    EXPECT_EQ(engine(QStringLiteral("/p/README"), "Read me\n"), QString());
    EXPECT_EQ(heads, 4);
    EXPECT_EQ(engine(QStringLiteral("/p/run.bak"), "#!/bin/sh\n"), QString()); // a name with a dot is not read
    EXPECT_EQ(engine(QStringLiteral("/p.d/run"), "#!/bin/sh\n"), u"HASH");     // the folder's dot does not count
    EXPECT_EQ(heads, 5);

    // Without a single interpreter type no head is read.
    EngineTable plain(IniDocument::fromBytes(kIni));
    EXPECT_EQ(plain.engineIndexForPath(QStringLiteral("/p/run"), 0, head("#!/bin/sh\n")), -1);
    EXPECT_EQ(heads, 5);
}
