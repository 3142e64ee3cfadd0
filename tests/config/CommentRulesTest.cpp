// The rules of section Anryze_Rule: how they are read into an engine's CommentSyntax, and how an
// engine's rules are written so that only rules that are set have keys.
#include "config/CommentSyntax.h"

#include "config/EngineRulesEditor.h"
#include "config/FileTypeTable.h"
#include "config/IniDocument.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

const char* kIni = "[Engin]\r\n"
                   "Lang_c=C_STYLE,C,1\r\n"
                   "Lang_py=HASH,Python,1\r\n"
                   "Lang_pas=PASCAL,Pascal,1\r\n"
                   "[Anryze_Pat]\r\n"
                   "C_STYLE=//,/*,*/\r\n"
                   "HASH=#,,\r\n"
                   "PASCAL=//,{,}\r\n"
                   "[Anryze_Rule]\r\n"
                   "C_STYLE.Escape=\\\r\n"
                   "hash.multiline=\"\"\", '''\r\n"
                   "HASH.Docstring=1\r\n"
                   "PASCAL.Block=(*\r\n";

std::string text(const IniDocument& doc)
{
    const QByteArray bytes = doc.toBytes();
    return bytes.toStdString();
}

} // namespace

TEST(CommentRules, EnginesReadTheirRulesFromAnryzeRule)
{
    EngineTable engines(IniDocument::fromBytes(kIni));
    const CommentSyntax& c = engines.syntax(engines.engineIndexForPath(QStringLiteral("a.c")));
    EXPECT_EQ(c.lineToken, "//");
    EXPECT_EQ(c.rules.escape, "\\");
    EXPECT_TRUE(c.extended());
    // Names are matched without regard to case, as every key of the file is.
    const CommentSyntax& py = engines.syntax(engines.engineIndexForPath(QStringLiteral("a.py")));
    EXPECT_EQ(py.rules.multiline, (std::vector<TokenPair>{{"\"\"\"", "\"\"\""}, {"'''", "'''"}}));
    EXPECT_TRUE(py.rules.docstrings);
    // A value that cannot be read leaves its rule unset: this engine counts as before.
    const CommentSyntax& pas = engines.syntax(engines.engineIndexForPath(QStringLiteral("a.pas")));
    EXPECT_FALSE(pas.extended());
    EXPECT_EQ(pas, (CommentSyntax{"//", "{", "}"}));
}

TEST(CommentRules, AFileWithoutTheSectionGivesEnginesWithoutRules)
{
    const IniDocument doc = IniDocument::fromBytes("[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n");
    const CommentSyntax c = CommentSyntax::forEngine(doc, QStringLiteral("C_STYLE"));
    EXPECT_EQ(c, (CommentSyntax{"//", "/*", "*/"}));
    EXPECT_FALSE(c.extended());
}

TEST(CommentRules, EachRuleReadsBackAsItIsWritten)
{
    CommentRules rules;
    ASSERT_TRUE(rules.setRule(QStringLiteral("Line"), QStringLiteral(" # , ; ")));
    ASSERT_TRUE(rules.setRule(QStringLiteral("LineStart"), QStringLiteral("REM,::")));
    ASSERT_TRUE(rules.setRule(QStringLiteral("Block"), QStringLiteral("(* *),  --[==[   ]==]")));
    ASSERT_TRUE(rules.setRule(QStringLiteral("Nest"), QStringLiteral("1")));
    ASSERT_TRUE(rules.setRule(QStringLiteral("Escape"), QStringLiteral("￥")));
    ASSERT_TRUE(rules.setRule(QStringLiteral("Multiline"), QStringLiteral("`,[[ ]]")));
    ASSERT_TRUE(rules.setRule(QStringLiteral("Docstring"), QStringLiteral("1")));
    EXPECT_EQ(rules.lineTokens, (std::vector<std::string>{"#", ";"}));
    EXPECT_EQ(rules.blockPairs, (std::vector<TokenPair>{{"(*", "*)"}, {"--[==[", "]==]"}}));
    EXPECT_EQ(rules.multiline, (std::vector<TokenPair>{{"`", "`"}, {"[[", "]]"}}));
    EXPECT_EQ(rules.ruleText(QStringLiteral("Line")), QStringLiteral("#,;"));
    EXPECT_EQ(rules.ruleText(QStringLiteral("Block")), QStringLiteral("(* *),--[==[ ]==]"));
    EXPECT_EQ(rules.ruleText(QStringLiteral("Multiline")), QStringLiteral("`,[[ ]]"));
    CommentRules again;
    for (const QString& rule : CommentRules::ruleNames())
        ASSERT_TRUE(again.setRule(rule, rules.ruleText(rule)));
    EXPECT_EQ(again, rules);
}

