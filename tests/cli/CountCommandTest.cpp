#include "cli/CountCommand.h"

#include "config/NativePath.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"
#include "support/WorkbookReader.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

    Result count(QStringList args, bool terminal = false)
    {
        CountCommand::Environment env{m_ini, m_dir.path(), terminal, false, 1};
        std::ostringstream out, err;
        int rc = CountCommand(env).execute(args, out, err);
        return {rc, out.str(), err.str()};
    }

    bool isA(const QString& path, mode_t type)
    {
        struct stat st {};
        return ::lstat(pathToNative(path).c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
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
    EXPECT_EQ(count({QStringLiteral("--exclude"), QStringLiteral("!"), QStringLiteral("tree")}).rc, 2);

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
    const Result three = count({QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("v2"), QStringLiteral("tree")});
    EXPECT_EQ(three.rc, 2);
    EXPECT_NE(three.err.find("Try 'tarvik-count --help'"), std::string::npos) << three.err;
    EXPECT_EQ(three.out, "");
}

// -o replaces a regular file, through a link the file the link leads to, and writes straight
// into a FIFO, which stays one.
TEST_F(CountCommandTest, OutputGoesThroughALinkAndIntoAFifo)
{
    m_dir.write(QStringLiteral("real.tvk"), "old\n");
    ASSERT_EQ(::symlink("real.tvk", pathToNative(m_dir.path(QStringLiteral("link.tvk"))).c_str()), 0);
    Result r = count({QStringLiteral("-o"), QStringLiteral("link.tvk"), QStringLiteral("tree/main.c")});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(isA(m_dir.path(QStringLiteral("link.tvk")), S_IFLNK));
    EXPECT_TRUE(m_dir.read(QStringLiteral("real.tvk")).contains("main.c"));

    const std::string fifo = pathToNative(m_dir.path(QStringLiteral("pipe")));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A reader that is there first: the run need not wait for one, and its output fits the pipe.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    r = count({QStringLiteral("-o"), QStringLiteral("pipe"), QStringLiteral("tree/main.c")});
    EXPECT_EQ(r.rc, 0) << r.err;
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;)
        got.append(buffer, static_cast<size_t>(n));
    ::close(reader);
    EXPECT_NE(got.find("main.c"), std::string::npos);
    EXPECT_TRUE(isA(m_dir.path(QStringLiteral("pipe")), S_IFIFO));
}

