#include "cli/CountCommand.h"
#include "git/GitRevision.h"

#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "config/SettingsStore.h"
#include "support/DelimitedText.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <git2.h>
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

const char* kIni = "[Mode]\r\nCount_Mode=1\r\nSerch_Mode=1\r\n"
                   "[Engin]\r\nList=c,txt\r\nLang_c=C_STYLE,C,1\r\nLang_txt=C_STYLE,Text,0\r\n"
                   "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";

struct Result {
    int rc;
    QString out;
    std::string err;
};

// A repository of two tagged versions, made with git itself, holding what a real one holds:
// line ends of both kinds, a CP932 file, a name that is not UTF-8, a binary file, a symbolic
// link and a submodule entry.
class GitRevisionTest : public ::testing::Test {
protected:
    GitRevisionTest()
    {
        m_ini = m_dir.write(QStringLiteral("Tarvik.ini"), kIni);
        m_repo = m_dir.mkdir(QStringLiteral("repo"));
        git({"init", "-q"});
        put("src/main.c", "int main() {\n  return 0; // ok\n}\n");
        put("src/crlf.c", "/* c */\r\nint a;\r\n\r\nint b;\r\n");
        put("src/sjis.c", "// \x93\xfa\x96\x7b\x8c\xea\nchar* s = \"\x95\x5c\";\n");
        put("src/caf\xe9.c", "int cafe;\n");
        put("src/old_name.c", "int moved(void)\n{\n    return 1;\n}\nint stays;\n");
        put("src/gone.c", "int gone;\nint gone2;\n");
        put("src/comment.c", "int c; // before\n");
        put("bin/data.c", QByteArray("\x7f" "ELF\0\0\x01 int x;\n\0\xff\xfe", 16));
        put("notes.txt", "not searched\n");
        commit("v1");

        put("src/main.c", "int main() {\n  int x = 1;\n  return x; // ok\n}\n");
        put("src/comment.c", "int c; // after, and longer\n");
        git({"mv", "src/old_name.c", "src/new_name.c"});
        put("src/new_name.c", "int moved(void)\n{\n    return 2;\n}\nint stays;\n");
        git({"rm", "-q", "src/gone.c"});
        put("src/added.c", "int added;\n");
        put("special/plain.c", "int plain;\n");
        ::symlink("../src/main.c", pathToNative(m_repo + QStringLiteral("/special/link.c")).c_str());
        git({"add", "special"});
        git({"update-index", "--add", "--cacheinfo", "160000,0123456789012345678901234567890123456789,special/module.c"});
        commit("v2");
    }

    QByteArray git(const QList<QByteArray>& args, const QString& in = {})
    {
        QProcess p;
        p.setWorkingDirectory(in.isEmpty() ? m_repo : in);
        QStringList list{QStringLiteral("-c"), QStringLiteral("user.name=t"), QStringLiteral("-c"),
                         QStringLiteral("user.email=t@example.org"), QStringLiteral("-c"), QStringLiteral("core.autocrlf=false")};
        for (const QByteArray& a : args)
            list << QString::fromUtf8(a);
        p.start(QStringLiteral("git"), list);
        p.waitForFinished(60000);
        EXPECT_EQ(p.exitCode(), 0) << args.join(' ').constData() << ": " << p.readAllStandardError().constData();
        return p.readAllStandardOutput();
    }

    void put(const char* relative, const QByteArray& bytes)
    {
        const std::string path = pathToNative(m_repo) + '/' + relative;
        m_dir.write(pathFromNative(path).mid(m_dir.path().size() + 1), bytes);
        git({"add", "--", relative});
    }

    void commit(const char* tag)
    {
        git({"commit", "-q", "-m", tag});
        git({"tag", tag});
    }

    // A checkout of `tag` beside the repository, as a user would count it.
    QString checkout(const char* tag)
    {
        const QString where = m_dir.path(QString::fromUtf8(tag));
        git({"worktree", "add", "-q", "--detach", where.toUtf8(), tag});
        return where;
    }

    Result count(const QStringList& args)
    {
        CountCommand::Environment env{m_ini, m_dir.path(), false, false, 2};
        std::ostringstream out, err;
        const int rc = CountCommand(env).execute(args, out, err);
        return {rc, QString::fromStdString(out.str()), err.str()};
    }

    // The files paired as moved from `oldRevision` to `newRevision`: new path -> old path.
    QMap<QString, QString> moves(const char* oldRevision, const char* newRevision)
    {
        QString error;
        const auto repository = GitRepository::open(m_repo, &error);
        EXPECT_TRUE(repository) << error.toStdString();
        const auto pairs = repository ? repository->pairFiles(QString::fromUtf8(oldRevision), QString::fromUtf8(newRevision),
                                                              RevisionSelection{{QStringLiteral("c")}, true, {}, {}}, &error)
                                      : std::nullopt;
        EXPECT_TRUE(pairs) << error.toStdString();
        QMap<QString, QString> out;
        for (const FilePair& pair : pairs.value_or(std::vector<FilePair>{})) {
            if (!pair.renamedFrom.isEmpty())
                out.insert(pair.relativePath, pair.renamedFrom);
        }
        return out;
    }

