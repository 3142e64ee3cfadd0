#include "config/CategoryEditor.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::test::TempDir;
using Category = CategoryEditor::Category;

namespace {

const QByteArray kIni = "[Mode]\r\nCount_Mode=1\r\n[Category]\r\nCat_1=外部ライブラリ;vendor/\r\nCat_2=テスト;test/;*_test.*\r\n"
                        "Cat_3=;ignored/\r\nCat_4=生成;gen/\r\n\r\n[DIR]\r\nDef_Dir=/src\r\n";

class CategoryEditorTest : public ::testing::Test {
protected:
    TempDir m_dir;
    QString m_path = m_dir.write(QStringLiteral("Tarvik.ini"), kIni);
    SettingsStore m_store{m_path};
    CategoryEditor m_editor{m_store};
    QByteArray content() { return m_dir.read(QStringLiteral("Tarvik.ini")); }
};

} // namespace

TEST_F(CategoryEditorTest, ReadsAsTheCountDoesAndRoundTrips)
{
    // A key without a name counts for nothing; the list goes on after it.
    const std::vector<Category> read = m_editor.read();
    ASSERT_EQ(read.size(), 3u);

    // Written back, the key without a name goes; written again unchanged, the file is not touched.
    QString error;
    ASSERT_TRUE(m_editor.save(read, &error)) << error.toStdString();
    const QByteArray renumbered = "[Mode]\r\nCount_Mode=1\r\n[Category]\r\nCat_1=外部ライブラリ;vendor/\r\n"
                                  "Cat_2=テスト;test/;*_test.*\r\nCat_3=生成;gen/\r\n\r\n[DIR]\r\nDef_Dir=/src\r\n";
    EXPECT_EQ(content(), renumbered);
    ASSERT_TRUE(m_editor.save(read, &error));
    EXPECT_EQ(content(), renumbered);

    // Reordered and grown: Cat_1…Cat_4 in the new order, read back the same by the count too.
    const std::vector<Category> edited{read[2], read[0], {QStringLiteral(" 文書 "), CategoryEditor::patternsOf(QStringLiteral(" docs/ ;; *.md"))},
                                       read[1]};
    ASSERT_TRUE(m_editor.save(edited, &error)) << error.toStdString();
    std::vector<Category> expected = edited;
    expected[2] = {QStringLiteral("文書"), {QStringLiteral("docs/"), QStringLiteral("*.md")}};
    EXPECT_EQ(m_editor.read(), expected);
}

TEST_F(CategoryEditorTest, AShorterListDropsTheKeysLeftOverAndNoneDropsTheSection)
{
    QString error;
    ASSERT_TRUE(m_editor.save({{QStringLiteral("テスト"), {QStringLiteral("tests/")}}}, &error)) << error.toStdString();
    EXPECT_EQ(content(), QByteArray("[Mode]\r\nCount_Mode=1\r\n[Category]\r\nCat_1=テスト;tests/\r\n\r\n[DIR]\r\nDef_Dir=/src\r\n"));
    ASSERT_TRUE(m_editor.save({}, &error)) << error.toStdString();
    EXPECT_EQ(content(), QByteArray("[Mode]\r\nCount_Mode=1\r\n\r\n[DIR]\r\nDef_Dir=/src\r\n"));
    // A file without the section stays without it.
    const QByteArray before = content();
    ASSERT_TRUE(m_editor.save({}, &error));
    EXPECT_EQ(content(), before);
}

TEST_F(CategoryEditorTest, RefusesWhatWouldNotReadBackAsTyped)
{
    const Category good{QStringLiteral("テスト"), {QStringLiteral("test/")}};
    const struct {
        std::vector<Category> list;
        int at;
        const char* says;
    } cases[] = {
        {{good, {QStringLiteral("  "), {QStringLiteral("x/")}}}, 1, "2 行目のカテゴリに名前がありません。"},
        {{good, {QStringLiteral("テスト "), {}}}, 1, "カテゴリ名「テスト」が2回使われています。"},
        {{{QStringLiteral("本体"), {}}}, 0, "「本体」はどのカテゴリにも当たらないファイルの集計名です。別の名前にして下さい。"},
        {{{QStringLiteral("a;b"), {}}}, 0, "カテゴリ名「a;b」に「;」は使えません。"},
        {{good, {QStringLiteral("x"), {QStringLiteral("#note")}}}, 1, "カテゴリ「x」のパターン「#note」に一致するパスはありません。"},
        {{{QStringLiteral("x"), {QStringLiteral("a;b")}}}, 0, "カテゴリ「x」のパターン「a;b」に一致するパスはありません。"},
        {{{QStringLiteral("長い"), {QString(600, u'a')}}}, 0, "カテゴリ「長い」は長すぎて設定ファイルに保存できません。"},
    };
    for (const auto& c : cases) {
        QString error;
        int at = -1;
        EXPECT_FALSE(m_editor.save(c.list, &error, &at));
        EXPECT_EQ(error, QString::fromUtf8(c.says));
        EXPECT_EQ(at, c.at) << c.says;
    }
    EXPECT_EQ(content(), kIni);
}