// A character device is written into, never replaced. Run without root rights: then even a
// fault could not replace /dev/null, as only root may change /dev.
TEST_F(CountCommandTest, OutputIntoACharacterDeviceLeavesTheDevice)
{
    ASSERT_EQ(::symlink("/dev/null", pathToNative(m_dir.path(QStringLiteral("null"))).c_str()), 0);
    const int rc = test::runUnprivileged([&] {
        return count({QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("tree/main.c")}).rc * 10
               + count({QStringLiteral("-o"), QStringLiteral("null"), QStringLiteral("tree/main.c")}).rc;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(isA(QStringLiteral("/dev/null"), S_IFCHR));
    EXPECT_TRUE(isA(m_dir.path(QStringLiteral("null")), S_IFLNK));
}

// Every output that cannot be written ends with 1 and the system's reason; 2 is for arguments.
TEST_F(CountCommandTest, OutputThatCannotBeWrittenExitsWithOne)
{
    m_dir.write(QStringLiteral("ro/old.tvk"), "old\n");
    QFile::setPermissions(m_dir.path(QStringLiteral("ro")),
                          QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther);
    struct Case {
        const char* output;
        const char* reason;
    };
    for (const Case& c : {Case{"tree", "Is a directory"}, Case{"no/such/out.tvk", "No such file or directory"},
                          Case{"ro/new.tvk", "Permission denied"}, Case{"ro/old.tvk", "Permission denied"}}) {
        // Without root rights, so that the folder's bits hold.
        const int rc = test::runUnprivileged([&] {
            const Result r = count({QStringLiteral("-o"), QString::fromUtf8(c.output), QStringLiteral("tree/main.c")});
            const std::string expected = std::string("tarvik-count: cannot write ") + c.output + ": " + c.reason + "\n";
            return r.rc == 1 && r.err == expected ? 0 : 10 + r.rc;
        });
        EXPECT_EQ(rc, 0) << c.output;
    }
    EXPECT_EQ(m_dir.read(QStringLiteral("ro/old.tvk")), QByteArray("old\n"));
}

// More jobs than threads can start change nothing: their number is capped, and a system that
// refuses every new thread leaves the work to the one there is.
TEST_F(CountCommandTest, JobsBeyondWhatTheSystemAllowsGiveTheSameOutput)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the thread limit is set in a child that drops root rights";
    for (int i = 0; i < 100; ++i)
        m_dir.write(QStringLiteral("tree/gen/%1.c").arg(i), "x;\n");
    const Result one = count({QStringLiteral("-j"), QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("tree")});
    const int rc = test::runUnprivileged([&] {
        const rlimit onlyThisProcess{1, 1};
        if (::setrlimit(RLIMIT_NPROC, &onlyThisProcess) != 0)
            return 3;
        try {
            const Result many = count({QStringLiteral("-j"), QStringLiteral("100000"), QStringLiteral("-f"),
                                       QStringLiteral("csv"), QStringLiteral("tree")});
            return many.rc == 0 && many.out == one.out ? 0 : 1;
        } catch (const std::exception&) {
            return 2; // a thread that could not start ended the run
        }
    });
    EXPECT_EQ(rc, 0);
}

TEST_F(CountCommandTest, FilesFromTakesCrLfLines)
{
    const QString list = m_dir.write(QStringLiteral("list.txt"), "tree/main.c\r\ntree/sub/util.c\r\n");
    const Result r = count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--files-from"), list});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string base = m_dir.path().toStdString();
    EXPECT_EQ(r.out, "path,program_id,directory,outcome,executable,comment,total\r\n" + base + "/tree/main.c,main.c," + base
                         + "/tree/,Counted,3,0,3\r\n" + base + "/tree/sub/util.c,util.c," + base + "/tree/sub/,Counted,1,1,3\r\n");
}

// The window's default: a settings file without Count_Mode counts lines of symbols only.
TEST_F(CountCommandTest, SymbolLinesAreCountedWithoutCountMode)
{
    m_dir.write(QStringLiteral("braces.c"), "int f()\n{\n}\n");
    struct Case {
        const char* mode;
        const char* expected;
    };
    for (const Case& c : {Case{"", ",Counted,3,0,3\r\n"}, Case{"[Mode]\r\nCount_Mode=0\r\n", ",Counted,1,0,3\r\n"}}) {
        m_ini = m_dir.write(QStringLiteral("mode.ini"), QByteArray(c.mode) + "[Engin]\r\nLang_c=C_STYLE\r\n");
        const Result r = count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("braces.c")});
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << c.mode << r.out;
    }
}

TEST_F(CountCommandTest, JsonKeepsABackslashInAPath)
{
    const QString path = m_dir.write(QStringLiteral("back\\slash \"q\".c"), "x;\n");
    const Result r = count({QStringLiteral("-f"), QStringLiteral("json"), path});
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    const QJsonObject file = doc.object()[u"files"].toArray()[0].toObject();
    EXPECT_EQ(file[u"path"].toString(), path);
    EXPECT_EQ(file[u"programId"].toString(), u"back\\slash \"q\".c");
}

// Control bytes in a name are escaped, so the JSON still parses (counting and comparing).
TEST_F(CountCommandTest, JsonEscapesControlBytesInNames)
{
    const QString name = QStringLiteral("c\x01t\x1Fl\x7F.c");
    m_dir.write(QStringLiteral("ctl/") + name, "x;\n");
    for (const QStringList& args : {QStringList{QStringLiteral("ctl")},
                                    QStringList{QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("ctl")}}) {
        const Result r = count(QStringList{QStringLiteral("-f"), QStringLiteral("json")} + args);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
        const QJsonObject file = doc.object()[u"files"].toArray()[0].toObject();
        EXPECT_EQ(file[args.size() > 1 ? u"relativePath" : u"programId"].toString(), name);
        EXPECT_NE(r.out.find("\\u001f"), std::string::npos);
    }
}