    // CSV rows with the path column made relative: "TAG:" or "FOLDER/" dropped.
    static QList<QStringList> rows(const QString& csv, const QString& prefix)
    {
        QList<QStringList> out = test::parseDelimited(csv, u',');
        for (QStringList& row : out) {
            for (QString& field : row) {
                if (field.startsWith(prefix))
                    field = field.mid(prefix.size());
            }
        }
        return out;
    }

    TempDir m_dir;
    QString m_ini;
    QString m_repo;
};

} // namespace

// The central promise: a revision counts exactly as the same files checked out.
TEST_F(GitRevisionTest, ARevisionCountsAsItsCheckout)
{
    const QByteArray status = git({"status", "--porcelain"});
    for (const char* tag : {"v1", "v2"}) {
        const QString tree = checkout(tag);
        const QStringList common{QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--exclude"), QStringLiteral("special/")};
        const Result fromObjects = count(common + QStringList{QStringLiteral("--repo"), QStringLiteral("repo"),
                                                              QStringLiteral("--rev"), QString::fromUtf8(tag)});
        const Result fromDisk = count(common + QStringList{tree});
        ASSERT_EQ(fromObjects.rc, 0) << fromObjects.err;
        ASSERT_EQ(fromDisk.rc, 0) << fromDisk.err;
        const QList<QStringList> a = rows(fromObjects.out, QString::fromUtf8(tag) + u':');
        EXPECT_EQ(a, rows(fromDisk.out, tree + u'/')) << tag;
        EXPECT_GE(a.size(), 8) << fromObjects.out.toStdString();
    }
    // Nothing in the repository changed: no checkout, no index update.
    EXPECT_EQ(git({"status", "--porcelain"}), status);

    // A subfolder of the working folder finds its repository and limits the count to itself,
    // unless limits are given.
    const QStringList bySubfolder{QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--repo"),
                                  m_repo + QStringLiteral("/src"), QStringLiteral("--rev"), QStringLiteral("v1")};
    const Result sub = count(bySubfolder);
    ASSERT_EQ(sub.rc, 0) << sub.err;
    EXPECT_EQ(sub.out, count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--repo"), m_repo, QStringLiteral("--rev"),
                              QStringLiteral("v1"), m_repo + QStringLiteral("/src")}).out);
    EXPECT_TRUE(sub.out.contains(QStringLiteral("v1:src/main.c,"))) << sub.out.toStdString();
    EXPECT_FALSE(sub.out.contains(QStringLiteral("v1:bin/"))) << sub.out.toStdString();
    EXPECT_TRUE(count(bySubfolder + QStringList{m_repo + QStringLiteral("/bin")}).out.contains(QStringLiteral("v1:bin/")));
}

