#include "output/Subtotals.h"

#include "cli/CountCommand.h"
#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "output/FigureTableText.h"
#include "support/DelimitedText.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

// "q" has a Lang_ key but is not in the list; "cc" shares the kind and engine of "c".
const char* kIni = "[Engin]\r\nList=c,h,py,cc\r\nLang_c=C_STYLE,C言語ソース,1\r\nLang_h=C_STYLE,C言語ヘッダ,1\r\n"
                   "Lang_py=HASH,Pythonスクリプト,1\r\nLang_cc=C_STYLE,C言語ソース,1\r\nLang_q=C_STYLE,謎,1\r\n"
                   "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\nHASH=#\r\n";

// The rows as CSV shows their cells.
QStringList rowsOf(const FigureTable& table)
{
    QStringList rows;
    for (const auto& row : table.rows) {
        QStringList cells;
        for (size_t i = 0; i < row.size(); ++i)
            cells << figureCellText(table, i, row[i]);
        rows << cells.join(u',');
    }
    return rows;
}

QString hopelessFile()
{
    std::string many = "x;\n";
    for (int i = 0; i < 20001; ++i)
        many += "/*" + std::to_string(i) + "*/";
    return QString::fromStdString(many + "\n");
}

RunSummary count(const QStringList& paths, ResultSink& sink, GeneratedFiles generated = GeneratedFiles::Count)
{
    EngineTable engines(IniDocument::fromBytes(kIni));
    return RunAnalysis(paths, engines, AnalysisOptions{true, 2, nullptr, generated}, sink);
}

// What tarvik-count writes with the settings above.
QString countCommand(const TempDir& dir, const QStringList& args)
{
    const QString ini = dir.write(QStringLiteral("Tarvik.ini"), kIni);
    std::ostringstream out, err;
    EXPECT_EQ(CountCommand({ini, dir.path(), false, false, 2}).execute(args, out, err), 0) << err.str();
    return QString::fromStdString(out.str());
}

} // namespace

TEST(Subtotals, TypeRowsInTheTablesOrderThenOneRowPerOutcomeThenTheTotal)
{
    TempDir dir;
    const QStringList paths{dir.write(QStringLiteral("b.py"), "# c\nprint(1)\n"),
                            dir.write(QStringLiteral("a.c"), "x;\n// c\n\n"),
                            dir.write(QStringLiteral("x.CC"), "y;\nz;\n"),
                            dir.write(QStringLiteral("h.h"), "int f(void);\n"),
                            dir.write(QStringLiteral("z.q"), "q;\n"),
                            dir.write(QStringLiteral("notes.xyz"), "?\n"),
                            dir.path(QStringLiteral("gone.c")),
                            dir.write(QStringLiteral("hopeless.c"), hopelessFile().toUtf8())};
    CountSubtotals subtotals(SubtotalGrouping{}, IniDocument::fromBytes(kIni), GeneratedFiles::Count);
    const RunSummary s = count(paths, subtotals);
    const FigureTable t = subtotals.table();
    EXPECT_EQ(t.title, u"種類別");
    EXPECT_EQ(rowsOf(t), (QStringList{QStringLiteral("C言語ソース,C_STYLE,2,3,1,5,0.003,kind"),
                                      QStringLiteral("C言語ヘッダ,C_STYLE,1,1,0,1,0.001,kind"),
                                      QStringLiteral("Pythonスクリプト,HASH,1,1,1,2,0.001,kind"),
                                      QStringLiteral("謎,C_STYLE,1,1,0,1,0.001,kind"),
                                      QStringLiteral("不明なファイル,,1,0,0,0,0.000,no_engine"),
                                      QStringLiteral("解析不能ファイル,,1,0,0,0,0.000,not_analysable"),
                                      QStringLiteral("ファイル未存在,,1,0,0,0,0.000,missing"),
                                      QStringLiteral("合計,,8,6,2,9,0.006,total")}));
    EXPECT_EQ(s.totalSteps, 6);
}

