// The workbook as a spreadsheet program reads it back: the command line's sheets hold the rows of
// its CSV cell for cell, figures as numbers; a failed run or write keeps an older file.
#include "cli/CountCommand.h"
#include "output/ResultSheets.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"
#include "support/WorkbookReader.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sstream>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

class WorkbookTest : public ::testing::Test {
protected:
    WorkbookTest()
    {
        m_ini = m_dir.write(QStringLiteral("Tarvik.ini"), "[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n");
        m_dir.write(QStringLiteral("old/main.c"), "int main() {\n  return 0; // ok\n}\n");
        m_dir.write(QStringLiteral("old/日本語/部品.c"), "/* 部品 */\nint f(void);\n\n");
        m_dir.write(QStringLiteral("old/a,b \"q\".c"), "x;\n");
        m_dir.write(QStringLiteral("new/main.c"), "int main() {\n  return 1; // changed\n}\n");
        m_dir.write(QStringLiteral("new/日本語/部品.c"), "/* 部品 */\nint f(void);\nint g(void);\n");
        m_dir.write(QStringLiteral("new/tab\there.c"), "y;\n");
    }

    // The exit status; `text` gets what was written to standard output and to standard error.
    int count(const QStringList& args, std::string* text = nullptr)
    {
        std::ostringstream out;
        const int rc = CountCommand({m_ini, m_dir.path(), false, false, 2}).execute(args, out, out);
        if (text)
            *text = out.str();
        return rc;
    }

    // The sheet of `-f xlsx` checked against `-f csv`: bold titles, then the CSV's records cell
    // for cell under a frozen header and a filter; then the total: its texts, the KStep figure
    // as a number shown with three decimals, and the unit.
    void expectCsvRowsAndTotal(const QStringList& args, const QString& title, const QStringList& texts, double kstep)
    {
        std::string csv;
        ASSERT_EQ(count(QStringList{QStringLiteral("-f"), QStringLiteral("csv")} + args, &csv), 0);
        const QString book = m_dir.path(QStringLiteral("out.xlsx"));
        ASSERT_EQ(count(QStringList{QStringLiteral("-f"), QStringLiteral("xlsx"), QStringLiteral("-o"), book} + args), 0);
        const QJsonObject sheet = test::readSheet(book, title);
        EXPECT_EQ(test::differenceFromCsv(sheet, QString::fromStdString(csv)), QString());
        const QJsonArray rows = sheet[u"rows"].toArray();
        ASSERT_EQ(rows.size(), std::count(csv.begin(), csv.end(), '\n') + 1);
        for (const QJsonValue& heading : rows[0].toArray())
            EXPECT_TRUE(heading[u"b"].toBool());
        EXPECT_EQ(sheet[u"freeze"].toString(), QStringLiteral("A2"));
        const QChar lastColumn(char16_t(u'A' + rows[0].toArray().size() - 1));
        EXPECT_EQ(sheet[u"filter"].toString(), QStringLiteral("A1:%1%2").arg(lastColumn).arg(rows.size() - 1));
        const QJsonArray total = rows.last().toArray();
        for (qsizetype c = 0; c < texts.size(); ++c)
            EXPECT_EQ(total[c][u"v"].toString(), texts[c]);
        EXPECT_DOUBLE_EQ(total[texts.size()][u"v"].toDouble(), kstep);
        EXPECT_EQ(total[texts.size()][u"f"].toString(), QStringLiteral("0.000"));
        EXPECT_EQ(total[texts.size() + 1][u"v"].toString(), QStringLiteral("KStep です"));
    }

    TempDir m_dir;
    QString m_ini;
};

} // namespace

// A counted file, one without an engine and a missing one: the outcome names stay texts.
TEST_F(WorkbookTest, CountSheetHoldsTheCsvRowsAndTheGridsTotal)
{
    expectCsvRowsAndTotal({QStringLiteral("old"), m_dir.write(QStringLiteral("notes.txt"), "x\n"), QStringLiteral("gone.c")},
                          QStringLiteral("明細"), {QStringLiteral("解析結果"), QStringLiteral("総実行行数は")}, 0.005);
}

