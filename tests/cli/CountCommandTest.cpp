#include "cli/CountCommand.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <sstream>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

const char* kIni = "[Mode]\r\nCount_Mode=1\r\nSerch_Mode=1\r\n"
                   "[Engin]\r\nList=c,txt\r\nLang_c=C_STYLE,C,1\r\nLang_txt=C_STYLE,Text,0\r\n"
                   "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";

struct Result {
    int rc;
    std::string out;
    std::string err;
};

class CountCommandTest : public ::testing::Test {
protected:
    CountCommandTest()
    {
        m_ini = m_dir.write(QStringLiteral("Tarvik.ini"), kIni);
        m_dir.write(QStringLiteral("tree/main.c"), "int main() {\n  return 0; // ok\n}\n");
        m_dir.write(QStringLiteral("tree/sub/util.c"), "/* util */\nint f(void);\n\n");
        m_dir.write(QStringLiteral("tree/sub/notes.txt"), "not searched\n");
        m_dir.write(QStringLiteral("tree/sub/a,b \"q\".c"), "x;\n");
    }

    Result count(QStringList args)
    {
        CountCommand::Environment env{m_ini, m_dir.path(), false, false, 1};
        std::ostringstream out, err;
        int rc = CountCommand(env).execute(args, out, err);
        return {rc, out.str(), err.str()};
    }

    TempDir m_dir;
    QString m_ini;
};

} // namespace

TEST_F(CountCommandTest, ReportIsTheSavedLogText)
{
    Result r = count({QStringLiteral("tree")});
    ASSERT_EQ(r.rc, 0) << r.err;
    QString text = QString::fromStdString(r.out);
    EXPECT_TRUE(text.startsWith(QString(79, u'-') + QStringLiteral("\r\n      Program ＩＤ")));
    EXPECT_TRUE(text.contains(QStringLiteral("            main.c                 3                    0                 3\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("          総実行数              0.005 KStep です        ")));
    EXPECT_TRUE(text.endsWith(QString(79, u'-') + QStringLiteral("\r\n\r\n")));
    EXPECT_FALSE(text.contains(QStringLiteral("notes.txt"))); // its search flag is 0
}

TEST_F(CountCommandTest, CsvQuotesFieldsAndListsFilesInWalkOrder)
{
    Result r = count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("tree"), QStringLiteral("missing.c")});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string base = m_dir.path().toStdString();
    const std::string expected = "path,program_id,directory,outcome,executable,comment,total\r\n" + base
                                 + "/tree/main.c,main.c," + base + "/tree/,Counted,3,0,3\r\n\"" + base
                                 + "/tree/sub/a,b \"\"q\"\".c\",\"a,b \"\"q\"\".c\"," + base
                                 + "/tree/sub/,Counted,1,0,1\r\n" + base + "/tree/sub/util.c,util.c," + base
                                 + "/tree/sub/,Counted,1,1,3\r\n" + base + "/missing.c,missing.c," + base
                                 + "/,Missing,0,0,0\r\n";
    EXPECT_EQ(r.out, expected);
}

TEST_F(CountCommandTest, JsonHasFilesAndTotals)
{
    Result r = count({QStringLiteral("--format=json"), QStringLiteral("--subdirs"), QStringLiteral("off"),
                      QStringLiteral("--symbol-lines"), QStringLiteral("off"), QStringLiteral("tree")});
    ASSERT_EQ(r.rc, 0) << r.err;
    QJsonParseError error;
    QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    QJsonArray files = doc[QStringLiteral("files")].toArray();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0].toObject()[QStringLiteral("programId")].toString(), u"main.c");
    EXPECT_EQ(files[0].toObject()[QStringLiteral("executable")].toInt(), 2); // "}" is not a step now
    EXPECT_EQ(files[0].toObject()[QStringLiteral("total")].toInt(), 3);
    EXPECT_EQ(doc[QStringLiteral("totalSteps")].toInt(), 2);
    EXPECT_DOUBLE_EQ(doc[QStringLiteral("kstep")].toDouble(), 0.002);
}

TEST_F(CountCommandTest, OutputIsTheSameForEveryJobCount)
{
    for (int i = 0; i < 200; ++i)
        m_dir.write(QStringLiteral("tree/gen/%1.c").arg(i, 3, 10, QChar(u'0')), QByteArray("x;\n// c\n").repeated(i));
    Result one = count({QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("tree")});
    for (const char* jobs : {"2", "7"}) {
        Result many = count({QStringLiteral("-j"), QString::fromUtf8(jobs), QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("tree")});
        EXPECT_EQ(many.out, one.out) << "jobs " << jobs;
    }
}

