#include "counting/SourceFile.h"

#include "config/TextCodec.h"

#include "config/NativePath.h"
#include "counting/LineClassifier.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::TempDir;
using Status = SourceFileCount::Status;

namespace {
const CommentSyntax kC{"//", "/*", "*/"};

SourceFileCount countPath(const QString& path) { return countSourceFile(pathToNative(path), kC, true); }
} // namespace

TEST(SourceFile, Cp932FileIsDecodedBeforeCounting)
{
    TempDir dir;
    // "　" (ideographic space, 81 40) alone is blank; "// 日本" is a comment; "x;" code.
    const QString path = dir.write(QStringLiteral("sjis.c"), "\x81\x40\r\n// \x93\xfa\x96\x7b\r\nx;\r\n");
    SourceFileCount r = countPath(path);
    EXPECT_EQ(r.status, Status::Counted);
    EXPECT_EQ(r.counts, (FileCounts{1, 1, 3}));
}

TEST(SourceFile, Utf8ByteOrderMarkIsNotText)
{
    TempDir dir;
    SourceFileCount r = countPath(dir.write(QStringLiteral("bom.c"), "\xEF\xBB\xBF// c\nx;\n"));
    EXPECT_EQ(r.counts, (FileCounts{1, 1, 2}));
}

TEST(SourceFile, LargeFilesAreStreamedWithTheSameCounts)
{
    TempDir dir;
    // Over the whole-file limit, with lines and CP932 characters crossing the read pieces.
    std::string unit = "int x; /* \x93\xfa\x96\x7b */ y;\r\n// comment \x82\xa0\r\n\r\n/* open\r\n close */\r";
    std::string big;
    while (big.size() < (9u << 20))
        big += unit;
    big += "tail";
    const QString path = dir.write(QStringLiteral("big.c"), QByteArray::fromStdString(big));
    SourceFileCount r = countPath(path);
    ASSERT_EQ(r.status, Status::Counted);
    std::string utf8;
    decodeToUtf8(big, utf8);
    EXPECT_EQ(r.counts, CountFileLines(utf8, kC, true).counts);

    std::string bigUtf8 = "\xEF\xBB\xBF";
    while (bigUtf8.size() < (9u << 20))
        bigUtf8 += "x; // 日本語\n";
    r = countPath(dir.write(QStringLiteral("big8.c"), QByteArray::fromStdString(bigUtf8)));
    EXPECT_EQ(r.counts, CountFileLines(std::string_view(bigUtf8).substr(3), kC, true).counts);
}

TEST(SourceFile, OnlyRegularFilesAreRead)
{
    TempDir dir;
    EXPECT_EQ(countPath(dir.path(QStringLiteral("absent.c"))).status, Status::NotAFile);
    EXPECT_EQ(countPath(dir.mkdir(QStringLiteral("folder.c"))).status, Status::NotAFile);
    // A FIFO would block a reader forever; it must not even be opened.
    const QString fifo = dir.path(QStringLiteral("pipe.c"));
    ASSERT_EQ(::mkfifo(pathToNative(fifo).c_str(), 0600), 0);
    EXPECT_EQ(countPath(fifo).status, Status::NotAFile);
    EXPECT_EQ(countPath(QStringLiteral("/dev/null")).status, Status::NotAFile);
    const QString dangling = dir.path(QStringLiteral("dangling.c"));
    ASSERT_EQ(::symlink("/nonexistent/target.c", pathToNative(dangling).c_str()), 0);
    EXPECT_EQ(countPath(dangling).status, Status::NotAFile);
}

TEST(SourceFile, AFileThatCannotBeReadIsReportedWithItsReason)
{
    // A regular file whose reading fails (EIO), whoever runs the test.
    SourceFileCount r = countPath(QStringLiteral("/proc/self/mem"));
    EXPECT_EQ(r.status, Status::Unreadable);
    EXPECT_FALSE(r.error.isEmpty());
}