TEST_F(WorkbookTest, DiffSheetHoldsTheCsvRowsAndTheModificationSize)
{
    expectCsvRowsAndTotal({QStringLiteral("--diff"), QStringLiteral("old"), QStringLiteral("new")}, QStringLiteral("差分"),
                          {QStringLiteral("改造規模")}, 0.003);
}

// Every table is a sheet named by its title; KStep cells hold thousands, a text in a figures'
// column stays a text, and a column is as wide as its Japanese text.
TEST_F(WorkbookTest, EveryTableIsASheetOfItsOwn)
{
    using Kind = FigureTable::Kind;
    const FigureTable types{QStringLiteral("種類別"),
                            {{QStringLiteral("種類"), QStringLiteral("type"), Kind::Text},
                             {QStringLiteral("ファイル数"), QStringLiteral("files"), Kind::Count},
                             {QStringLiteral("KStep"), QStringLiteral("kstep"), Kind::KStep}},
                            {{QStringLiteral("とても長い日本語の種類の名前"), int64_t{2}, int64_t{12345}},
                             {QStringLiteral("c"), QStringLiteral("不明"), int64_t{7}}}};
    const QString path = m_dir.path(QStringLiteral("tables.xlsx"));
    QString error;
    ASSERT_TRUE(SaveWorkbook(path, {{types, std::nullopt}, {types, std::nullopt}}, &error)) << error.toStdString();
    EXPECT_FALSE(test::readSheet(path, QStringLiteral("種類別 (2)")).isEmpty()); // names are unique
    const QJsonObject sheet = test::readSheet(path, QStringLiteral("種類別"));
    const QJsonArray first = sheet[u"rows"][1].toArray();
    const QJsonArray second = sheet[u"rows"][2].toArray();
    EXPECT_EQ(first[2][u"f"].toString(), QStringLiteral("0.000"));
    EXPECT_DOUBLE_EQ(first[2][u"v"].toDouble(), 12.345);
    EXPECT_EQ(second[1][u"v"].toString(), QStringLiteral("不明"));
    EXPECT_DOUBLE_EQ(second[2][u"v"].toDouble(), 0.007);
    EXPECT_GE(sheet[u"widths"][u"A"].toDouble(), 28.0); // fourteen wide characters
    EXPECT_LT(sheet[u"widths"][u"B"].toDouble(), 20.0);
}

// A name holding "_x0041_" reads as written, not as the "A" it would code; a very long one
// widens its column only up to the widest a column gets.
TEST_F(WorkbookTest, NamesReadAsWrittenAndAColumnHasAWidest)
{
    const QStringList names{QStringLiteral("_x0041_.c"), QStringLiteral("a_x005F_x0041_x0042_.c"), QStringLiteral("_x41_.c"),
                            QString(150, u'n') + QStringLiteral(".c")};
    FigureTable table{QStringLiteral("明細"), {{QStringLiteral("Program ＩＤ"), QStringLiteral("program_id"), FigureTable::Kind::Text}}, {}};
    for (const QString& name : names)
        table.rows.push_back({name});
    const QString path = m_dir.path(QStringLiteral("names.xlsx"));
    QString error;
    ASSERT_TRUE(SaveWorkbook(path, {{table, std::nullopt}}, &error)) << error.toStdString();
    const QJsonObject sheet = test::readSheet(path, QStringLiteral("明細"));
    for (qsizetype r = 0; r < names.size(); ++r)
        EXPECT_EQ(sheet[u"rows"][r + 1][0][u"v"].toString(), names[r]);
    EXPECT_LT(sheet[u"widths"][u"A"].toDouble(), 101.0); // the widest, 100, and the library's padding
}