TEST_F(CountCommandTest, ReportOfAnEmptyRunIsEmpty)
{
    m_dir.mkdir(QStringLiteral("empty"));
    const Result r = count({QStringLiteral("empty")});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "");
}

// Subtotals come after the report as it was, stand in for the files' rows of a CSV, and end the JSON.
TEST_F(CountCommandTest, SummariesFollowTheReportReplaceTheCsvRowsAndEndTheJson)
{
    const QStringList day{QStringLiteral("--date"), QStringLiteral("2024-02-29")};
    const Result plain = count(day + QStringList{QStringLiteral("tree")});
    const Result report = count(day + QStringList{QStringLiteral("--summary"), QStringLiteral("type"), QStringLiteral("--summary"),
                                                  QStringLiteral("dir:2"), QStringLiteral("tree")});
    ASSERT_EQ(report.rc, 0) << report.err;
    const std::string before = plain.out.substr(0, plain.out.size() - 2); // without the log's closing CR LF
    EXPECT_EQ(report.out.substr(0, before.size()), before);
    const QString blocks = QString::fromStdString(report.out.substr(before.size()));
    const QString dash = QString(79, u'-') + QStringLiteral("\r\n");
    EXPECT_EQ(blocks, QStringLiteral("\r\n") + dash
                          + QStringLiteral("     ファイル数       実行行     コメント行       総行数     KStep  種類別\r\n") + dash
                          + QStringLiteral("         3         5         1         7     0.005  C  C_STYLE\r\n") + dash
                          + QStringLiteral("         3         5         1         7     0.005  合計\r\n") + dash
                          + QStringLiteral("\r\n") + dash
                          + QStringLiteral("     ファイル数       実行行     コメント行       総行数     KStep  フォルダ別\r\n") + dash
                          + QStringLiteral("         1         3         0         3     0.003  ") + m_dir.path(QStringLiteral("tree/\r\n"))
                          + QStringLiteral("         2         2         1         4     0.002  ") + m_dir.path(QStringLiteral("tree/sub/\r\n"))
                          + dash + QStringLiteral("         3         5         1         7     0.005  合計\r\n") + dash
                          + QStringLiteral("\r\n"));

    const std::string base = m_dir.path().toStdString();
    const Result csv = count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--summary"), QStringLiteral("dir"),
                              QStringLiteral("tree"), QStringLiteral("missing.c")});
    EXPECT_EQ(csv.out, "folder,files,executable,comment,total,kstep,row\r\n" + base + "/tree/,1,3,0,3,0.003,folder\r\n" + base
                           + "/tree/sub/,2,2,1,4,0.002,folder\r\nファイル未存在,1,0,0,0,0.000,missing\r\n合計,4,5,1,7,0.005,total\r\n");
    const Result two = count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--summary"), QStringLiteral("type"),
                              QStringLiteral("--summary"), QStringLiteral("dir"), QStringLiteral("tree")});
    EXPECT_EQ(two.out.rfind("種類別\r\nkind,engine,files,", 0), 0u) << two.out;
    EXPECT_NE(two.out.find("合計,,3,5,1,7,0.005,total\r\n\r\nフォルダ別\r\nfolder,"), std::string::npos) << two.out;

    const Result json = count({QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("--summary"), QStringLiteral("type"),
                               QStringLiteral("--summary"), QStringLiteral("dir:3"), QStringLiteral("tree")});
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    const QJsonArray summaries = doc[u"summaries"].toArray();
    ASSERT_EQ(summaries.size(), 2) << json.out;
    EXPECT_EQ(summaries[1].toObject()[u"summary"].toString(), u"dir:3");
    const QJsonArray rows = summaries[0].toObject()[u"rows"].toArray();
    EXPECT_EQ(rows.last().toObject()[u"row"].toString(), u"total");
    EXPECT_EQ(rows.last().toObject()[u"executable"].toInt(), doc[u"totalSteps"].toInt());
    EXPECT_EQ(doc[u"files"].toArray().size(), 3);

    for (const char* bad : {"dir:0", "dir:", "dir:x", "folder", "type:1"}) {
        const Result r = count({QStringLiteral("--summary"), QString::fromUtf8(bad), QStringLiteral("tree")});
        EXPECT_EQ(r.rc, 2) << bad;
        EXPECT_EQ(r.out, "") << bad;
    }
}

