#include "output/DiffPrintLayout.h"
#include "output/PrintLayout.h"

#include "support/FileChanges.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tarvik;

TEST(PrintLayout, FieldsAreRightAlignedAndLongValuesPrintedWhole)
{
    EXPECT_EQ(PrintLayout::rowText({QStringLiteral("abcdefghijklmnopqrst.c"), QStringLiteral("12"), QStringLiteral("3"),
                                    QStringLiteral("45")}),
              QStringLiteral("abcdefghijklmno") + QString(9, u' ') + QStringLiteral("12") + QString(12, u' ')
                  + QStringLiteral("3") + QString(11, u' ') + QStringLiteral("45"));
    EXPECT_EQ(PrintLayout::rowText({QStringLiteral("解析結果"), QStringLiteral("0.123 KStep です"),
                                    QStringLiteral("2026/12/07"), QStringLiteral("Tarvik")}),
              QString(11, u' ') + QStringLiteral("解析結果0.123 KStep です   2026/12/07       Tarvik"));
}

TEST(PrintLayout, FortyRowsFillAPageAndTheFortyFirstStartsTheNext)
{
    QList<PrintLayout::Row> rows(40, PrintLayout::Row{QStringLiteral("a.c"), QStringLiteral("1"), QStringLiteral("0"),
                                                      QStringLiteral("1")});
    EXPECT_EQ(PrintLayout::pages(rows).size(), 1);
    rows.append(rows.first());
    const QList<PrintPage> pages = PrintLayout::pages(rows);
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(pages[0].items.size(), 2 + 40);
    ASSERT_EQ(pages[1].items.size(), 2 + 1);
    // Every page starts with the heading; rows are a line and a half apart from 4.5 down.
    EXPECT_EQ(pages[1].items[0].text, QStringLiteral("解　析　結　果"));
    EXPECT_EQ(pages[1].items[0].font, PrintItem::Font::Title);
    EXPECT_DOUBLE_EQ(pages[1].items[2].y, 4.5);
    EXPECT_DOUBLE_EQ(pages[0].items[41].y, 4.5 + 39 * 1.5);
    EXPECT_DOUBLE_EQ(pages[0].items[41].x, 8);
}

namespace {

using test::fileChange;

} // namespace

TEST(DiffPrintLayout, ColumnsLineUpInCellsWithFullWidthTextsCountingTwo)
{
    EXPECT_EQ(DiffPrintLayout::cells(QStringLiteral("変更なし a/b.c")), 8 + 6);
    EXPECT_EQ(DiffPrintLayout::rowText(fileChange(QStringLiteral("src/main.c"), ChangeStatus::Changed, 12, 14, {3, 1, 0})),
              QStringLiteral("    変更      12      14       3       1       0  src/main.c"));
    EXPECT_EQ(DiffPrintLayout::rowText(fileChange(QStringLiteral("n.c"), ChangeStatus::New, 0, 2, {2, 0, 0})),
              QStringLiteral("    新規       -       2       2       0       0  n.c"));
    EXPECT_EQ(DiffPrintLayout::rowText(fileChange(QStringLiteral("d.c"), ChangeStatus::Deleted, 5, 0, {0, 0, 5})),
              QStringLiteral("    削除       5       -       0       0       5  d.c"));
    // A file that was not compared shows its outcome over the figures, right-aligned in 40 cells.
    EXPECT_EQ(DiffPrintLayout::rowText(fileChange(QStringLiteral("README"), ChangeStatus::Unchanged, 0, 0, {},
                                              FileOutcome::NoEngine)),
              QStringLiteral("変更なし") + QString(40 - 14, u' ') + QStringLiteral("不明なファイル  README"));
    // Figures wider than their column are printed whole.
    EXPECT_EQ(DiffPrintLayout::rowText(fileChange(QStringLiteral("x.c"), ChangeStatus::Unchanged, 123456789, 123456789, {})),
              QStringLiteral("変更なし123456789123456789       0       0       0  x.c"));
}