TEST_F(WorkbookTest, AWorkbookNeedsAnOutputFile)
{
    for (const QStringList& output : {QStringList{}, QStringList{QStringLiteral("-o"), QStringLiteral("-")}}) {
        std::string err;
        EXPECT_EQ(count(QStringList{QStringLiteral("-f"), QStringLiteral("xlsx"), QStringLiteral("old")} + output, &err), 2);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    EXPECT_FALSE(QFile::exists(m_dir.path(QStringLiteral("-"))));
}

// A run ended by the unexpected error and a folder without write rights keep the file that was
// there, with nothing left beside it.
TEST_F(WorkbookTest, AFailedRunOrWriteKeepsTheOlderWorkbook)
{
    const QString kept = m_dir.write(QStringLiteral("out/kept.xlsx"), "older workbook");
    m_ini = m_dir.write(QStringLiteral("mem.ini"), "[Engin]\r\nLang_/proc/self/mem=C_STYLE\r\nLang_c=C_STYLE\r\n");
    EXPECT_EQ(count({QStringLiteral("-f"), QStringLiteral("xlsx"), QStringLiteral("-o"), kept, QStringLiteral("old/main.c"),
                     QStringLiteral("/proc/self/mem")}),
              1);

    const std::vector<WorkbookSheet> sheets{ResultSheets::detailSheet({}, 0)};
    QString error;
    QFile::setPermissions(m_dir.path(QStringLiteral("out")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    // As root permission bits do not stop writes, so the save runs without root rights.
    EXPECT_EQ(test::runUnprivileged([&] { return SaveWorkbook(kept, sheets, &error) ? 1 : 0; }), 0);
    EXPECT_EQ(m_dir.read(QStringLiteral("out/kept.xlsx")), "older workbook");
    EXPECT_EQ(QDir(m_dir.path(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kept.xlsx")});
}

// Without --summary a workbook holds both groupings; each sheet below its headers is the
// summary's CSV cell for cell, its KStep a number shown with three decimals.
TEST_F(WorkbookTest, SubtotalSheetsHoldTheSummaryCsvOfACountAndOfAComparison)
{
    const QString book = m_dir.path(QStringLiteral("sums.xlsx"));
    for (const QStringList& run : {QStringList{QStringLiteral("old"), QStringLiteral("gone.c")},
                                   QStringList{QStringLiteral("--diff"), QStringLiteral("old"), QStringLiteral("new")}}) {
        ASSERT_EQ(count(QStringList{QStringLiteral("-f"), QStringLiteral("xlsx"), QStringLiteral("-o"), book} + run), 0);
        for (const auto& [summary, title] : {std::pair{QStringLiteral("type"), QStringLiteral("種類別")},
                                             std::pair{QStringLiteral("dir"), QStringLiteral("フォルダ別")}}) {
            std::string csv;
            ASSERT_EQ(count(QStringList{QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--summary"), summary} + run, &csv), 0);
            const QList<QStringList> records = test::parseDelimited(QString::fromStdString(csv), u',');
            const QJsonArray rows = test::readSheet(book, title)[u"rows"].toArray();
            ASSERT_EQ(rows.size(), records.size()) << title.toStdString();
            // Below the headers, which the sheet gives in Japanese and the CSV as keys.
            for (qsizetype r = 1; r < records.size(); ++r) {
                ASSERT_EQ(rows[r].toArray().size(), records[r].size()) << title.toStdString() << r;
                for (qsizetype c = 0; c < records[r].size(); ++c) {
                    const QJsonObject cell = rows[r].toArray()[c].toObject();
                    bool number = false;
                    const double figure = records[r][c].toDouble(&number);
                    if (number) {
                        EXPECT_EQ(cell[u"t"].toString(), u"n") << title.toStdString() << r << c;
                        EXPECT_DOUBLE_EQ(cell[u"v"].toDouble(), figure) << title.toStdString() << r << c;
                        if (records[0][c] == u"kstep") {
                            EXPECT_EQ(cell[u"f"].toString(), u"0.000");
                        }
                    } else {
                        EXPECT_EQ(cell[u"v"].toString(), records[r][c]) << title.toStdString() << r << c;
                    }
                }
            }
        }
    }
}