TEST_F(CountCommandTest, AComparisonHasStatusCodesSummariesAndAProgressBar)
{
    m_dir.write(QStringLiteral("v2/main.c"), "int main() {\n  return 1; // changed\n}\n");
    m_dir.write(QStringLiteral("v2/sub/util.c"), "/* util */\nint f(void);\n\n");
    m_dir.write(QStringLiteral("v2/sub/new.c"), "int g(void);\nint h(void);\n");
    const QStringList folders{QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("v2")};

    const Result csv = count(folders + QStringList{QStringLiteral("-f"), QStringLiteral("csv")});
    QStringList codes;
    for (const QString& row : QString::fromStdString(csv.out).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        codes << row.section(u',', -2);
    EXPECT_EQ(codes, (QStringList{QStringLiteral("status_code,reused"), QStringLiteral("changed,2"),
                                  QStringLiteral("deleted,0"), QStringLiteral("added,0"), QStringLiteral("unchanged,1")}));
    const Result asJson = count(folders + QStringList{QStringLiteral("--format=json"), QStringLiteral("--summary=type")});
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(asJson.out)).object();
    EXPECT_EQ(json[u"files"].toArray()[2].toObject()[u"statusCode"].toString(), u"added");
    const QJsonObject total = json[u"summaries"].toArray()[0].toObject()[u"rows"].toArray().last().toObject();
    EXPECT_EQ(total[u"added"].toInt(), json[u"totals"].toObject()[u"added"].toInt());
    EXPECT_EQ(total[u"modified"].toInt(), 3);
    // 流用 splits both versions with the other figures: every old step was changed, deleted or
    // carried over, and every new one added, changed or carried over.
    const QJsonObject totals = json[u"totals"].toObject();
    EXPECT_EQ(totals[u"reused"].toInt(), 3);
    for (const QJsonValue& v : json[u"files"].toArray() + QJsonArray{totals}) {
        const QJsonObject f = v.toObject();
        EXPECT_EQ(f[u"oldSteps"].toInt(), f[u"changed"].toInt() + f[u"deleted"].toInt() + f[u"reused"].toInt());
        EXPECT_EQ(f[u"newSteps"].toInt(), f[u"added"].toInt() + f[u"changed"].toInt() + f[u"reused"].toInt());
    }

    const Result byFolder = count(folders + QStringList{QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--summary"),
                                                        QStringLiteral("dir")});
    EXPECT_EQ(byFolder.out, "folder,files,added,changed,deleted,modified,kstep,row\r\n./,1,0,1,0,1,0.001,folder\r\n"
                            "sub/,3,2,0,1,2,0.002,folder\r\n合計,4,2,1,1,3,0.003,total\r\n");

    // On a terminal the bar is drawn on standard error and wiped; the output is the same.
    const Result quiet = count(folders), drawn = count(folders, true);
    EXPECT_EQ(drawn.out, quiet.out);
    EXPECT_NE(drawn.err.find("] 4/4"), std::string::npos) << drawn.err;
    // The bar is wiped before the line about the files passed over (notes.txt is not searched).
    EXPECT_NE(drawn.err.find("\r" + std::string(70, ' ') + "\rtarvik-count: 1 file not counted"), std::string::npos)
        << drawn.err;
}

// A report made again with the same --date is the same, byte for byte.
TEST_F(CountCommandTest, DateFixesTheReportsDateAndOnlyADayIsADate)
{
    const QString shown = QLocale::system().toString(QDate(2024, 2, 29), QLocale::ShortFormat);
    for (const QStringList& args : {QStringList{QStringLiteral("tree")},
                                    QStringList{QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("tree")}}) {
        const QStringList dated = args + QStringList{QStringLiteral("--date"), QStringLiteral("2024-02-29")};
        const Result first = count(dated);
        ASSERT_EQ(first.rc, 0) << first.err;
        EXPECT_NE(QString::fromStdString(first.out).indexOf(QStringLiteral(" KStep です        ") + shown + u'\r'), -1) << first.out;
        EXPECT_EQ(count(dated).out, first.out);
    }
    for (const char* bad : {"2023-02-29", "2024-2-29", "29.02.2024", "2024-02-29x", ""}) {
        const Result r = count({QStringLiteral("--date"), QString::fromUtf8(bad), QStringLiteral("tree")});
        EXPECT_EQ(r.rc, 2) << bad;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "") << bad;
    }
}

