// The workbook as a spreadsheet program reads it back: the sheets of the command line hold the
// rows of its CSV cell for cell, figures as numbers, and a failed run or write keeps an older file.
#include "cli/CountCommand.h"
#include "output/ResultSheets.h"
#include "output/Workbook.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"
#include "support/WorkbookReader.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

struct Result {
    int rc;
    std::string out;
    std::string err;
};

class WorkbookTest : public ::testing::Test {
protected:
    WorkbookTest()
    {
        m_ini = m_dir.write(QStringLiteral("Tarvik.ini"),
                            "[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n");
        m_dir.write(QStringLiteral("old/main.c"), "int main() {\n  return 0; // ok\n}\n");
        m_dir.write(QStringLiteral("old/日本語/部品.c"), "/* 部品 */\nint f(void);\n\n");
        m_dir.write(QStringLiteral("old/a,b \"q\".c"), "x;\n");
        m_dir.write(QStringLiteral("new/main.c"), "int main() {\n  return 1; // changed\n}\n");
        m_dir.write(QStringLiteral("new/日本語/部品.c"), "/* 部品 */\nint f(void);\nint g(void);\n");
        m_dir.write(QStringLiteral("new/tab\there.c"), "y;\n");
    }

    Result count(const QStringList& args)
    {
        CountCommand::Environment env{m_ini, m_dir.path(), false, false, 2};
        std::ostringstream out, err;
        const int rc = CountCommand(env).execute(args, out, err);
        return {rc, out.str(), err.str()};
    }

    // Runs the command as CSV and as a workbook, and checks the named sheet against the CSV:
    // the header, then every record cell for cell, numbers as numbers; returns the sheet's rows.
    QJsonArray sameAsCsv(const QStringList& args, const QString& title)
    {
        const Result csv = count(QStringList{QStringLiteral("-f"), QStringLiteral("csv")} + args);
        EXPECT_EQ(csv.rc, 0) << csv.err;
        const QString book = m_dir.path(QStringLiteral("out.xlsx"));
        const Result xlsx = count(QStringList{QStringLiteral("-f"), QStringLiteral("xlsx"), QStringLiteral("-o"), book} + args);
        EXPECT_EQ(xlsx.rc, 0) << xlsx.err;
        EXPECT_TRUE(xlsx.out.empty());
        QString problem;
        const QJsonObject sheet = test::sheetOf(test::readWorkbook(book, &problem), title);
        EXPECT_FALSE(sheet.isEmpty()) << problem.toStdString();

        EXPECT_EQ(test::differenceFromCsv(sheet, QString::fromStdString(csv.out)), QString());
        const QJsonArray rows = sheet[u"rows"].toArray();
        for (const QJsonValue& heading : rows[0].toArray())
            EXPECT_TRUE(heading[u"b"].toBool());
        const QList<QStringList> records = test::parseDelimited(QString::fromStdString(csv.out), u',');
        EXPECT_EQ(sheet[u"freeze"].toString(), QStringLiteral("A2"));
        const QString lastColumn = QChar(u'A' + static_cast<char16_t>(records[0].size() - 1));
        EXPECT_EQ(sheet[u"filter"].toString(), QStringLiteral("A1:%1%2").arg(lastColumn).arg(records.size()));
        return rows;
    }

    // The last row: its texts, then the KStep figure as a number shown with three decimals.
    static void expectTotal(const QJsonArray& rows, const QStringList& texts, double kstep)
    {
        const QJsonArray last = rows.last().toArray();
        ASSERT_GE(last.size(), texts.size() + 2);
        for (qsizetype c = 0; c < texts.size(); ++c)
            EXPECT_EQ(last[c][u"v"].toString(), texts[c]);
        const QJsonValue figure = last[texts.size()];
        EXPECT_EQ(figure[u"t"].toString(), QStringLiteral("n"));
        EXPECT_DOUBLE_EQ(figure[u"v"].toDouble(), kstep);
        EXPECT_EQ(figure[u"f"].toString(), QStringLiteral("0.000"));
        EXPECT_EQ(last[texts.size() + 1][u"v"].toString(), QStringLiteral("KStep です"));
    }

    TempDir m_dir;
    QString m_ini;
};

} // namespace

TEST_F(WorkbookTest, CountSheetHoldsTheCsvRowsAndTheGridsTotal)
{
    // A counted file, one without an engine and a missing one: outcome texts stay texts.
    const QStringList args{QStringLiteral("old"), m_dir.write(QStringLiteral("notes.txt"), "x\n"),
                           m_dir.path(QStringLiteral("gone.c"))};
    const QJsonArray rows = sameAsCsv(args, QStringLiteral("明細"));
    ASSERT_EQ(rows.size(), 1 + 5 + 1);
    expectTotal(rows, {QStringLiteral("解析結果"), QStringLiteral("総実行行数は")}, 0.005);
    EXPECT_EQ(rows[0].toArray()[1][u"v"].toString(), QStringLiteral("Program ＩＤ"));
}

TEST_F(WorkbookTest, DiffSheetHoldsTheCsvRowsAndTheModificationSize)
{
    const QJsonArray rows = sameAsCsv({QStringLiteral("--diff"), QStringLiteral("old"), QStringLiteral("new")},
                                      QStringLiteral("差分"));
    ASSERT_EQ(rows.size(), 1 + 4 + 1);
    expectTotal(rows, {QStringLiteral("改造規模")}, 0.003);
}