TEST_F(GitRevisionTest, ComparingTwoRevisionsIsComparingTheirCheckoutsWithMovedFilesPaired)
{
    const QString old = checkout("v1"), fresh = checkout("v2");
    const QStringList common{QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--exclude"), QStringLiteral("special")};
    const Result revisions = count(common + QStringList{QStringLiteral("--repo"), m_repo, QStringLiteral("--diff"),
                                                        QStringLiteral("v1"), QStringLiteral("v2")});
    const Result folders = count(common + QStringList{QStringLiteral("--diff"), old, fresh});
    ASSERT_EQ(revisions.rc, 0) << revisions.err;
    ASSERT_EQ(folders.rc, 0) << folders.err;

    // relative_path, status, outcome, old, new, added, changed, deleted
    auto figures = [](const QString& csv) {
        QMap<QString, QStringList> byPath;
        for (const QStringList& row : test::parseDelimited(csv, u',').mid(1))
            byPath.insert(row[0], row.mid(1, 7));
        return byPath;
    };
    QMap<QString, QStringList> fromRevisions = figures(revisions.out), fromFolders = figures(folders.out);
    const QString moved = QStringLiteral("src/new_name.c");
    EXPECT_EQ(fromRevisions.value(moved), (QStringList{QStringLiteral("変更"), QStringLiteral("Counted"), QStringLiteral("5"),
                                                        QStringLiteral("5"), QStringLiteral("0"), QStringLiteral("1"),
                                                        QStringLiteral("0")}));
    EXPECT_EQ(fromFolders.take(moved).value(0), QStringLiteral("新規"));
    EXPECT_EQ(fromFolders.take(QStringLiteral("src/old_name.c")).value(0), QStringLiteral("削除"));
    fromRevisions.remove(moved);
    EXPECT_EQ(fromRevisions, fromFolders);
    EXPECT_EQ(fromRevisions.value(QStringLiteral("src/comment.c")).value(0), QStringLiteral("変更なし"));

    const Result report = count({QStringLiteral("--repo"), m_repo, QStringLiteral("--diff"), QStringLiteral("v1"), QStringLiteral("v2")});
    EXPECT_TRUE(report.out.contains(QStringLiteral("src/new_name.c ← src/old_name.c\r\n"))) << report.out.toStdString();
}

// Files of a few families, each moved and edited: several old files match a new one, so libgit2
// goes over them again as matches displace one another. The pairs must be those of libgit2's own
// rename detection, whose scores the comparison remembers instead of measuring them again.
TEST_F(GitRevisionTest, MovedFilesArePairedAsLibgit2PairsThem)
{
    std::mt19937 random(20261208);
    auto edited = [&](QList<QByteArray> lines, int edits) {
        for (int e = 0; e < edits; ++e)
            lines[static_cast<qsizetype>(random() % lines.size())] = "int edit" + QByteArray::number(random()) + ";";
        return lines;
    };
    QList<QList<QByteArray>> olds;
    for (int i = 0; i < 24; ++i) {
        QList<QByteArray> family;
        for (int l = 0; l < 20; ++l)
            family << "int family" + QByteArray::number(i % 4) + "_" + QByteArray::number(l) + " = " + QByteArray::number(l) + ";";
        olds << edited(family, 2);
        put(QByteArray("moves/old" + QByteArray::number(i) + ".c").constData(), olds.last().join('\n') + '\n');
    }
    commit("v3");
    git({"rm", "-q", "-r", "moves"});
    for (int i = 0; i < 24; ++i)
        put(QByteArray("moved/new" + QByteArray::number(i) + ".c").constData(), edited(olds[i], 3 + i % 6).join('\n') + '\n');
    commit("v4");

    const QMap<QString, QString> ours = moves("v3", "v4");

    QMap<QString, QString> libgit2s;
    git_repository* repo = nullptr;
    git_object *oldTree = nullptr, *newTree = nullptr;
    git_diff* diff = nullptr;
    ASSERT_EQ(git_repository_open(&repo, pathToNative(m_repo).c_str()), 0);
    ASSERT_EQ(git_revparse_single(&oldTree, repo, "v3^{tree}"), 0);
    ASSERT_EQ(git_revparse_single(&newTree, repo, "v4^{tree}"), 0);
    ASSERT_EQ(git_diff_tree_to_tree(&diff, repo, reinterpret_cast<git_tree*>(oldTree), reinterpret_cast<git_tree*>(newTree),
                                    nullptr), 0);
    git_diff_find_options find = GIT_DIFF_FIND_OPTIONS_INIT;
    find.flags = GIT_DIFF_FIND_RENAMES;
    ASSERT_EQ(git_diff_find_similar(diff, &find), 0);
    for (size_t i = 0; i < git_diff_num_deltas(diff); ++i) {
        const git_diff_delta* d = git_diff_get_delta(diff, i);
        if (d->status == GIT_DELTA_RENAMED)
            libgit2s.insert(QString::fromUtf8(d->new_file.path), QString::fromUtf8(d->old_file.path));
    }
    git_diff_free(diff);
    git_object_free(newTree);
    git_object_free(oldTree);
    git_repository_free(repo);

    EXPECT_GE(libgit2s.size(), 12);
    EXPECT_EQ(ours, libgit2s);
}

// Entries that are not files of the revision are reported, one line each, and the count goes on.
TEST_F(GitRevisionTest, LinksSubmodulesAndAbsentPathsGetAnOutcomeLine)
{
    const Result r = count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--repo"), m_repo, QStringLiteral("--rev"),
                            QStringLiteral("v2"), m_repo + QStringLiteral("/special"), QStringLiteral("src/main.c"),
                            QStringLiteral("src/none.c")});
    ASSERT_EQ(r.rc, 0) << r.err;
    QStringList outcomes;
    for (const QStringList& row : test::parseDelimited(r.out, u',').mid(1))
        outcomes << row[0] + u'=' + row[3];
    EXPECT_EQ(outcomes, (QStringList{QStringLiteral("v2:special/link.c=Missing"), QStringLiteral("v2:special/module.c=Missing"),
                                     QStringLiteral("v2:special/plain.c=Counted"), QStringLiteral("v2:src/main.c=Counted"),
                                     QStringLiteral("v2:src/none.c=Missing")}));

    // Named files of a comparison: one version's file is added or deleted, not missing.
    const Result d = count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--repo"), m_repo, QStringLiteral("--diff"),
                            QStringLiteral("v1"), QStringLiteral("v2"), QStringLiteral("src/added.c"), QStringLiteral("src/gone.c"),
                            QStringLiteral("src/none.c")});
    ASSERT_EQ(d.rc, 0) << d.err;
    outcomes.clear();
    for (const QStringList& row : test::parseDelimited(d.out, u',').mid(1))
        outcomes << row[0] + u'=' + row[10] + u'=' + row[2];
    EXPECT_EQ(outcomes, (QStringList{QStringLiteral("src/added.c=added=Counted"), QStringLiteral("src/gone.c=deleted=Counted"),
                                     QStringLiteral("src/none.c=changed=Missing")}));
}

