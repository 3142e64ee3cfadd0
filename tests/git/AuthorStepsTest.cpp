#include "cli/CountCommand.h"

#include "support/TempDir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <sstream>

using namespace tarvik;
using namespace Qt::StringLiterals;
using tarvik::test::TempDir;

namespace {

const char* kIni = "[Mode]\r\nCount_Mode=1\r\nSerch_Mode=1\r\n[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n"
                   "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";

// v1: Ann writes a.c, b.c and gone.c. Then Ann, under her second address (which .mailmap
// takes to her first), adds c.c; Bob puts two lines before a.c's, changes one and deletes
// gone.c: v2.
class AuthorStepsTest : public ::testing::Test {
protected:
    AuthorStepsTest()
    {
        m_ini = m_dir.write(u"Tarvik.ini"_s, kIni);
        m_repo = m_dir.mkdir(u"repo"_s);
        git({u"init"_s, u"-q"_s});
        m_dir.write(u"repo/.mailmap"_s, "Ann <ann@example.org> <ann@work.example>\n");
        put("a.c", "int a1;\nint a2;\n// note\nint a3;\nint a4;\n");
        put("b.c", "int b1;\nint b2;\n");
        put("gone.c", "int g1;\nint g2;\nint g3;\n");
        commit(u"Ann"_s, u"ann@example.org"_s, u"v1"_s);
        put("c.c", "int c1;\n");
        commit(u"Ann B."_s, u"ann@work.example"_s);
        put("a.c", "int x1;\nint x2;\nint a1;\nint a2 = 2;\n// note\nint a3;\nint a4;\n");
        git({u"rm"_s, u"-q"_s, u"gone.c"_s});
        commit(u"Bob"_s, u"bob@example.org"_s, u"v2"_s);
    }

    void git(const QStringList& args, const QString& in = {})
    {
        QProcess p;
        p.setWorkingDirectory(in.isEmpty() ? m_repo : in);
        p.start(u"git"_s, args);
        p.waitForFinished(60000);
        ASSERT_EQ(p.exitCode(), 0) << args.join(u' ').toStdString() << ": " << p.readAllStandardError().constData();
    }
    void put(const char* name, const QByteArray& bytes)
    {
        m_dir.write(u"repo/"_s + QString::fromUtf8(name), bytes);
        git({u"add"_s, QString::fromUtf8(name)});
    }
    void commit(const QString& name, const QString& email, const QString& tag = {})
    {
        git({u"-c"_s, u"user.name="_s + name, u"-c"_s,
             u"user.email="_s + email, u"commit"_s, u"-qm"_s, u"c"_s});
        if (!tag.isEmpty())
            git({u"tag"_s, tag});
    }

    // The author table as CSV records; `err` gets standard error.
    int count(QStringList args, QStringList& records, std::string* err = nullptr)
    {
        CountCommand::Environment env{m_ini, m_dir.path(), false, false, 2};
        std::ostringstream out, errors;
        const int rc = CountCommand(env).execute(args << u"-f"_s << u"csv"_s, out, errors);
        records = QString::fromStdString(out.str()).split(u"\r\n"_s, Qt::SkipEmptyParts);
        if (err)
            *err = errors.str();
        return rc;
    }

