#include "output/PrintLayout.h"

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