TEST_F(GitRevisionTest, WhatIsNotThereIsOneLineExitStatusTwoAndNothingWritten)
{
    // A copy of the repository (its objects are loose files) that has lost one file's object.
    const QString broken = m_dir.path(QStringLiteral("broken"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), m_repo, broken}), 0);
    const QString blob = QString::fromLatin1(git({"rev-parse", "v1:src/main.c"}).trimmed());
    ASSERT_TRUE(QFile::remove(broken + QStringLiteral("/.git/objects/") + blob.left(2) + u'/' + blob.mid(2)));

    const QString output = m_dir.path(QStringLiteral("out.csv"));
    struct Case {
        QStringList args;
        const char* says;
    } cases[] = {
        {{QStringLiteral("--repo"), m_repo, QStringLiteral("--rev"), QStringLiteral("v9")}, "revision not found: v9"},
        {{QStringLiteral("--repo"), m_repo, QStringLiteral("--diff"), QStringLiteral("v1"), QStringLiteral("nope")}, "revision not found: nope"},
        {{QStringLiteral("--repo"), m_dir.path(), QStringLiteral("--rev"), QStringLiteral("v1")}, "not a git repository: "},
        {{QStringLiteral("--repo"), broken, QStringLiteral("--rev"), QStringLiteral("v1")}, "of v1:src/main.c is not in the repository"},
    };
    for (const Case& c : cases) {
        const Result r = count(c.args + QStringList{QStringLiteral("-o"), output});
        EXPECT_EQ(r.rc, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(QFile::exists(output)) << c.says;
    }
}

// In a working folder, --gitignore leaves out what git itself ignores there, its exclude file
// included; the repository's own folder is never walked.
TEST_F(GitRevisionTest, InAWorkingFolderTheGitignoreRulesAreGits)
{
    m_dir.write(QStringLiteral("repo/.git/info/exclude"), "added.c\n");
    m_dir.write(QStringLiteral("repo/src/.gitignore"), "sjis.c\n");
    auto listed = [&](const QStringList& extra) {
        QStringList names;
        const Result r = count(QStringList{QStringLiteral("-f"), QStringLiteral("csv"), m_repo + QStringLiteral("/src")} + extra);
        for (const QStringList& row : test::parseDelimited(r.out, u',').mid(1))
            names << row[1];
        return names;
    };
    const QStringList all = listed({});
    EXPECT_TRUE(all.contains(QStringLiteral("added.c")) && all.contains(QStringLiteral("sjis.c"))) << all.join(u' ').toStdString();
    const QStringList ignored = listed({QStringLiteral("--gitignore")});
    EXPECT_FALSE(ignored.contains(QStringLiteral("added.c")));
    EXPECT_FALSE(ignored.contains(QStringLiteral("sjis.c")));
    EXPECT_EQ(ignored.size(), all.size() - 2);

    m_dir.write(QStringLiteral("repo/.git/stray.c"), "int x;\n");
    const Result whole = count({QStringLiteral("-f"), QStringLiteral("csv"), m_repo});
    EXPECT_FALSE(whole.out.contains(QStringLiteral("/.git/"))) << whole.out.toStdString();

    // The user's excludes file, and a folder git ignores walked on its own: all of it ignored.
    git({"config", "core.excludesFile", m_dir.write(QStringLiteral("user-excludes"), "main.c\n").toUtf8()});
    EXPECT_EQ(listed({QStringLiteral("--gitignore")}).size(), all.size() - 3);
    m_dir.write(QStringLiteral("repo/.gitignore"), "/built/\n");
    m_dir.write(QStringLiteral("repo/built/deep/out.c"), "int x;\n");
    const Result built = count({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--gitignore"),
                                m_repo + QStringLiteral("/built/deep")});
    EXPECT_EQ(test::parseDelimited(built.out, u',').size(), 1) << built.out.toStdString();
}