    TempDir m_dir;
    QString m_ini, m_repo;
};

TEST_F(AuthorStepsTest, RevisionStepsGoToTheAuthorOfTheirLineAsMailmapNamesThem)
{
    QStringList records;
    ASSERT_EQ(count({u"--repo"_s, m_repo, u"--rev"_s, u"v2"_s, u"--summary"_s, u"author"_s}, records), 0);
    // a4 stands two lines lower in v2 and is still Ann's; c.c is Ann's under her first address.
    EXPECT_EQ(records, QStringList({u"author,files,executable,kstep,row"_s, u"Ann <ann@example.org>,3,6,0.006,author"_s,
                                    u"Bob <bob@example.org>,1,3,0.003,author"_s, u"合計,3,9,0.009,total"_s}));
}

TEST_F(AuthorStepsTest, ComparisonGivesAddedAndChangedStepsToTheirAuthorsAndDeletedOnesARow)
{
    QStringList records;
    ASSERT_EQ(count({u"--repo"_s, m_repo, u"--diff"_s, u"v1"_s, u"v2"_s, u"--summary"_s, u"type"_s, u"--summary"_s, u"author"_s}, records), 0);
    const qsizetype at = records.indexOf(u"作者別"_s);
    ASSERT_GE(at, 0) << records.join(u'\n').toStdString();
    EXPECT_EQ(records.mid(at + 1), QStringList({u"author,added,changed,deleted,modified,kstep,row"_s,
                                                u"Bob <bob@example.org>,2,1,0,3,0.003,author"_s,
                                                u"Ann <ann@example.org>,1,0,0,1,0.001,author"_s,
                                                u"（削除）,0,0,3,0,0.000,deleted"_s, u"合計,3,1,3,4,0.004,total"_s}));
}

TEST_F(AuthorStepsTest, AMovedLineKeepsItsAuthorUnlessItStoodThereAtOld)
{
    // After v2, Ann writes m.c (v2.5); Bob moves line_a to the end and adds a second line_b.
    put("m.c", "int line_a;\nint line_b;\nint line_c;\nint line_d;\n");
    commit(u"Ann"_s, u"ann@example.org"_s, u"v2.5"_s);
    put("m.c", "int line_b;\nint line_c;\nint line_d;\nint line_a;\nint line_b;\n");
    commit(u"Bob"_s, u"bob@example.org"_s, u"v3"_s);
    const struct {
        QStringList range;
        QStringList rows;
    } cases[] = {
        {{u"--rev"_s, u"v3"_s}, {u"Ann <ann@example.org>,1,4,0.004,author"_s, u"Bob <bob@example.org>,1,1,0.001,author"_s}},
        {{u"--diff"_s, u"v2"_s, u"v3"_s},
         {u"Ann <ann@example.org>,4,0,0,4,0.004,author"_s, u"Bob <bob@example.org>,1,0,0,1,0.001,author"_s}},
        // At v2.5 line_a stood in m.c already: moving it is Bob's change.
        {{u"--diff"_s, u"v2.5"_s, u"v3"_s}, {u"Bob <bob@example.org>,2,0,0,2,0.002,author"_s, u"（削除）,0,0,1,0,0.000,deleted"_s}},
    };
    for (const auto& c : cases) {
        QStringList records;
        ASSERT_EQ(count(QStringList{u"--repo"_s, m_repo} << c.range << u"--summary"_s << u"author"_s << u"m.c"_s, records), 0);
        EXPECT_EQ(records.mid(1, records.size() - 2), c.rows) << c.range.join(u' ').toStdString();
    }
}

TEST_F(AuthorStepsTest, RefusedWithoutTheHistoryItReads)
{
    QStringList records;
    std::string err;
    EXPECT_EQ(count({u"--summary"_s, u"author"_s, m_repo}, records, &err), 2);
    EXPECT_NE(err.find("--repo"), std::string::npos) << err;

    const QString shallow = m_dir.path(u"shallow"_s);
    git({u"clone"_s, u"-q"_s, u"--depth"_s, u"1"_s, u"file://"_s + m_repo, shallow});
    EXPECT_EQ(count({u"--repo"_s, shallow, u"--rev"_s, u"HEAD"_s, u"--summary"_s, u"author"_s}, records, &err), 2);
    EXPECT_NE(err.find("shallow clone"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_TRUE(records.isEmpty());
}

TEST_F(AuthorStepsTest, OldOnAnotherBranchEndsTheHistoryWhereTheBranchesMet)
{
    // After v2, Dan adds d.c; from there Carol changes Bob's a2 on a release line of its own
    // (v2.1), while Eve adds e.c (v3). Against v3, a2 is a changed step whose line is older than
    // the branches: no commit between the two wrote it.
    put("d.c", "int d1;\n");
    commit(u"Dan"_s, u"dan@example.org"_s);
    git({u"checkout"_s, u"-q"_s, u"-b"_s, u"fix"_s});
    put("a.c", "int x1;\nint x2;\nint a1;\nint a2 = 3;\n// note\nint a3;\nint a4;\n");
    commit(u"Carol"_s, u"carol@example.org"_s, u"v2.1"_s);
    git({u"checkout"_s, u"-q"_s, u"-"_s});
    put("e.c", "int e1;\nint e2;\n");
    commit(u"Eve"_s, u"eve@example.org"_s, u"v3"_s);
    QStringList records;
    ASSERT_EQ(count({u"--repo"_s, m_repo, u"--diff"_s, u"v2.1"_s, u"v3"_s, u"--summary"_s, u"author"_s}, records), 0);
    EXPECT_EQ(records, QStringList({u"author,added,changed,deleted,modified,kstep,row"_s,
                                    u"Eve <eve@example.org>,2,0,0,2,0.002,author"_s,
                                    u"（旧版にあった行）,0,1,0,1,0.001,earlier"_s, u"合計,2,1,0,3,0.003,total"_s}));
}

} // namespace