TEST(DiffPrintLayout, LongPathsKeepTheirEndInThirtySixCells)
{
    // The path follows "変更なし" (4 characters, 8 cells), the figures and the gap.
    const int pathStart = 4 + 40 + 2;
    const QString ascii = QStringLiteral("very/long/directory/names/that/go/on/and/on/file.c"); // 50 cells
    const QString cut = DiffPrintLayout::rowText(fileChange(ascii, ChangeStatus::Unchanged, 1, 1, {})).mid(pathStart);
    EXPECT_EQ(cut, QStringLiteral("...") + ascii.right(33));
    // Full-width characters take two cells: after "..." and "1.c", 30 cells hold 15 of them.
    const QString wide = QString(20, QChar(0x30C6)) + QStringLiteral("1.c"); // 43 cells
    const QString wideCut = DiffPrintLayout::rowText(fileChange(wide, ChangeStatus::Unchanged, 1, 1, {})).mid(pathStart);
    EXPECT_EQ(wideCut, QStringLiteral("...") + QString(15, QChar(0x30C6)) + QStringLiteral("1.c"));
    EXPECT_EQ(DiffPrintLayout::cells(wideCut), 36);
    // One cell short of a full-width character: the cut stays within 36.
    const QString odd = QStringLiteral("x") + wide;
    EXPECT_EQ(DiffPrintLayout::rowText(fileChange(odd, ChangeStatus::Unchanged, 1, 1, {})).mid(pathStart), wideCut);
    // A path of exactly 36 cells is printed as it is.
    const QString fits = QString(36, u'p');
    EXPECT_TRUE(DiffPrintLayout::rowText(fileChange(fits, ChangeStatus::Unchanged, 1, 1, {})).endsWith(u"  " + fits));
}

TEST(DiffPrintLayout, TotalsTakeTheLastTwoLinesAndFortyLinesFillAPage)
{
    DiffTotals t;
    t.newFiles = 1;
    t.deletedFiles = 2;
    t.changedFiles = 3;
    t.unchangedFiles = 4;
    t.oldSteps = 100;
    t.newSteps = 1150;
    t.steps = {1040, 20, 10};
    EXPECT_EQ(DiffPrintLayout::totalsText(t, QStringLiteral("2026/12/07"), QStringLiteral(",")),
              (QStringList{QStringLiteral("    合計     100    1150    1040      20      10  改造規模 1,060 KStep  2026/12/07"),
                           QString(50, u' ') + QStringLiteral("新規 1  削除 2  変更 3  変更なし 4")}));

    QList<FileChange> files(38, fileChange(QStringLiteral("a.c"), ChangeStatus::Unchanged, 1, 1, {}));
    QList<PrintPage> pages = DiffPrintLayout::pages(files, t, QStringLiteral("d"), QStringLiteral("."));
    ASSERT_EQ(pages.size(), 1);
    ASSERT_EQ(pages[0].items.size(), 2 + 40);
    EXPECT_EQ(pages[0].items[0].text, QStringLiteral("差　分　解　析　結　果"));
    EXPECT_EQ(pages[0].items[0].font, PrintItem::Font::Title);
    EXPECT_EQ(pages[0].items[1].text, QStringLiteral("    状態      旧      新    追加    変更    削除  ファイル"));
    EXPECT_TRUE(pages[0].items[41].text.startsWith(QString(50, u' ') + QStringLiteral("新規 1")));
    EXPECT_DOUBLE_EQ(pages[0].items[41].y, 4.5 + 39 * 1.5);

    files.append(files.first());
    pages = DiffPrintLayout::pages(files, t, QStringLiteral("d"), QStringLiteral("."));
    ASSERT_EQ(pages.size(), 2);
    ASSERT_EQ(pages[1].items.size(), 2 + 1);
    EXPECT_EQ(pages[1].items[1].text, pages[0].items[1].text);
    EXPECT_DOUBLE_EQ(pages[1].items[2].y, 4.5);
    EXPECT_TRUE(pages[1].items[2].text.startsWith(QString(50, u' ') + QStringLiteral("新規 1")));

    // No files: the heading and the totals.
    EXPECT_EQ(DiffPrintLayout::pages({}, DiffTotals{}, QStringLiteral("d"), QStringLiteral("."))[0].items.size(), 4);
}