// A revision's folders are counted below its top, "REV:"; a comparison's below the repository's.
TEST_F(GitRevisionTest, SubtotalsOfARevisionAndOfTwoRevisionsAddUpToTheirTotals)
{
    const QStringList common{QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("--summary"), QStringLiteral("dir"),
                             QStringLiteral("--exclude"), QStringLiteral("special"), QStringLiteral("--repo"), m_repo};
    for (const QStringList& which : {QStringList{QStringLiteral("--rev"), QStringLiteral("v2")},
                                     QStringList{QStringLiteral("--diff"), QStringLiteral("v1"), QStringLiteral("v2")}}) {
        const Result r = count(common + which);
        ASSERT_EQ(r.rc, 0) << r.err;
        const QJsonObject doc = QJsonDocument::fromJson(r.out.toUtf8()).object();
        const QJsonArray rows = doc[u"summaries"].toArray()[0].toObject()[u"rows"].toArray();
        const bool diff = which[0] == u"--diff";
        EXPECT_EQ(rows[rows.size() - 2].toObject()[u"folder"].toString(), diff ? u"src/" : u"v2:src/") << r.out.toStdString();
        const QJsonObject total = rows.last().toObject();
        const QStringList keys = diff ? QStringList{QStringLiteral("added"), QStringLiteral("changed"), QStringLiteral("deleted")}
                                      : QStringList{QStringLiteral("executable")};
        for (const QString& key : keys)
            EXPECT_EQ(total[key].toInt(), diff ? doc[u"totals"].toObject()[key].toInt() : doc[u"totalSteps"].toInt()) << key.toStdString();
    }
}

// Damage found while listing is refused before anything is written; damage only reading the
// blob can find ends the run, and its half of a result never replaces the older output.
TEST_F(GitRevisionTest, ADamagedRepositoryIsNamedAndNeverReplacesTheOutput)
{
    QByteArray noise(30000, '\0');
    std::mt19937 random(24);
    for (char& c : noise)
        c = random() % 40 == 0 ? '\n' : static_cast<char>('a' + random() % 26);
    put("src/zz_noise.c", noise);
    commit("v3");
    auto copy = [&](const char* name) {
        const QString where = m_dir.path(QString::fromUtf8(name));
        EXPECT_EQ(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), m_repo, where}), 0);
        return where;
    };
    const QString garbled = copy("garbled"), cut = copy("cut"), overlong = copy("overlong"), halved = copy("halved"),
                  flipped = copy("flipped");
    const QString blob = QString::fromLatin1(git({"rev-parse", "v1:src/crlf.c"}).trimmed());
    const QString looseName = QStringLiteral("/.git/objects/") + blob.left(2) + u'/' + blob.mid(2);
    QFile loose(garbled + looseName);
    ASSERT_TRUE(loose.open(QIODevice::ReadWrite));
    ASSERT_TRUE(loose.write(noise.left(static_cast<qsizetype>(loose.size()))) > 0);
    loose.close();
    ASSERT_TRUE(QFile::resize(cut + looseName, QFileInfo(cut + looseName).size() - 6)); // its header still whole
    const QByteArray crlf = "/* c */\r\nint a;\r\n\r\nint b;\r\n";
    QFile longer(overlong + looseName);
    longer.setPermissions(longer.permissions() | QFileDevice::WriteOwner);
    ASSERT_TRUE(longer.open(QIODevice::WriteOnly | QIODevice::Truncate));
    longer.write(qCompress("blob " + QByteArray::number(crlf.size()) + '\0' + crlf + "int more;\n").mid(4));
    longer.close();
    auto packOf = [&](const QString& repo) {
        git({"repack", "-a", "-d", "-q"}, repo);
        return QDir(repo + QStringLiteral("/.git/objects/pack")).entryInfoList({QStringLiteral("*.pack")}).value(0).filePath();
    };
    const QString half = packOf(halved);
    ASSERT_TRUE(QFile::resize(half, QFileInfo(half).size() / 2));
    // The noise blob is stored whole in the pack: a byte flipped in its middle spoils only it.
    const QString pack = packOf(flipped);
    const QString noiseId = QString::fromLatin1(git({"rev-parse", "v3:src/zz_noise.c"}).trimmed());
    qint64 at = -1;
    for (const QByteArray& line : git({"verify-pack", "-v", pack.toUtf8()}, flipped).split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() >= 5 && f[0] == noiseId.toLatin1())
            at = f[4].toLongLong() + f[3].toLongLong() / 2;
    }
    ASSERT_GT(at, 0);
    QFile packFile(pack);
    ASSERT_TRUE(packFile.open(QIODevice::ReadWrite) && packFile.seek(at));
    const char byte = packFile.peek(1)[0];
    packFile.write(QByteArray(1, static_cast<char>(byte ^ 0x5a)));
    packFile.close();

    const QString output = m_dir.path(QStringLiteral("out.csv"));
    struct Case {
        QString repo;
        const char* rev;
        int rc;
        std::string says;
    } cases[] = {
        {garbled, "v1", 2, "of v1:src/crlf.c cannot be read: "},
        {cut, "v1", 1, "v1:src/crlf.c: loose object " + blob.toStdString() + " is damaged: cut short"},
        {overlong, "v1", 1, "is damaged: holds more than its header says"},
        {halved, "v2", 2, "revision v2 cannot be read: "},
        {flipped, "v3", 1, "v3:src/zz_noise.c: "},
    };
    for (const Case& c : cases) {
        for (const char* format : {"csv", "xlsx"}) {
            m_dir.write(QStringLiteral("out.csv"), "older\n");
            const Result r = count({QStringLiteral("--repo"), c.repo, QStringLiteral("--rev"), QString::fromUtf8(c.rev),
                                    QStringLiteral("-f"), QString::fromUtf8(format), QStringLiteral("-o"), output});
            EXPECT_EQ(r.rc, c.rc) << c.says << r.err;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
            QFile kept(output);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), QByteArray("older\n")) << c.says << " " << format;
        }
    }
}