TEST_F(CountCommandTest, ByteOrderMarkOnlyWhenAskedForAndOnlyBeforeCsv)
{
    const std::string bom = "\xEF\xBB\xBF";
    const QStringList csv{QStringLiteral("-f"), QStringLiteral("csv")};
    EXPECT_EQ(count(csv + QStringList{QStringLiteral("--bom"), QStringLiteral("tree")}).out,
              bom + count(csv + QStringList{QStringLiteral("tree")}).out);
    EXPECT_EQ(count(csv + QStringList{QStringLiteral("--bom"), QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("tree")})
                  .out.rfind(bom + "relative_path,", 0),
              0u);
    EXPECT_EQ(count({QStringLiteral("--bom"), QStringLiteral("tree")}).rc, 2);

    // The mark is for spreadsheets: a name that would be a formula there is made text.
    m_dir.write(QStringLiteral("f/=1+2.c"), "x;\n");
    EXPECT_NE(count(csv + QStringList{QStringLiteral("--bom"), QStringLiteral("f")}).out.find(",'=1+2.c,"), std::string::npos);
    EXPECT_NE(count(csv + QStringList{QStringLiteral("f")}).out.find(",=1+2.c,"), std::string::npos);
    const QStringList diff{QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("f")};
    EXPECT_NE(count(csv + diff + QStringList{QStringLiteral("--bom")}).out.find("\r\n'=1+2.c,"), std::string::npos);
    EXPECT_NE(count(csv + diff).out.find("\r\n=1+2.c,"), std::string::npos);
}

TEST_F(CountCommandTest, TheWindowsExclusionsAndGeneratedChoiceApplyUnlessAnOptionSaysOtherwise)
{
    m_dir.write(QStringLiteral("tree/gen.c"), "// Code generated by hand. DO NOT EDIT.\nint g;\n");
    m_ini = m_dir.write(QStringLiteral("Tarvik.ini"),
                        QByteArray(kIni).replace("Serch_Mode=1", "Serch_Mode=1\r\nGen_Mode=1")
                            + "[Exclude]\r\nPattern_1=# a note\r\nPattern_2=sub/\r\n");
    auto files = [&](QStringList args) {
        const Result r = count(QStringList{QStringLiteral("-f"), QStringLiteral("json")} + args);
        EXPECT_EQ(r.rc, 0) << r.err;
        QStringList names;
        for (const QJsonValue& f : QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object()[u"files"].toArray())
            names << f.toObject()[u"path"].toString().section(u'/', -1);
        names.sort();
        return names.join(u' ');
    };
    EXPECT_EQ(files({QStringLiteral("tree")}), QStringLiteral("main.c"));
    EXPECT_EQ(files({QStringLiteral("--generated"), QStringLiteral("count"), QStringLiteral("tree")}), QStringLiteral("gen.c main.c"));
    EXPECT_EQ(files({QStringLiteral("--exclude"), QStringLiteral("!sub/"), QStringLiteral("tree")}),
              QStringLiteral("a,b \"q\".c main.c util.c"));
    // Both sides of a comparison leave the same files out.
    const Result diff = count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("tree")});
    EXPECT_EQ(diff.out.find("util.c"), std::string::npos) << diff.out;
    EXPECT_NE(diff.out.find("main.c"), std::string::npos) << diff.out;

    // A file without the keys leaves nothing out.
    m_ini = m_dir.write(QStringLiteral("Tarvik.ini"), kIni);
    EXPECT_EQ(files({QStringLiteral("tree")}), QStringLiteral("a,b \"q\".c gen.c main.c util.c"));
}