TEST_F(CountCommandTest, OutputFileIsWritten)
{
    Result r = count({QStringLiteral("-o"), m_dir.path(QStringLiteral("out.tvk")), QStringLiteral("tree/main.c")});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(m_dir.read(QStringLiteral("out.tvk")).contains("main.c"));
}

TEST_F(CountCommandTest, ExitStatusTellsWhatHappened)
{
    EXPECT_EQ(count({QStringLiteral("--version")}).rc, 0);
    EXPECT_EQ(count({QStringLiteral("--help")}).rc, 0);

    Result noPath = count({});
    EXPECT_EQ(noPath.rc, 2);
    EXPECT_NE(noPath.err.find("no PATH"), std::string::npos);
    EXPECT_EQ(count({QStringLiteral("-f"), QStringLiteral("xml"), QStringLiteral("tree")}).rc, 2);
    EXPECT_EQ(count({QStringLiteral("-j"), QStringLiteral("0"), QStringLiteral("tree")}).rc, 2);
    EXPECT_EQ(count({QStringLiteral("--bogus"), QStringLiteral("tree")}).rc, 2);

    Result noSettings = count({QStringLiteral("-s"), m_dir.path(QStringLiteral("none.ini")), QStringLiteral("tree")});
    EXPECT_EQ(noSettings.rc, 2);
    EXPECT_NE(noSettings.err.find("cannot read settings file"), std::string::npos);

    // A listed file that exists but cannot be read ends the run.
    m_ini = m_dir.write(QStringLiteral("mem.ini"), "[Engin]\r\nLang_/proc/self/mem=C_STYLE\r\nLang_c=C_STYLE\r\n");
    Result broken = count({QStringLiteral("tree/main.c"), QStringLiteral("/proc/self/mem")});
    EXPECT_EQ(broken.rc, 1);
    EXPECT_NE(broken.err.find("予期せぬエラーが発生しました！！ /proc/self/mem"), std::string::npos) << broken.err;
    EXPECT_NE(broken.out.find("main.c"), std::string::npos);
    EXPECT_EQ(broken.out.find("KStep"), std::string::npos);
}

TEST_F(CountCommandTest, DiffComparesTwoFoldersInEveryFormat)
{
    m_dir.write(QStringLiteral("v2/main.c"), "int main() {\n  return 1; // changed\n}\n");
    m_dir.write(QStringLiteral("v2/sub/util.c"), "/* util, reworded */\nint f(void);\n\n");
    m_dir.write(QStringLiteral("v2/sub/new.c"), "int g(void);\nint h(void);\n");

    const Result csv = count({QStringLiteral("--diff"), QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("tree"),
                              QStringLiteral("v2")});
    ASSERT_EQ(csv.rc, 0) << csv.err;
    const QStringList rows = QString::fromStdString(csv.out).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 5) << csv.out;
    EXPECT_TRUE(rows[1].startsWith(QStringLiteral("main.c,変更,Counted,3,3,0,1,0,"))) << csv.out;
    EXPECT_TRUE(rows[2].startsWith(QStringLiteral("\"sub/a,b \"\"q\"\".c\",削除,Counted,1,0,0,0,1,"))) << csv.out;
    EXPECT_TRUE(rows[3].startsWith(QStringLiteral("sub/new.c,新規,Counted,0,2,2,0,0,,"))) << csv.out;
    EXPECT_TRUE(rows[4].startsWith(QStringLiteral("sub/util.c,変更なし,Counted,1,1,0,0,0,"))) << csv.out;

    const Result json = count({QStringLiteral("--diff"), QStringLiteral("--format=json"), QStringLiteral("tree"),
                               QStringLiteral("v2"), QStringLiteral("-j"), QStringLiteral("2")});
    ASSERT_EQ(json.rc, 0) << json.err;
    const QJsonObject totals = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object()[u"totals"].toObject();
    EXPECT_EQ(totals[u"added"].toInt(), 2);
    EXPECT_EQ(totals[u"changed"].toInt(), 1);
    EXPECT_EQ(totals[u"deleted"].toInt(), 1);
    EXPECT_DOUBLE_EQ(totals[u"modificationKStep"].toDouble(), 0.003);

    const Result report = count({QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("v2")});
    EXPECT_NE(report.out.find(" KStep です"), std::string::npos) << report.out;

    EXPECT_EQ(count({QStringLiteral("--diff"), QStringLiteral("tree")}).rc, 2);
    EXPECT_EQ(count({QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("tree/main.c")}).rc, 2);
}