// A blob's size comes from its object header: one said to be larger than the limit is not
// analysable at once, never inflated (this one could not be: its stream ends after 100 bytes). A file at the top of a revision has its own name as its
// Program ID, and the revision, whatever its name holds, as its folder.
TEST_F(GitRevisionTest, AHugeBlobIsNotReadAndTopFilesAreNamedUnderTheirRevision)
{
    const QByteArray header = "blob 3000000000";
    QByteArray body(1 << 16, '\0');
    std::mt19937 random(3);
    for (char& c : body)
        c = static_cast<char>(random());
    const QByteArray object = qCompress(header + '\0' + body).mid(4, 100); // zlib, without Qt's size
    const QString id = QStringLiteral("3e5b1c0de5b1c0de5b1c0de5b1c0de5b1c0de5b1");
    m_dir.write(QStringLiteral("repo/.git/objects/") + id.left(2) + u'/' + id.mid(2), object);
    const QString small = QString::fromLatin1(git({"rev-parse", "v1:src/main.c"}).trimmed());
    QProcess mktree;
    mktree.setWorkingDirectory(m_repo);
    mktree.start(QStringLiteral("git"), {QStringLiteral("mktree")});
    mktree.write(QStringLiteral("100644 blob %1\tbig.c\n100644 blob %2\ttop.c\n").arg(id, small).toUtf8());
    mktree.closeWriteChannel();
    ASSERT_TRUE(mktree.waitForFinished(30000));
    const QByteArray tree = mktree.readAllStandardOutput().trimmed();
    ASSERT_FALSE(tree.isEmpty()) << mktree.readAllStandardError().constData();
    const QByteArray commit = git({"commit-tree", tree, "-m", "huge"}).trimmed();
    git({"branch", "rel/1.0", commit});

    const Result r = count({QStringLiteral("--repo"), m_repo, QStringLiteral("--rev"), QStringLiteral("rel/1.0"),
                            QStringLiteral("-f"), QStringLiteral("csv")});
    ASSERT_EQ(r.rc, 0) << r.err;
    const QList<QStringList> rows = test::parseDelimited(r.out, u',');
    ASSERT_EQ(rows.size(), 3) << r.out.toStdString();
    EXPECT_EQ(rows[1].mid(0, 4), (QStringList{QStringLiteral("rel/1.0:big.c"), QStringLiteral("big.c"),
                                              QStringLiteral("rel/1.0:"), QStringLiteral("NotAnalysable")}));
    EXPECT_EQ(rows[2].mid(0, 4), (QStringList{QStringLiteral("rel/1.0:top.c"), QStringLiteral("top.c"),
                                              QStringLiteral("rel/1.0:"), QStringLiteral("Counted")}));
}

// More moved files than libgit2 looks through by default (1,000 sources for each target), half
// of them renamed as well: every one is paired with its old self. A file of the same name that
// has nothing in common with the one removed is not.
TEST_F(GitRevisionTest, EveryMovedFileIsPairedHoweverManyMoved)
{
    constexpr int kMoved = 2200;
    auto name = [](const char* folder, int i) {
        return QStringLiteral("repo/%1/%2%3.c").arg(QString::fromUtf8(folder), i % 2 ? u"g" : u"f").arg(i, 4, 10, QChar(u'0'));
    };
    for (int i = 0; i < kMoved; ++i)
        m_dir.write(name("many", i).replace(QStringLiteral("/g"), QStringLiteral("/f")), QStringLiteral("int a%1;\nint b%1;\nint c%1;\nint d%1;\n").arg(i).toUtf8());
    put("many/util.c", "int util(void)\n{\n    return 1;\n}\n");
    git({"add", "many"});
    commit("v3");
    git({"rm", "-q", "-r", "many"});
    for (int i = 0; i < kMoved; ++i)
        m_dir.write(name("moved", i), QStringLiteral("int a%1;\nint b%1;\nint c%1;\nint e%1;\n").arg(i).toUtf8());
    put("moved/util.c", "/* other */\nchar* name;\nlong count;\n");
    git({"add", "moved"});
    commit("v4");

    const QMap<QString, QString> moved = moves("v3", "v4");
    int paired = 0;
    for (auto it = moved.cbegin(); it != moved.cend(); ++it)
        paired += it.key().startsWith(u"moved/") && it.value() == u"many/f" + it.key().mid(7);
    EXPECT_EQ(paired, kMoved);
    EXPECT_FALSE(moved.contains(QStringLiteral("moved/util.c")));
}