TEST_F(CountCommandTest, TheManualPageListsEveryOptionOfTheHelp)
{
    const std::string help = count({QStringLiteral("--help")}).out;
    QFile page(QStringLiteral(TARVIK_SOURCE_DIR "/data/man/tarvik-count.1.in"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString man = QString::fromUtf8(page.readAll()).remove(u'\\');
    static const QRegularExpression longOption(QStringLiteral("--([a-z][a-z-]*)"));
    int options = 0;
    for (const QRegularExpressionMatch& m : longOption.globalMatch(QString::fromStdString(help))) {
        ++options;
        // Named where an option is described: a .B or .BR line opening a paragraph.
        const QRegularExpression described(QStringLiteral("^\\.TP\n\\.BR? .*--%1(?![a-z-])").arg(m.captured(1)),
                                           QRegularExpression::MultilineOption);
        EXPECT_TRUE(described.match(man).hasMatch()) << m.captured(1).toStdString();
    }
    EXPECT_GT(options, 15);
}

// The files a folder search passed over: one line on standard error, always a key of the JSON,
// and a table with --summary unregistered in every format.
TEST_F(CountCommandTest, FilesPassedOverAreSaidOnStandardErrorInTheJsonAndAsASummary)
{
    m_dir.write(QStringLiteral("tree/Makefile"), "all:\n");
    m_dir.write(QStringLiteral("tree/sub/a.json"), "{\"a\": [1, 2, 3]}\n");
    m_dir.write(QStringLiteral("tree/gen/b.json"), "{}\n");
    const QStringList excluding{QStringLiteral("--exclude"), QStringLiteral("gen/"), QStringLiteral("--date=2026-01-02"),
                                QStringLiteral("tree")};
    const char* line = "tarvik-count: 3 files not counted: types not registered for folder searches "
                       "(.json 1 file 17 B, .txt 1 file 13 B, Makefile 1 file 5 B)\n";

    const Result report = count(excluding);
    EXPECT_EQ(report.err, line);
    const Result plain = count({QStringLiteral("tree/main.c")});
    EXPECT_EQ(plain.err, ""); // no folder search, nothing passed over

    const Result json = count(excluding + QStringList{QStringLiteral("-f"), QStringLiteral("json")});
    const QJsonArray kinds = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object()[u"unregistered"].toArray();
    ASSERT_EQ(kinds.size(), 3) << json.out;
    EXPECT_EQ(kinds[0].toObject(), (QJsonObject{{QStringLiteral("kind"), QStringLiteral(".json")},
                                                 {QStringLiteral("files"), 1},
                                                 {QStringLiteral("bytes"), 17}}));
    EXPECT_EQ(kinds[2].toObject()[u"kind"].toString(), u"Makefile");
    const Result none = count({QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("tree/sub"), QStringLiteral("--exclude"),
                               QStringLiteral("*.txt"), QStringLiteral("--exclude"), QStringLiteral("*.json")});
    EXPECT_TRUE(QJsonDocument::fromJson(QByteArray::fromStdString(none.out)).object()[u"unregistered"].isArray()) << none.out;
    EXPECT_EQ(none.err, "");

    const Result csv = count(excluding + QStringList{QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--summary"),
                                                     QStringLiteral("unregistered")});
    EXPECT_EQ(csv.out, "kind,files,bytes,row\r\n.json,1,17,kind\r\n.txt,1,13,kind\r\nMakefile,1,5,kind\r\n合計,3,35,total\r\n");
    const Result text = count(excluding + QStringList{QStringLiteral("--summary=unregistered")});
    EXPECT_EQ(text.out.rfind(report.out.substr(0, report.out.size() - 2), 0), 0u); // the report first, unchanged
    EXPECT_NE(text.out.find("未登録の種類"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Makefile"), std::string::npos) << text.out;

    const QString book = m_dir.path(QStringLiteral("out.xlsx"));
    ASSERT_EQ(count(excluding + QStringList{QStringLiteral("-f"), QStringLiteral("xlsx"), QStringLiteral("-o"), book,
                                            QStringLiteral("--summary"), QStringLiteral("unregistered")}).rc, 0);
    const QJsonObject sheet = test::readSheet(book, QStringLiteral("未登録の種類"));
    EXPECT_EQ(test::differenceFromCsv(sheet, QString::fromStdString(csv.out)), QString()) << sheet.size();

    // A comparison passes over the files of both trees, a path in both once.
    m_dir.write(QStringLiteral("v2/sub/a.json"), "{}\n");
    m_dir.write(QStringLiteral("v2/new.json"), "[]\n");
    const Result diff = count({QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("v2"), QStringLiteral("-f"),
                               QStringLiteral("csv"), QStringLiteral("--summary"), QStringLiteral("unregistered")});
    EXPECT_EQ(diff.out, "kind,files,bytes,row\r\n.txt,1,13,kind\r\n.json,3,9,kind\r\nMakefile,1,5,kind\r\n合計,5,27,total\r\n");
}

// Files typed by name or by "#!" line are counted with that type's engine and subtotalled under
// its source kind, on disk and when compared.
TEST_F(CountCommandTest, FilesTypedByNameOrHashBangLineAreCountedAndSubtotalledAsTheirType)
{
    m_ini = m_dir.write(QStringLiteral("Typed.ini"),
                        QByteArray("[Mode]\r\nCount_Mode=1\r\nSerch_Mode=1\r\n[Engin]\r\nList=c,txt\r\nLang_c=C_STYLE,C,1\r\n"
                                   "Lang_txt=C_STYLE,Text,0\r\nName_List=Makefile\r\nName_Makefile=HASH,Make,1\r\n"
                                   "Shebang_List=sh\r\nShebang_sh=HASH,Shell,1\r\n"
                                   "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\nHASH=#\r\n"));
    m_dir.write(QStringLiteral("tree/Makefile"), "# build\nall:\n\tcc main.c\n");
    m_dir.write(QStringLiteral("tree/sub/run"), "#!/bin/sh\necho 1\n");
    const Result csv = count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--summary"), QStringLiteral("type"),
                              QStringLiteral("tree")});
    EXPECT_EQ(csv.out, "kind,engine,files,executable,comment,total,kstep,row\r\n"
                       "C,C_STYLE,3,5,1,7,0.005,kind\r\nMake,HASH,1,2,1,3,0.002,kind\r\nShell,HASH,1,1,1,2,0.001,kind\r\n"
                       "合計,,5,8,3,12,0.008,total\r\n");
    m_dir.write(QStringLiteral("v2/sub/run"), "#!/bin/sh\necho 1\necho 2\n");
    const Result diff = count({QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("v2"), QStringLiteral("-f"),
                               QStringLiteral("csv"), QStringLiteral("--summary"), QStringLiteral("type")});
    EXPECT_NE(diff.out.find("\r\nShell,HASH,1,1,0,0,1,0.001,kind\r\n"), std::string::npos) << diff.out;
}

namespace {

// The tables of a Markdown document by their "### " titles: each row's cells, figures without
// their thousands separators.
std::map<QString, QList<QStringList>> markdownTables(const QString& text)
{
    std::map<QString, QList<QStringList>> tables;
    QString title;
    for (const QString& line : text.split(u'\n')) {
        if (line.startsWith(QStringLiteral("### ")))
            title = line.mid(4);
        else if (line.startsWith(u'|') && !line.contains(QStringLiteral("---")))
            tables[title] << line.mid(2, line.size() - 4).split(QStringLiteral(" | "));
    }
    return tables;
}

// The same read by an HTML parser (Python's): each <h2> titles the <table> after it.
std::map<QString, QList<QStringList>> htmlTables(const std::string& html, int* bars)
{
    static const char* script = R"(
import html.parser, json, sys
class P(html.parser.HTMLParser):
    def __init__(s):
        super().__init__(); s.tables = {}; s.title = None; s.text = None; s.row = None; s.bars = 0
    def handle_starttag(s, tag, attrs):
        if tag in ('h2', 'td', 'th'): s.text = ''
        if tag == 'tr': s.row = []
        if tag == 'rect': s.bars += 1
    def handle_data(s, data):
        if s.text is not None: s.text += data
    def handle_endtag(s, tag):
        if tag == 'h2': s.title = s.text; s.tables[s.title] = []; s.text = None
        if tag in ('td', 'th'): s.row.append(s.text); s.text = None
        if tag == 'tr': s.tables[s.title].append(s.row)
p = P(); p.feed(sys.stdin.read()); p.close()
print(json.dumps({'tables': p.tables, 'bars': p.bars}))
)";
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(script)});
    python.write(QByteArray::fromStdString(html));
    python.closeWriteChannel();
    python.waitForFinished(30000);
    const QJsonObject parsed = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    *bars = parsed[u"bars"].toInt();
    std::map<QString, QList<QStringList>> tables;
    const QJsonObject all = parsed[u"tables"].toObject();
    for (auto it = all.begin(); it != all.end(); ++it) {
        for (const QJsonValue& row : it.value().toArray())
            tables[it.key()] << row.toVariant().toStringList();
    }
    return tables;
}

