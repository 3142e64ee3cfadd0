#include "counting/TextReport.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarvik;

namespace {

QString render(const std::function<void(TextReport&)>& body)
{
    QString text;
    TextReport report([&](const QString& s) { text += s; }, QStringLiteral("2026/12/07"), QStringLiteral("."));
    body(report);
    return text;
}

FileResult counted(const QString& path, int64_t e, int64_t c, int64_t t)
{
    FileResult r = FileResult::forPath(path);
    r.outcome = FileOutcome::Counted;
    r.counts = {e, c, t};
    return r;
}

const QString kDash = QString(79, u'-') + QStringLiteral("\r\n");

} // namespace

TEST(TextReport, OneCountedFileGivesSevenLines)
{
    QString text = render([](TextReport& r) {
        r.runStarted(1);
        r.fileAnalysed(0, counted(QStringLiteral("/src/main.c"), 1, 2, 3));
        r.runFinished(RunSummary{1, 1, {}});
    });
    QString expected = kDash
                       + QStringLiteral("      Program ＩＤ              実行行            コメント行          総行数     \r\n")
                       + kDash
                       + QStringLiteral("            main.c                 1                    2                 3\r\n")
                       + kDash
                       + QStringLiteral("          総実行数              0.001 KStep です        2026/12/07\r\n") + kDash;
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.split(QStringLiteral("\r\n")).size(), 8);
}

TEST(TextReport, LinesOfFilesWithoutCounts)
{
    auto line = [](FileOutcome outcome) {
        FileResult r = FileResult::forPath(QStringLiteral("/src/x.txt"));
        r.outcome = outcome;
        return render([&](TextReport& t) { t.WriteReportLine(r); });
    };
    EXPECT_EQ(line(FileOutcome::NoEngine), QStringLiteral("             x.txt       不明なファイル   \r\n"));
    EXPECT_EQ(line(FileOutcome::NotAnalysable), QStringLiteral("             x.txt       解析不能ファイル   \r\n"));
    EXPECT_EQ(line(FileOutcome::Missing),
              QStringLiteral("             x.txt       ファイルが存在するか確認して下さい！   \r\n"));
}

TEST(TextReport, CountedLineIs75CharactersAndLongNamesKeepTheirEnd)
{
    QString text = render([](TextReport& r) {
        r.WriteReportLine(counted(QStringLiteral("/p/abcdefghij_klmnopqrstuvwxy.c"), 12345, 0, 999999));
    });
    EXPECT_EQ(text.size(), 75 + 2);
    EXPECT_TRUE(text.startsWith(QStringLiteral("_klmnopqrstuvwxy.c")));
}

TEST(TextReport, KStepFigureIsExactWithThreeDecimals)
{
    EXPECT_EQ(TextReport::kstepFigure(0, QStringLiteral(".")), u"0.000");
    EXPECT_EQ(TextReport::kstepFigure(999, QStringLiteral(".")), u"0.999");
    EXPECT_EQ(TextReport::kstepFigure(1000, QStringLiteral(".")), u"1.000");
    EXPECT_EQ(TextReport::kstepFigure(1234567, QStringLiteral(",")), u"1234,567");
    EXPECT_EQ(TextReport::kstepFigure(5000000000LL, QStringLiteral(".")), u"5000000.000");
}

TEST(TextReport, EmptyRunWritesNothingAndFailedRunHasNoTotals)
{
    EXPECT_EQ(render([](TextReport& r) {
                  r.runStarted(0);
                  r.runFinished(RunSummary{});
              }),
              QString());
    QString partial = render([](TextReport& r) {
        r.runStarted(2);
        r.fileAnalysed(0, counted(QStringLiteral("a.c"), 1, 1, 2));
    });
    EXPECT_FALSE(partial.contains(QStringLiteral("KStep")));
}
