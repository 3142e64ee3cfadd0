#include "output/CsvFormat.h"

#include "config/NativePath.h"
#include "config/TextCodec.h"
#include "counting/TextReport.h"

#include "support/DelimitedText.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

// Names a file system allows and a spreadsheet must still keep in one cell each.
const QStringList kAwkwardFields{
    QStringLiteral("plain.c"),
    QStringLiteral("a,b.c"),
    QStringLiteral("say \"hi\".c"),
    QStringLiteral("\"leading quote"),
    QStringLiteral("line\r\nbreak"),
    QStringLiteral("lone\nfeed"),
    QStringLiteral("lone\rreturn"),
    QStringLiteral("tab\there"),
    QStringLiteral("全角　スペース.c"),
    QString(),
    QStringLiteral(" padded "),
};

FileResult counted(const QString& path, FileCounts counts)
{
    FileResult r = FileResult::forPath(path);
    r.outcome = FileOutcome::Counted;
    r.counts = counts;
    return r;
}

} // namespace

TEST(CsvFormat, QuotesOnlyFieldsThatNeedIt)
{
    EXPECT_EQ(CsvFormat::field(QStringLiteral("plain.c")), QByteArray("plain.c"));
    EXPECT_EQ(CsvFormat::field(QStringLiteral("a,b")), QByteArray("\"a,b\""));
    EXPECT_EQ(CsvFormat::field(QStringLiteral("say \"hi\"")), QByteArray("\"say \"\"hi\"\"\""));
    EXPECT_EQ(CsvFormat::field(QStringLiteral("a\r\nb")), QByteArray("\"a\r\nb\""));
    EXPECT_EQ(CsvFormat::field(QStringLiteral("a\nb")), QByteArray("\"a\nb\""));
    // A tab is no separator in a CSV file: the command line has always written it bare.
    EXPECT_EQ(CsvFormat::field(QStringLiteral("a\tb")), QByteArray("a\tb"));
    EXPECT_EQ(CsvFormat::field(QStringLiteral("ソース.c")), QStringLiteral("ソース.c").toUtf8());
}

// For a spreadsheet a cell that would start a formula is made text; a program gets the bytes.
TEST(CsvFormat, ForASpreadsheetAFormulaIsText)
{
    const struct {
        const char* text;
        const char* forSpreadsheet;
    } cases[] = {{"=HYPERLINK(\"http://x/\",\"x\").c", "\"'=HYPERLINK(\"\"http://x/\"\",\"\"x\"\").c\""},
                 {"+1.c", "'+1.c"}, {"-1.c", "'-1.c"}, {"@SUM(A1).c", "'@SUM(A1).c"}, {"\tx.c", "'\tx.c"},
                 {"\rx.c", "\"'\rx.c\""}, {"a=b.c", "a=b.c"}, {"", ""}};
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(CsvFormat::field(text, CsvFormat::Reader::Spreadsheet), QByteArray(c.forSpreadsheet)) << c.text;
        EXPECT_EQ(CsvFormat::field(text).replace('\'', ""), QByteArray(c.forSpreadsheet).replace('\'', "")) << c.text;
    }
}

TEST(CsvFormat, TabSeparatedCellsQuoteTabsLineBreaksAndQuotes)
{
    EXPECT_EQ(CsvFormat::tabField(QStringLiteral("a,b")), QStringLiteral("a,b"));
    EXPECT_EQ(CsvFormat::tabField(QStringLiteral("a\tb")), QStringLiteral("\"a\tb\""));
    EXPECT_EQ(CsvFormat::tabField(QStringLiteral("a\nb")), QStringLiteral("\"a\nb\""));
    EXPECT_EQ(CsvFormat::tabField(QStringLiteral("a\rb")), QStringLiteral("\"a\rb\""));
    EXPECT_EQ(CsvFormat::tabField(QStringLiteral("x\"y")), QStringLiteral("\"x\"\"y\""));
    EXPECT_EQ(CsvFormat::tabRecord({QStringLiteral("1"), QString(), QStringLiteral("3")}),
              QStringLiteral("1\t\t3\r\n"));
}