QStringList withoutSeparators(QStringList cells)
{
    static const QRegularExpression grouped(QStringLiteral("^-?[0-9]{1,3}(,[0-9]{3})+(\\.[0-9]+)?$"));
    for (QString& cell : cells) {
        if (grouped.match(cell).hasMatch())
            cell.remove(u',');
    }
    return cells;
}

} // namespace

// A CI summary and a shared page say what the CSV says: the subtotals cell for cell, the totals
// as the CSV's total row, a comparison's totals as its JSON's.
TEST_F(CountCommandTest, MarkdownAndHtmlHoldTheCsvFigures)
{
    for (int i = 0; i < 120; ++i) // figures past a thousand, to be read with their separators
        m_dir.write(QStringLiteral("tree/big/f%1.c").arg(i), "a;\nb;\nc;\nd;\ne;\nf;\ng;\nh;\ni;\nj;\n// c\n");
    const QStringList args{QStringLiteral("--summary"), QStringLiteral("type"), QStringLiteral("tree")};
    const QList<QStringList> csv = test::parseDelimited(QString::fromStdString(count(args + QStringList{QStringLiteral("-f"), QStringLiteral("csv")}).out), u',');
    ASSERT_EQ(csv.size(), 3); // header, .c, total
    int bars = 0;
    const Result md = count(args + QStringList{QStringLiteral("-f"), QStringLiteral("md")});
    const Result html = count(args + QStringList{QStringLiteral("-f"), QStringLiteral("html")});
    ASSERT_EQ(md.rc, 0) << md.err;
    ASSERT_EQ(html.rc, 0) << html.err;
    EXPECT_TRUE(html.out.find("<script") == std::string::npos && html.out.find("http") == html.out.find("http://www.w3.org"));
    for (const auto& tables : {markdownTables(QString::fromStdString(md.out)), htmlTables(html.out, &bars)}) {
        const QList<QStringList> byType = tables.at(QStringLiteral("種類別"));
        ASSERT_EQ(byType.size(), 3);
        for (int row = 1; row < 3; ++row) // the CSV's row column is for programs, not shown here
            EXPECT_EQ(withoutSeparators(byType[row]), csv[row].mid(0, csv[row].size() - 1));
        EXPECT_EQ(byType[1][3], QStringLiteral("1,205")); // 120 × 10 + 5
        const QList<QStringList> totals = tables.at(QStringLiteral("合計"));
        ASSERT_EQ(totals.size(), 2);
        EXPECT_EQ(withoutSeparators(totals[1]), csv[2].mid(2, 5));
    }
    EXPECT_EQ(bars, 1); // one bar: the .c files; the total is no bar

    m_dir.write(QStringLiteral("v2/main.c"), "int main() {\n  return 1; // changed\n}\n");
    const QStringList diff{QStringLiteral("--diff"), QStringLiteral("tree"), QStringLiteral("v2")};
    const QJsonObject json = QJsonDocument::fromJson(
        QByteArray::fromStdString(count(diff + QStringList{QStringLiteral("-f"), QStringLiteral("json")}).out)).object()[u"totals"].toObject();
    const auto steps = htmlTables(count(diff + QStringList{QStringLiteral("-f"), QStringLiteral("html")}).out, &bars)
                           .at(QStringLiteral("ステップ"));
    ASSERT_EQ(steps.size(), 2);
    QStringList expected;
    for (const char* key : {"oldSteps", "newSteps", "added", "changed", "deleted", "reused"})
        expected << QString::number(json[QString::fromLatin1(key)].toInt());
    EXPECT_EQ(withoutSeparators(steps[1]).mid(0, 6), expected);
    EXPECT_EQ(steps[1][7], json[u"modificationKStep"].toVariant().toString());
}