// What --exclude and the committed .gitignore files (CR LF line ends, one in a subfolder with a
// rule anchored there) leave out of a revision, and the order of what stays (a folder's files
// before its subfolders), are those of its checkout: in a working folder, where git's rules
// decide, and in a copy outside any.
TEST_F(GitRevisionTest, ExclusionsAndOrderOfARevisionAreThoseOfItsFiles)
{
    put(".gitignore", "*.gen.c\r\n/top_only.c\r\n");
    put("sub/.gitignore", "/local.c\r\n");
    for (const char* file : {"top_only.c", "x.gen.c", "sub/top_only.c", "sub/local.c", "sub/deeper/local.c", "sub/b.c",
                             "sub/a/x.c", "sub/drop/y.c", "sub/skip_me.c", "sub/a/skip_me.c"})
        git({"add", "-f", "--", m_dir.write(QStringLiteral("repo/") + QString::fromUtf8(file), "int x;\n").toUtf8()});
    commit("v3");
    const QString working = checkout("v3");
    const QString plain = m_dir.mkdir(QStringLiteral("plain"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"),
                                                       QStringLiteral("git -C '%1' archive v3 | tar -x -C '%2'").arg(m_repo, plain)}), 0);
    const QStringList rules{QStringLiteral("--gitignore"), QStringLiteral("--exclude"), QStringLiteral("skip_me.c"),
                            QStringLiteral("--exclude"), QStringLiteral("drop/"), QStringLiteral("--exclude"),
                            QStringLiteral("special"), QStringLiteral("-f"), QStringLiteral("csv")};
    auto listed = [&](const QStringList& where, const QString& prefix) {
        const Result r = count(rules + where);
        EXPECT_EQ(r.rc, 0) << r.err;
        QStringList paths;
        for (const QStringList& row : rows(r.out, prefix).mid(1))
            paths << row[0];
        return paths;
    };
    const QStringList fromRevision = listed({QStringLiteral("--repo"), m_repo, QStringLiteral("--rev"), QStringLiteral("v3"),
                                             QStringLiteral("sub")}, QStringLiteral("v3:"));
    EXPECT_EQ(fromRevision, (QStringList{QStringLiteral("sub/b.c"), QStringLiteral("sub/top_only.c"),
                                         QStringLiteral("sub/a/x.c"), QStringLiteral("sub/deeper/local.c")}));
    EXPECT_EQ(listed({working + QStringLiteral("/sub")}, working + u'/'), fromRevision);
    EXPECT_EQ(listed({plain + QStringLiteral("/sub")}, plain + u'/'), fromRevision);
    const QStringList whole = listed({QStringLiteral("--repo"), m_repo, QStringLiteral("--rev"), QStringLiteral("v3")},
                                     QStringLiteral("v3:"));
    EXPECT_FALSE(whole.contains(QStringLiteral("top_only.c")) || whole.contains(QStringLiteral("x.gen.c"))) << whole.join(u' ').toStdString();
    EXPECT_EQ(listed({plain}, plain + u'/'), whole);
}