// Every table becomes a sheet named by its title; KStep cells are numbers in thousands, and a
// column is wide enough for its Japanese text.
TEST_F(WorkbookTest, EveryTableIsASheetOfItsOwn)
{
    using Kind = FigureTable::Kind;
    FigureTable types{QStringLiteral("種類別"),
                      {{QStringLiteral("種類"), QStringLiteral("type"), Kind::Text},
                       {QStringLiteral("ファイル数"), QStringLiteral("files"), Kind::Count},
                       {QStringLiteral("KStep"), QStringLiteral("kstep"), Kind::KStep}},
                      {{QStringLiteral("とても長い日本語の種類の名前"), int64_t{2}, int64_t{12345}},
                       {QStringLiteral("c"), QStringLiteral("不明"), int64_t{7}}}};
    FigureTable folders{QStringLiteral("フォルダ/別"), {{QStringLiteral("フォルダ"), QStringLiteral("folder"), Kind::Text}}, {}};
    const QString path = m_dir.path(QStringLiteral("tables.xlsx"));
    QString error;
    ASSERT_TRUE(SaveWorkbook(path, {{types, std::nullopt}, {folders, std::nullopt}}, &error)) << error.toStdString();

    const QJsonObject book = test::readWorkbook(path);
    const QJsonArray sheets = book[u"sheets"].toArray();
    ASSERT_EQ(sheets.size(), 2);
    EXPECT_EQ(sheets[1][u"title"].toString(), QStringLiteral("フォルダ_別")); // "/" cannot be in a sheet's name
    EXPECT_EQ(sheets[1][u"filter"].toString(), QStringLiteral("A1")); // the header alone
    const QJsonObject sheet = sheets[0].toObject();
    EXPECT_EQ(sheet[u"title"].toString(), QStringLiteral("種類別"));
    const QJsonArray first = sheet[u"rows"][1].toArray();
    EXPECT_EQ(first[1][u"v"].toInt(), 2);
    EXPECT_EQ(first[1][u"f"].toString(), QStringLiteral("General"));
    EXPECT_DOUBLE_EQ(first[2][u"v"].toDouble(), 12.345);
    EXPECT_EQ(first[2][u"f"].toString(), QStringLiteral("0.000"));
    const QJsonArray second = sheet[u"rows"][2].toArray();
    EXPECT_EQ(second[1][u"t"].toString(), QStringLiteral("s")); // a text in a figures' column stays a text
    EXPECT_EQ(second[1][u"v"].toString(), QStringLiteral("不明"));
    EXPECT_DOUBLE_EQ(second[2][u"v"].toDouble(), 0.007);
    // Fourteen wide characters take the room of twenty-eight narrow ones.
    EXPECT_GE(sheet[u"widths"][u"A"].toDouble(), 28.0);
    EXPECT_LT(sheet[u"widths"][u"B"].toDouble(), 20.0);
}

TEST_F(WorkbookTest, AWorkbookNeedsAnOutputFile)
{
    for (const QStringList& extra : {QStringList{}, QStringList{QStringLiteral("-o"), QStringLiteral("-")}}) {
        const Result r = count(QStringList{QStringLiteral("-f"), QStringLiteral("xlsx"), QStringLiteral("old")} + extra);
        EXPECT_EQ(r.rc, 2);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_FALSE(QFile::exists(m_dir.path(QStringLiteral("-"))));
}

// A run that ends with the unexpected error, and a save that cannot be made, keep the file
// that was there and leave nothing beside it.
TEST_F(WorkbookTest, AFailedRunOrWriteKeepsTheOlderWorkbook)
{
    const QString kept = m_dir.write(QStringLiteral("out/kept.xlsx"), "older workbook");
    m_ini = m_dir.write(QStringLiteral("mem.ini"), "[Engin]\r\nLang_/proc/self/mem=C_STYLE\r\nLang_c=C_STYLE\r\n");
    const Result broken = count({QStringLiteral("-f"), QStringLiteral("xlsx"), QStringLiteral("-o"), kept,
                                 QStringLiteral("old/main.c"), QStringLiteral("/proc/self/mem")});
    EXPECT_EQ(broken.rc, 1);
    EXPECT_NE(broken.err.find("予期せぬエラーが発生しました！！"), std::string::npos) << broken.err;
    EXPECT_EQ(m_dir.read(QStringLiteral("out/kept.xlsx")), "older workbook");

    const std::vector<WorkbookSheet> sheets{ResultSheets::detailSheet({}, 0)};
    QString error;
    EXPECT_FALSE(SaveWorkbook(m_dir.path(QStringLiteral("no/such/folder/a.xlsx")), sheets, &error));
    EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(ENOENT)));

    // As root permission bits do not stop writes, so the save runs without root rights.
    QFile::setPermissions(m_dir.path(QStringLiteral("out")), QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                                                 | QFileDevice::ReadOther | QFileDevice::ExeOther);
    const int rc = test::runUnprivileged([&] {
        QString reason;
        if (SaveWorkbook(kept, sheets, &reason))
            return 1;
        return reason == QString::fromLocal8Bit(std::strerror(EACCES)) ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(m_dir.read(QStringLiteral("out/kept.xlsx")), "older workbook");
    EXPECT_EQ(QDir(m_dir.path(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kept.xlsx")});
}