TEST(CommentRules, MalformedTextIsRefusedWithItsReason)
{
    CommentRules rules;
    QString error;
    EXPECT_FALSE(rules.setRule(QStringLiteral("Block"), QStringLiteral("(* *), {"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("「{」")));
    EXPECT_FALSE(rules.setRule(QStringLiteral("Multiline"), QStringLiteral("a b c"), &error));
    EXPECT_FALSE(rules.setRule(QStringLiteral("Escape"), QStringLiteral("\\\\"), &error));
    EXPECT_FALSE(rules.setRule(QStringLiteral("Nest"), QStringLiteral("yes"), &error));
    EXPECT_FALSE(rules.any()); // nothing was taken
}

TEST(CommentRules, OnlyRulesThatAreSetHaveKeys)
{
    const QByteArray original = "[Engin]\r\nLang_c=C_STYLE,C,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";
    IniDocument doc = IniDocument::fromBytes(original.toStdString());
    // An engine without rules writes nothing.
    EXPECT_FALSE(CommentRules{}.writeTo(doc, QStringLiteral("C_STYLE")));
    EXPECT_EQ(doc.toBytes(), original);

    CommentRules rules;
    rules.setRule(QStringLiteral("Escape"), QStringLiteral("\\"));
    rules.setRule(QStringLiteral("Multiline"), QStringLiteral("\"\"\""));
    EXPECT_TRUE(rules.writeTo(doc, QStringLiteral("C_STYLE")));
    EXPECT_EQ(text(doc), original.toStdString() + "[Anryze_Rule]\r\nC_STYLE.Escape=\\\r\nC_STYLE.Multiline=\"\"\"\"\"\r\n");
    EXPECT_EQ(CommentRules::fromDocument(IniDocument::fromBytes(text(doc)), QStringLiteral("C_STYLE")), rules);
    EXPECT_FALSE(rules.writeTo(doc, QStringLiteral("C_STYLE"))); // unchanged

    // Unset again: the keys go, and the section with them.
    EXPECT_TRUE(CommentRules{}.writeTo(doc, QStringLiteral("C_STYLE")));
    EXPECT_EQ(doc.toBytes(), original);
}

TEST(CommentRules, TheEditorWritesOnlyWhatChanged)
{
    TempDir dir;
    const QByteArray original = QByteArray(kIni) + "; a note of the user\r\n";
    const QString path = dir.write(QStringLiteral("Tarvik.ini"), original);
    SettingsStore settings(path);
    EngineRulesEditor editor(settings);
    const std::vector<CommentSyntax> syntaxes = editor.syntaxes({QStringLiteral("C_STYLE"), QStringLiteral("HASH")});
    ASSERT_EQ(syntaxes.size(), 2u);
    EXPECT_EQ(syntaxes[1].rules.docstrings, true);

    // The same rules again: the file is not touched.
    QString error;
    ASSERT_TRUE(editor.save({{QStringLiteral("C_STYLE"), syntaxes[0].rules}, {QStringLiteral("HASH"), syntaxes[1].rules}},
                            &error));
    EXPECT_EQ(dir.read(QStringLiteral("Tarvik.ini")), original);

    // HASH loses its docstrings; its other key and the other engines' lines stay as they were.
    CommentRules hash = syntaxes[1].rules;
    hash.docstrings = false;
    ASSERT_TRUE(editor.save({{QStringLiteral("HASH"), hash}}, &error));
    QByteArray expected = original;
    expected.replace("HASH.Docstring=1\r\n", "");
    EXPECT_EQ(dir.read(QStringLiteral("Tarvik.ini")), expected);
}
