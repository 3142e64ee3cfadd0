#include "config/NativePath.h"
#include "counting/SourceEncoding.h"
#include "counting/SourceFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <random>
#include <string>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

// The test's own encoder, straight through iconv.
std::string encode(const std::string& utf8, const char* to)
{
    iconv_t cd = iconv_open(to, "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << to;
    std::string out(utf8.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(utf8.data());
    size_t left = utf8.size();
    char* dst = out.data();
    size_t room = out.size();
    EXPECT_NE(iconv(cd, &src, &left, &dst, &room), static_cast<size_t>(-1)) << to;
    iconv_close(cd);
    out.resize(out.size() - room);
    return out;
}

// A C file whose counts depend on every Japanese character being read as itself: lines of
// only ideographic spaces (and braces) are blank, "ボ" and "マ" end in "{" and "}" in CP932,
// "ソ" and "表" in a backslash.
const std::string kProgram =
    "// 日本語のコメント：全角スペース「　」を含む\r\n"
    "int ボ = 1; /* マ表ソ｛｝ */\r\n"
    "　　　　\r\n"
    "　}　\r\n"
    "/* 複数行の\r\n"
    "   コメント ソ表能 */ x = \"文字列 // ではない\";\r\n"
    "s = 'ボ'; // ボマ\r\n"
    "}\r\n";

struct Expected {
    int64_t executable, comment, total;
};
// Symbol lines not counted: the two brace lines are blank.
constexpr Expected kExpected{3, 2, 8};

SourceFileCount countAs(const TempDir& dir, const QString& name, const std::string& bytes)
{
    const QString path = dir.write(name, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return countSourceFile(pathToNative(path), CommentSyntax{"//", "/*", "*/"}, false);
}

} // namespace

TEST(SourceEncoding, TheSameProgramCountsAlikeInEveryEncoding)
{
    TempDir dir;
    const std::vector<std::pair<QString, std::string>> files = {
        {QStringLiteral("utf8.c"), kProgram},
        {QStringLiteral("utf8bom.c"), "\xEF\xBB\xBF" + kProgram},
        {QStringLiteral("utf16le.c"), "\xFF\xFE" + encode(kProgram, "UTF-16LE")},
        {QStringLiteral("utf16be.c"), "\xFE\xFF" + encode(kProgram, "UTF-16BE")},
        {QStringLiteral("cp932.c"), encode(kProgram, "CP932")},
        {QStringLiteral("eucjp.c"), encode(kProgram, "EUC-JP")},
    };
    for (const auto& [name, bytes] : files) {
        const SourceFileCount c = countAs(dir, name, bytes);
        ASSERT_EQ(c.status, SourceFileCount::Status::Counted) << name.toStdString();
        EXPECT_EQ(c.counts.executable, kExpected.executable) << name.toStdString();
        EXPECT_EQ(c.counts.comment, kExpected.comment) << name.toStdString();
        EXPECT_EQ(c.counts.total, kExpected.total) << name.toStdString();
    }
}

// Files above the size read in one piece are streamed: the encoding is judged on their
// beginning and characters split between pieces are joined.
TEST(SourceEncoding, LargeFilesAreDecodedAlikeWhenStreamed)
{
    TempDir dir;
    std::string program;
    while (program.size() < (9u << 20))
        program += kProgram;
    const int64_t copies = static_cast<int64_t>(program.size() / kProgram.size());
    for (const auto& [name, bytes] : std::vector<std::pair<QString, std::string>>{
             {QStringLiteral("big16.c"), "\xFF\xFE" + encode(program, "UTF-16LE")},
             {QStringLiteral("bigeuc.c"), encode(program, "EUC-JP")},
             {QStringLiteral("bigsjis.c"), encode(program, "CP932")}}) {
        const SourceFileCount c = countAs(dir, name, bytes);
        ASSERT_EQ(c.status, SourceFileCount::Status::Counted) << name.toStdString();
        EXPECT_EQ(c.counts.executable, kExpected.executable * copies) << name.toStdString();
        EXPECT_EQ(c.counts.comment, kExpected.comment * copies) << name.toStdString();
        EXPECT_EQ(c.counts.total, kExpected.total * copies) << name.toStdString();
    }
}

TEST(SourceEncoding, DetectionFallsBackToCp932)
{
    EXPECT_EQ(detectSourceEncoding(encode(kProgram, "EUC-JP")).name, "EUC-JP");
    EXPECT_EQ(detectSourceEncoding(encode(kProgram, "CP932")).name, "CP932");
    // Too little to tell: one non-ASCII byte pair that CP932 can read.
    EXPECT_EQ(detectSourceEncoding("x = 1; // \x83\x7B\n").name, "CP932");
    const SourceEncoding utf16 = detectSourceEncoding("\xFE\xFF\x00x");
    EXPECT_EQ(utf16.name, "UTF-16BE");
    EXPECT_EQ(utf16.bomLength, 2u);
    // A Western text that CP932 cannot read keeps the detector's answer.
    const std::string latin = encode("// Größe der Fläche über alles, déjà vu à la française, façade\n"
                                     "int größe = 0; // naïve résumé café crème brûlée\n",
                                     "ISO-8859-1");
    EXPECT_NE(detectSourceEncoding(latin).name, "CP932");
}

// The detector reads bytes it cannot make out slowly, so it judges a file on its beginning up to
// a few thousand non-ASCII bytes. Binary junk there leaves it without an answer, and the
// Japanese program after it is read as CP932 (read whole, the detector took it for Turkish).
TEST(SourceEncoding, DetectionJudgesTheBeginningOnly)
{
    std::mt19937 rng(5);
    std::string junk(8192, '\0');
    for (char& c : junk)
        c = static_cast<char>(0x80 | (rng() & 0x7F));
    std::string program;
    for (int i = 0; i < 2000; ++i)
        program += kProgram;
    const std::string bytes = junk.append("\r\n").append(encode(program, "CP932"));
    EXPECT_EQ(detectSourceEncoding(bytes).name, "CP932");

    TempDir dir;
    const SourceFileCount c = countAs(dir, QStringLiteral("junk.c"), bytes);
    ASSERT_EQ(c.status, SourceFileCount::Status::Counted);
    EXPECT_EQ(c.counts.executable, 1 + kExpected.executable * 2000);
    EXPECT_EQ(c.counts.comment, kExpected.comment * 2000);
    EXPECT_EQ(c.counts.total, 1 + kExpected.total * 2000);
}
