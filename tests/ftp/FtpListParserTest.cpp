#include "ftp/FtpSession.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarvik;

TEST(FtpListParser, UnixFilesAndDirectories)
{
    FtpEntry file = parseListLine("-rw-r--r--   1 owner    group        1234 Jan 26 10:15 main.c\r\n");
    EXPECT_EQ(file.attributes, FtpEntry::kNormal);
    EXPECT_EQ(file.name, u"main.c");
    EXPECT_EQ(file.rawName, "main.c");
    EXPECT_TRUE(file.shortName.isEmpty());

    FtpEntry dir = parseListLine("drwxr-xr-x   2 owner    group        4096 Dec  3  2019 src");
    EXPECT_EQ(dir.attributes, FtpEntry::kDirectory);
    EXPECT_EQ(dir.name, u"src");

    // No group column, and a long-iso date.
    EXPECT_EQ(parseListLine("-rw-r--r-- 1 owner 77 Feb  1 09:00 a.c").name, u"a.c");
    EXPECT_EQ(parseListLine("drwxr-xr-x+ 3 owner group 4096 2024-01-26 10:15 iso").name, u"iso");
}

TEST(FtpListParser, UnixNamesKeepTheirBlanksAndLinksLoseTheirTarget)
{
    EXPECT_EQ(parseListLine("-rw-r--r-- 1 o g 10 Jan 26 10:15 read me  twice.txt").name, u"read me  twice.txt");
    EXPECT_EQ(parseListLine("-rw-r--r-- 1 o g 10 Jan 26 10:15  leading").name, u" leading");
    // A date-like name is still a name.
    EXPECT_EQ(parseListLine("-rw-r--r-- 1 o g 10 Jan 26 10:15 Jan 26 10:15 x").name, u"Jan 26 10:15 x");
    const FtpEntry link = parseListLine("lrwxrwxrwx 1 o g 7 Jan 26 10:15 cur dir -> /var/src");
    EXPECT_EQ(link.attributes, FtpEntry::kNormal);
    EXPECT_EQ(link.name, u"cur dir");
    EXPECT_EQ(link.rawName, "cur dir");
}

TEST(FtpListParser, DosListings)
{
    const FtpEntry dir = parseListLine("12-01-26  10:15AM       <DIR>          src\r");
    EXPECT_EQ(dir.attributes, FtpEntry::kDirectory);
    EXPECT_EQ(dir.name, u"src");
    const FtpEntry file = parseListLine("12-01-26  10:15AM              1234 main.c");
    EXPECT_EQ(file.attributes, FtpEntry::kNormal);
    EXPECT_EQ(file.name, u"main.c");
    const FtpEntry year = parseListLine("01-26-2012  22:15                 0 my file.c");
    EXPECT_EQ(year.attributes, FtpEntry::kNormal);
    EXPECT_EQ(year.name, u"my file.c");
}

TEST(FtpListParser, NamesAreDecodedFromUtf8OrCp932AndKeepTheirBytes)
{
    const FtpEntry utf8 = parseListLine("-rw-r--r-- 1 o g 10 Jan 26 10:15 \xe6\x97\xa5\xe6\x9c\xac.c");
    EXPECT_EQ(utf8.name, u"日本.c");
    // CP932 "ソース" has a backslash byte (0x5C) as its second byte.
    const QByteArray raw("\x83\x5c\x81\x5b\x83\x58.c");
    const FtpEntry cp932 = parseListLine("-rw-r--r-- 1 o g 10 Jan 26 10:15 " + raw);
    EXPECT_EQ(cp932.name, u"ソース.c");
    EXPECT_EQ(cp932.rawName, raw);
}

TEST(FtpListParser, AnythingElseIsTheWholeLineWithoutAttributes)
{
    for (const char* line : {"total 12", "garbage", "-rw-r--r-- 1 o g 10 Jan 26 10:15", "12-01-26 x <DIR> y"}) {
        const FtpEntry e = parseListLine(line);
        EXPECT_EQ(e.attributes, 0u) << line;
        EXPECT_EQ(e.name, QString::fromUtf8(line));
        EXPECT_EQ(e.rawName, line);
    }
    EXPECT_EQ(parseListLine("../../x.c").name, u"../../x.c");
}

// The name keeps a NUL, so that it cannot pass for the name before it, and ends after 260
// bytes, never inside a character; the whole name stays in rawName.
TEST(FtpListParser, NamesKeepANulAndEndAfter260Bytes)
{
    const QByteArray prefix = "-rw-r--r-- 1 o g 10 Jan 26 10:15 ";
    const FtpEntry nul = parseListLine(prefix + QByteArray("a.c\0../x", 8));
    EXPECT_EQ(nul.name, QString::fromLatin1("a.c\0../x", 8));
    EXPECT_EQ(nul.rawName, QByteArray("a.c\0../x", 8));

    const QByteArray exact(260, 'e');
    EXPECT_EQ(parseListLine(prefix + exact).name, QString::fromLatin1(exact));
    const FtpEntry longer = parseListLine(prefix + exact + "tail");
    EXPECT_EQ(longer.name, QString::fromLatin1(exact));
    EXPECT_EQ(longer.rawName, exact + "tail");

    // "x" then あ × 150: byte 260 is the first half of a character in either encoding.
    const QByteArray utf8 = "xx" + QStringLiteral("あ").toUtf8().repeated(100);
    EXPECT_EQ(parseListLine(prefix + utf8).name, u"xx" + QStringLiteral("あ").repeated(86));
    const QByteArray cp932 = "x" + QByteArray("\x82\xa0").repeated(150);
    EXPECT_EQ(parseListLine(prefix + cp932).name, u"x" + QStringLiteral("あ").repeated(129));
}

// Two entries that read alike cannot be told apart by the name the user chose: neither is sent.
TEST(FtpListParser, NamesThatReadAlikeAreSentUnderNeither)
{
    const QByteArray line = "-rw-r--r--   1 owner    group          10 Jan 26 10:15 ";
    const QByteArray cp932 = "\x83\x5c.c", utf8 = "\xe3\x82\xbd.c"; // ソ.c twice
    QHash<QString, QByteArray> raw;
    const FtpListing listing = remote::parseListing(
        "total 3\r\n" + line + cp932 + "\r\n" + line + utf8 + "\r\n" + line + "a.c\r\n" + line + "a.c\r\n", raw);
    ASSERT_EQ(listing.entries.size(), 4);
    EXPECT_EQ(raw.value(QStringLiteral("ソ.c")), remote::kUnsendable);
    EXPECT_EQ(raw.value(QStringLiteral("a.c")), QByteArray("a.c"));
}