// tree/ is a folder PATH, other/one.c a single file; loose.c was registered from no root.
TEST(Subtotals, FolderRowsAtTheDepthAskedBelowEachRoot)
{
    TempDir dir;
    const QString tree = dir.path(QStringLiteral("tree/")), other = dir.path(QStringLiteral("other/"));
    FolderRoots roots;
    QStringList paths;
    auto registerFrom = [&](const QString& path, int root) {
        paths << path;
        if (root >= 0)
            roots.assign(path, root);
    };
    const int treeRoot = roots.add(FolderRoots::folder(dir.path(QStringLiteral("tree"))));
    for (const char* file : {"top.c", "a/x.c", "a/b/y.c", "a/b/c/z.c", "d/w.c", "d/notes.xyz"})
        registerFrom(dir.write(QStringLiteral("tree/") + QString::fromUtf8(file), "s;\n"), treeRoot);
    registerFrom(dir.write(QStringLiteral("other/one.c"), "s;\n"), roots.add(other));
    registerFrom(dir.write(QStringLiteral("loose/deep/loose.c"), "s;\n"), -1);

    struct Case {
        int depth;
        QStringList rows;
    };
    for (const Case& c : {Case{1, {tree + u",1,1,0,1,0.001,folder", tree + u"a/,3,3,0,3,0.003,folder", tree + u"d/,1,1,0,1,0.001,folder",
                                   other + u",1,1,0,1,0.001,folder"}},
                          Case{2, {tree + u",1,1,0,1,0.001,folder", tree + u"a/,1,1,0,1,0.001,folder",
                                   tree + u"a/b/,2,2,0,2,0.002,folder", tree + u"d/,1,1,0,1,0.001,folder",
                                   other + u",1,1,0,1,0.001,folder"}}}) {
        CountSubtotals subtotals(SubtotalGrouping{SubtotalGrouping::By::Folder, c.depth}, IniDocument::fromBytes(kIni),
                                 GeneratedFiles::Count, &roots);
        count(paths, subtotals);
        const FigureTable t = subtotals.table();
        EXPECT_EQ(t.title, u"フォルダ別");
        EXPECT_EQ(rowsOf(t), (c.rows + QStringList{dir.path(QStringLiteral("loose/deep/,1,1,0,1,0.001,folder")),
                                                   QStringLiteral("不明なファイル,1,0,0,0,0.000,no_engine"),
                                                   QStringLiteral("合計,8,7,0,7,0.007,total")}))
            << "depth " << c.depth;
    }
}

TEST(Subtotals, GeneratedFilesAreCountedLeftOutOrSetApartAsInTheTotals)
{
    TempDir dir;
    const QStringList paths{dir.write(QStringLiteral("gen.c"), "// Code generated by \"stringer\"; DO NOT EDIT.\nx;\ny;\n"),
                            dir.write(QStringLiteral("hand.c"), "z;\n")};
    struct Case {
        GeneratedFiles generated;
        QStringList rows;
    };
    for (const Case& c : {Case{GeneratedFiles::Count, {QStringLiteral("C言語ソース,C_STYLE,2,3,1,4,0.003,kind"),
                                                       QStringLiteral("合計,,2,3,1,4,0.003,total")}},
                          Case{GeneratedFiles::Skip, {QStringLiteral("C言語ソース,C_STYLE,1,1,0,1,0.001,kind"),
                                                      QStringLiteral("合計,,1,1,0,1,0.001,total")}},
                          Case{GeneratedFiles::Separate, {QStringLiteral("C言語ソース,C_STYLE,1,1,0,1,0.001,kind"),
                                                          QStringLiteral("合計,,1,1,0,1,0.001,total"),
                                                          QStringLiteral("生成ファイル（合計に含まず）,,1,2,1,3,0.002,generated")}}}) {
        CountSubtotals subtotals(SubtotalGrouping{}, IniDocument::fromBytes(kIni), c.generated);
        const RunSummary s = count(paths, subtotals, c.generated);
        EXPECT_EQ(rowsOf(subtotals.table()), c.rows) << static_cast<int>(c.generated);
        EXPECT_EQ(std::get<int64_t>(subtotals.table().rows[c.rows.size() > 2 ? 1 : c.rows.size() - 1][3]), s.totalSteps);
    }
}