// A revision's files are taken by name and by "#!" line as on disk, and the files passed over
// are tallied from the object headers.
TEST_F(GitRevisionTest, ARevisionIsTakenByNameAndHashBangLineAndTalliesWhatItPassesOver)
{
    put("Makefile", "all:\n\tcc main.c # build\n");
    put("tools/build", "#!/usr/bin/env python3\nprint(1)\n");
    put("tools/README", "Read me\n");
    put("data/a.json", "{\"a\": 1}\n");
    commit("v3");
    const QString ini = m_dir.write(QStringLiteral("Typed.ini"),
                                    "[Engin]\r\nList=c,txt\r\nLang_c=C_STYLE,C,1\r\nLang_txt=C_STYLE,Text,0\r\n"
                                    "Name_List=Makefile\r\nName_Makefile=HASH,Make,1\r\n"
                                    "Shebang_List=python\r\nShebang_python=HASH,Python,1\r\n"
                                    "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\nHASH=#\r\n");
    QString error;
    const auto repository = GitRepository::open(m_repo, &error);
    ASSERT_TRUE(repository) << error.toStdString();
    RevisionSelection selection;
    IniDocument settings;
    ASSERT_TRUE(SettingsStore::loadDocument(ini, settings, &error));
    selection.setTypes(FileTypeTable::fromDocument(settings).searchedTypes());
    UnregisteredFiles passed;
    const auto files = repository->listFiles(QStringLiteral("v3"), selection, &error, &passed);
    ASSERT_TRUE(files) << error.toStdString();
    EXPECT_TRUE(files->contains(QStringLiteral("v3:Makefile")));
    EXPECT_TRUE(files->contains(QStringLiteral("v3:tools/build")));
    EXPECT_FALSE(files->contains(QStringLiteral("v3:tools/README")));
    QMap<QString, QPair<qsizetype, int64_t>> kinds;
    for (const UnregisteredKind& k : passed.kinds())
        kinds.insert(k.kind, {k.files, k.bytes});
    // notes.txt is registered but not searched; the submodule entry is no file.
    EXPECT_EQ(kinds, (QMap<QString, QPair<qsizetype, int64_t>>{{QStringLiteral(".json"), {1, 9}},
                                                                {QStringLiteral("README"), {1, 8}},
                                                                {QStringLiteral(".txt"), {1, 13}}}));

    // Counted with their engines: the "#!" line is read from the revision's object.
    CountCommand::Environment env{ini, m_dir.path(), false, false, 2};
    std::ostringstream out, err;
    ASSERT_EQ(CountCommand(env).execute({QStringLiteral("--repo"), m_repo, QStringLiteral("--rev"), QStringLiteral("v3"),
                                         QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("tools")},
                                        out, err), 0) << err.str();
    EXPECT_NE(out.str().find("build,v3:tools/,Counted,1,1,2\r\n"), std::string::npos) << out.str();
    EXPECT_EQ(err.str(), "tarvik-count: 1 file not counted: types not registered for folder searches (README 1 file 8 B)\n");
}

TEST(CompareVersions, NumbersAsNumbersAndPreReleasesFirst)
{
    const std::pair<const char*, const char*> ascending[] = {
        {"v1.9", "v1.10"}, {"6.2.16", "7.2.5"}, {"1.2-rc1", "1.2"}, {"1.2", "1.2.1"}, {"1.2.0-rc1", "1.2.0-rc2"},
        {"v007", "v8"}, {"1.2a", "1.2"}, {"2024.1", "2024.10"},
    };
    for (const auto& [lower, higher] : ascending) {
        EXPECT_LT(compareVersions(QString::fromUtf8(lower), QString::fromUtf8(higher)), 0) << lower << " " << higher;
        EXPECT_GT(compareVersions(QString::fromUtf8(higher), QString::fromUtf8(lower)), 0) << lower << " " << higher;
    }
    EXPECT_EQ(compareVersions(QStringLiteral("v01.2"), QStringLiteral("1.2")), 0);
}

// Two release lines, the older line's last release made after the newer line's: the offer goes
// by version, and each release follows the one before it on its own line.
TEST_F(GitRevisionTest, ReleasesAreOfferedByVersionAndFollowTheirOwnLine)
{
    git({"checkout", "-q", "-b", "line6", "v1"});
    auto release = [&](const char* tag, const char* day) {
        put("src/release.c", QByteArray("int r = 1; // ") + tag + "\n");
        qputenv("GIT_COMMITTER_DATE", QByteArray(day) + "T12:00:00");
        commit(tag);
        qunsetenv("GIT_COMMITTER_DATE");
    };
    release("6.2.15", "2030-01-01");
    git({"checkout", "-q", "-b", "line7", "6.2.15"});
    release("7.2.5", "2030-02-01");
    release("7.2.6", "2030-03-01");
    git({"checkout", "-q", "line6"});
    release("6.2.16", "2030-04-01");

    QString error;
    const auto repo = GitRepository::open(m_repo + QStringLiteral("/src"), &error);
    ASSERT_TRUE(repo) << error.toStdString();
    EXPECT_EQ(repo->revisionNames().mid(0, 6), (QStringList{QStringLiteral("7.2.6"), QStringLiteral("7.2.5"), QStringLiteral("6.2.16"),
                                                           QStringLiteral("6.2.15"), QStringLiteral("v2"), QStringLiteral("v1")}));
    EXPECT_EQ(repo->previousTag(QStringLiteral("7.2.6")), QStringLiteral("7.2.5"));
    EXPECT_EQ(repo->previousTag(QStringLiteral("7.2.5")), QStringLiteral("6.2.15"));
    EXPECT_EQ(repo->previousTag(QStringLiteral("6.2.16")), QStringLiteral("6.2.15"));
    EXPECT_EQ(repo->previousTag(QStringLiteral("6.2.15")), QStringLiteral("v1"));
    EXPECT_EQ(repo->previousTag(QStringLiteral("v1")), QString());
}