TEST(CsvFormat, EveryAwkwardFieldReadsBackAsOneCell)
{
    bool ok = false;
    const QByteArray csv = CsvFormat::record(kAwkwardFields) + CsvFormat::record({QStringLiteral("next")});
    const QList<QStringList> fromCsv = test::parseDelimited(QString::fromUtf8(csv), u',', &ok);
    ASSERT_TRUE(ok) << csv.toStdString();
    ASSERT_EQ(fromCsv.size(), 2);
    EXPECT_EQ(fromCsv[0], kAwkwardFields);
    EXPECT_EQ(fromCsv[1], QStringList{QStringLiteral("next")});

    const QString tsv = CsvFormat::tabRecord(kAwkwardFields) + CsvFormat::tabRecord({QStringLiteral("next")});
    const QList<QStringList> fromTsv = test::parseDelimited(tsv, u'\t', &ok);
    ASSERT_TRUE(ok) << tsv.toStdString();
    ASSERT_EQ(fromTsv.size(), 2);
    EXPECT_EQ(fromTsv[0], kAwkwardFields);
}

TEST(CsvFormat, NonUtf8NamesComeOutAsTheSavedReportShowsThem)
{
    // "テスト.c" in CP932: not UTF-8, so the name carries its bytes as escapes.
    const QString path = pathFromNative("/src/\x83\x65\x83\x58\x83\x67,v.c");
    const FileResult r = counted(path, {1, 0, 1});
    ASSERT_TRUE(r.programId.front().isSurrogate());

    QByteArray report;
    TextReport(
        [&](const QString& text) { report += text.toUtf8(); }, QStringLiteral("d"), QStringLiteral("."))
        .WriteReportLine(r);
    // Names go into a CSV as exportPath spells them.
    const QByteArray name = CsvFormat::field(exportPath(r.programId));
    EXPECT_TRUE(CsvFormat::resultRecord(r).contains(QByteArray(',' + name + ',')));
    ASSERT_TRUE(name.startsWith('"') && name.endsWith('"')); // the comma still quotes it
    const QByteArray inner = name.mid(1, name.size() - 2);
    EXPECT_TRUE(report.contains(inner)) << report.toStdString();
    EXPECT_TRUE(isValidUtf8(std::string_view(name.constData(), static_cast<size_t>(name.size()))));
    // The clipboard shows the same characters as the file.
    EXPECT_EQ(CsvFormat::tabField(exportPath(r.programId)), QString::fromUtf8(inner));
}

TEST(CsvFormat, SavedFileStartsWithTheByteOrderMarkThenHeaderAndRows)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("out.csv"));
    FileResult gone = FileResult::forPath(QStringLiteral("/x/gone,1.c"));
    QString error;
    ASSERT_TRUE(CsvFormat::SaveCsvFile(path, {counted(QStringLiteral("/x/a.c"), {3, 1, 5}), gone}, &error))
        << error.toStdString();
    EXPECT_EQ(dir.read(QStringLiteral("out.csv")),
              QByteArray("\xEF\xBB\xBFpath,program_id,directory,outcome,executable,comment,total\r\n"
                         "/x/a.c,a.c,/x/,Counted,3,1,5\r\n"
                         "\"/x/gone,1.c\",\"gone,1.c\",/x/,Missing,0,0,0\r\n"));
    ASSERT_TRUE(CsvFormat::SaveCsvFile(path, {FileResult::forPath(QStringLiteral("/x/=1+2.c"))}, &error));
    EXPECT_TRUE(dir.read(QStringLiteral("out.csv")).endsWith("/x/=1+2.c,'=1+2.c,/x/,Missing,0,0,0\r\n"));

    // Saving again replaces the whole file.
    ASSERT_TRUE(CsvFormat::SaveCsvFile(path, {}, &error));
    EXPECT_EQ(dir.read(QStringLiteral("out.csv")),
              QByteArray("\xEF\xBB\xBFpath,program_id,directory,outcome,executable,comment,total\r\n"));
}

TEST(CsvFormat, AFailedSaveSaysWhyAndLeavesNoPartialFile)
{
    TempDir dir;
    QString error;
    EXPECT_FALSE(CsvFormat::SaveCsvFile(dir.path(QStringLiteral("no/such/dir/out.csv")), {}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QDir(dir.path(QStringLiteral("no"))).exists());

    const QString path = dir.write(QStringLiteral("ro/out.csv"), "old\r\n");
    QFile::setPermissions(dir.path(QStringLiteral("ro")), QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                                              | QFileDevice::ReadOther | QFileDevice::ExeOther);
    int rc = test::runUnprivileged([&] {
        QString why;
        return !CsvFormat::SaveCsvFile(path, {counted(QStringLiteral("/x/a.c"), {1, 1, 1})}, &why)
                       && !why.isEmpty()
                   ? 0
                   : 1;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(dir.read(QStringLiteral("ro/out.csv")), QByteArray("old\r\n"));
    EXPECT_EQ(QDir(dir.path(QStringLiteral("ro"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("out.csv")}); // no temporary file left behind
}