TEST(Subtotals, AComparisonIsGroupedByTheTypeOfItsNewestVersionAndItsRelativeFolder)
{
    TempDir dir;
    dir.write(QStringLiteral("old/main.c"), "a;\nb;\n");
    dir.write(QStringLiteral("old/lib/gone.h"), "g;\n");
    dir.write(QStringLiteral("old/lib/deep/keep.py"), "k = 1\n");
    dir.write(QStringLiteral("new/main.c"), "a;\nB;\nc;\n");
    dir.write(QStringLiteral("new/lib/deep/keep.py"), "k = 1\n");
    dir.write(QStringLiteral("new/lib/deep/hopeless.c"), hopelessFile().toUtf8());
    const IniDocument settings = IniDocument::fromBytes(kIni);
    EngineTable engines(settings);
    DiffSubtotals byType(SubtotalGrouping{}, settings, GeneratedFiles::Count);
    DiffSubtotals byFolder(SubtotalGrouping{SubtotalGrouping::By::Folder, 1}, settings, GeneratedFiles::Count);
    const DiffRequest request{dir.path(QStringLiteral("old")), dir.path(QStringLiteral("new")),
                              FileTypeTable::fromDocument(settings).searchedExtensions(), true, nullptr};
    for (DiffSubtotals* sink : {&byType, &byFolder})
        ASSERT_TRUE(RunDiff(request, engines, AnalysisOptions{}, *sink).completed());
    // files, added, changed, deleted, modification size, KStep
    EXPECT_EQ(rowsOf(byType.table()), (QStringList{QStringLiteral("C言語ソース,C_STYLE,1,1,1,0,2,0.002,kind"),
                                                   QStringLiteral("C言語ヘッダ,C_STYLE,1,0,0,1,0,0.000,kind"),
                                                   QStringLiteral("Pythonスクリプト,HASH,1,0,0,0,0,0.000,kind"),
                                                   QStringLiteral("解析不能ファイル,,1,0,0,0,0,0.000,not_analysable"),
                                                   QStringLiteral("合計,,4,1,1,1,2,0.002,total")}));
    EXPECT_EQ(rowsOf(byFolder.table()), (QStringList{QStringLiteral("./,1,1,1,0,2,0.002,folder"),
                                                     QStringLiteral("lib/,2,0,0,1,0,0.000,folder"),
                                                     QStringLiteral("解析不能ファイル,1,0,0,0,0,0.000,not_analysable"),
                                                     QStringLiteral("合計,4,1,1,1,2,0.002,total")}));
}

// A file moved to a name of another type is grouped by its new name, as a pair's type always is.
TEST(Subtotals, AFileMovedToAnotherTypeCountsUnderItsNewType)
{
    TempDir dir;
    const QString repo = dir.mkdir(QStringLiteral("repo"));
    auto git = [&](const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(repo);
        p.start(QStringLiteral("git"), QStringList{QStringLiteral("-c"), QStringLiteral("user.name=t"), QStringLiteral("-c"),
                                                   QStringLiteral("user.email=t@example.org")} + args);
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    };
    auto commit = [&](const QString& tag) {
        git({QStringLiteral("add"), QStringLiteral(".")});
        git({QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"), tag});
        git({QStringLiteral("tag"), tag});
    };
    const QByteArray api = "int open(void);\nint close(void);\nint read(void);\n";
    git({QStringLiteral("init"), QStringLiteral("-q")});
    dir.write(QStringLiteral("repo/api.c"), api);
    commit(QStringLiteral("v1"));
    git({QStringLiteral("mv"), QStringLiteral("api.c"), QStringLiteral("api.h")});
    dir.write(QStringLiteral("repo/api.h"), api + "int write(void);\n");
    commit(QStringLiteral("v2"));
    EXPECT_EQ(countCommand(dir, {QStringLiteral("--repo"), repo, QStringLiteral("--diff"), QStringLiteral("v1"), QStringLiteral("v2"),
                                 QStringLiteral("--summary"), QStringLiteral("type"), QStringLiteral("-f"), QStringLiteral("csv")}),
              QStringLiteral("kind,engine,files,added,changed,deleted,modified,kstep,row\r\n"
                             "C言語ヘッダ,C_STYLE,1,1,0,0,1,0.001,kind\r\n合計,,1,1,0,0,1,0.001,total\r\n"));
}

// Folders whose names are not UTF-8 (a stray byte; CP932) read the same in their rows as in the
// rows of their files.
TEST(Subtotals, FolderNamesThatAreNotUtf8AreWrittenAsInTheFilesRows)
{
    TempDir dir;
    const QString tree = dir.mkdir(QStringLiteral("tree"));
    // Made by their bytes: Qt would write the names in UTF-8.
    for (const char* name : {"/d\xff", "/\x93\xfa"}) {
        const std::string folder = pathToNative(tree) + name;
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        std::ofstream(folder + "/x.c") << "x;\n";
    }
    const QStringList csv{QStringLiteral("-f"), QStringLiteral("csv"), tree};
    const QList<QStringList> files = test::parseDelimited(countCommand(dir, csv), u',');
    const QList<QStringList> folders =
        test::parseDelimited(countCommand(dir, csv + QStringList{QStringLiteral("--summary"), QStringLiteral("dir")}), u',');
    const QJsonArray json = QJsonDocument::fromJson(countCommand(dir, {QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("--summary"),
                                                                       QStringLiteral("dir"), tree})
                                                        .toUtf8())[u"summaries"][0][u"rows"]
                                .toArray();
    ASSERT_EQ(files.size(), 3);
    ASSERT_EQ(folders.size(), 4);
    EXPECT_EQ(files[2][2], tree + QStringLiteral("/日/"));
    for (int r = 1; r <= 2; ++r) {
        EXPECT_EQ(folders[r][0], files[r][2]);
        EXPECT_EQ(json[r - 1][u"folder"].toString(), files[r][2]);
    }
}

// Categories: the first whose patterns match the path (or a folder above it) wins; none is 本体.
// The shipped settings file's categories, and none without the section.
TEST(Subtotals, CategoriesTakeTheFirstMatchBelowTheFolderFound)
{
    Categories mine;
    mine.add(QStringLiteral("テスト"), {QStringLiteral("tests/"), QStringLiteral("*_test.*")});
    mine.add(QStringLiteral("外部"), {QStringLiteral("vendor/"), QStringLiteral("/gen/*.c")});
    QFile file(QStringLiteral(TARVIK_SOURCE_DIR "/data/Tarvik.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const Categories shipped = Categories::fromDocument(IniDocument::fromBytes(file.readAll().toStdString()));
    struct Case {
        const char* path;
        const char* mine;
        const char* shipped;
    };
    for (const Case& c : {Case{"src/a.c", "本体", "本体"}, Case{"tests/a.c", "テスト", "テスト"},
                          Case{"src/deep/tests/x/a.c", "テスト", "テスト"}, Case{"vendor/tests/a.c", "テスト", "外部ライブラリ"},
                          Case{"vendor/a_test.c", "テスト", "外部ライブラリ"}, Case{"src/a_test.go", "テスト", "テスト"},
                          Case{"gen/a.c", "外部", "本体"}, Case{"src/gen/a.c", "本体", "本体"},
                          Case{"tests.c", "本体", "本体"}, Case{"src/FooTest.java", "本体", "テスト"},
                          Case{"web/app.spec.ts", "本体", "テスト"}, Case{"node_modules/x/i.js", "本体", "外部ライブラリ"}}) {
        EXPECT_EQ(mine.categoryOf(QString::fromUtf8(c.path)), QString::fromUtf8(c.mine)) << c.path;
        EXPECT_EQ(shipped.categoryOf(QString::fromUtf8(c.path)), QString::fromUtf8(c.shipped)) << c.path;
    }
    EXPECT_TRUE(Categories::fromDocument(IniDocument::fromBytes(kIni)).empty());
    EXPECT_EQ(Categories::fromDocument(IniDocument::fromBytes(kIni)).categoryOf(QStringLiteral("tests/a.c")), Categories::kMain);
}

// By category, a count's rows and a comparison's add up to their totals; paths are matched below
// the folder searched, so its own name ("tests" here) decides nothing.
TEST(Subtotals, CategoryRowsOfACountAndOfAComparisonAddUpToTheTotals)
{
    TempDir dir;
    const QByteArray ini = QByteArray(kIni) + "[Category]\r\nCat_1=テスト;tests/;*_test.c\r\nCat_2=外部;vendor/\r\n";
    for (const char* version : {"old", "new"}) {
        const QString root = QStringLiteral("tests/%1/").arg(QString::fromLatin1(version));
        dir.write(root + QStringLiteral("main.c"), version == std::string("old") ? "a;\nb;\n" : "a;\nB;\nc;\n");
        dir.write(root + QStringLiteral("tests/t.c"), version == std::string("old") ? "t;\n" : "t;\nu;\n");
        dir.write(root + QStringLiteral("x_test.c"), "x;\n");
        dir.write(root + QStringLiteral("vendor/v.c"), version == std::string("old") ? "v;\nw;\n" : "v;\n");
    }
    dir.write(QStringLiteral("tests/Tarvik.ini"), ini);
    const QString ini2 = dir.path(QStringLiteral("tests/Tarvik.ini"));
    auto run = [&](const QStringList& args) {
        std::ostringstream out, err;
        EXPECT_EQ(CountCommand({ini2, dir.path(), false, false, 2}).execute(args, out, err), 0) << err.str();
        return QString::fromStdString(out.str());
    };
    EXPECT_EQ(run({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--summary"), QStringLiteral("category"),
                   QStringLiteral("tests/new")}),
              QStringLiteral("category,files,executable,comment,total,kstep,row\r\n本体,1,3,0,3,0.003,category\r\n"
                             "テスト,2,3,0,3,0.003,category\r\n外部,1,1,0,1,0.001,category\r\n合計,4,7,0,7,0.007,total\r\n"));
    // added, changed, deleted: main.c 1 added and 1 changed, t.c 1 added, v.c 1 deleted.
    EXPECT_EQ(run({QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--summary"), QStringLiteral("category"),
                   QStringLiteral("--diff"), QStringLiteral("tests/old"), QStringLiteral("tests/new")}),
              QStringLiteral("category,files,added,changed,deleted,modified,kstep,row\r\n本体,1,1,1,0,2,0.002,category\r\n"
                             "テスト,2,1,0,0,1,0.001,category\r\n外部,1,0,0,1,0,0.000,category\r\n合計,4,2,1,1,3,0.003,total\r\n"));
    // Each file's own: a last CSV column when asked, and in the JSON whenever there are categories.
    QStringList lastColumn;
    for (const QString& args : {QStringLiteral("--category-column tests/new"),
                                QStringLiteral("--category-column --diff tests/old tests/new")}) {
        const QString csv = run(QStringList{QStringLiteral("-f"), QStringLiteral("csv")} + args.split(u' '));
        for (const QStringList& row : test::parseDelimited(csv, u','))
            lastColumn << row.last();
    }
    // In walk order: a folder's files before its subfolders.
    EXPECT_EQ(lastColumn, (QStringList{QStringLiteral("category"), QStringLiteral("本体"), QStringLiteral("テスト"),
                                       QStringLiteral("テスト"), QStringLiteral("外部"), QStringLiteral("category"),
                                       QStringLiteral("本体"), QStringLiteral("テスト"), QStringLiteral("テスト"),
                                       QStringLiteral("外部")}));
    const QJsonArray files = QJsonDocument::fromJson(run({QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("tests/new")}).toUtf8())
                                 .object()[QStringLiteral("files")].toArray();
    ASSERT_EQ(files.size(), 4);
    EXPECT_EQ(files[3].toObject()[QStringLiteral("category")].toString(), QStringLiteral("外部"));
}
