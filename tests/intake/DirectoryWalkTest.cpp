#include "intake/DirectoryWalk.h"

#include "cli/CountCommand.h"
#include "config/NativePath.h"
#include "support/DeepFolder.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tarvik;
using tarvik::test::DeepFolder;
using tarvik::test::TempDir;

namespace {

QStringList walk(const QString& root, const QStringList& exts, bool subdirs, WalkReport* report = nullptr)
{
    QStringList found;
    WalkReport r = DirectoryWalk(exts, subdirs).walk(root, [&](const QString& p) { found << p; });
    if (report)
        *report = r;
    return found;
}

QStringList relative(const TempDir& dir, const QStringList& paths)
{
    QStringList out;
    for (const QString& p : paths)
        out << p.mid(dir.path().size() + 1);
    return out;
}


} // namespace

TEST(ExtensionOf, TextAfterTheLastDot)
{
    EXPECT_EQ(ExtensionOf(QStringLiteral("a.tar.gz")), u"gz");
    EXPECT_EQ(ExtensionOf(QStringLiteral("MAIN.C")), u"C");
    EXPECT_EQ(ExtensionOf(QStringLiteral("Makefile")), QString());
    EXPECT_EQ(ExtensionOf(QStringLiteral("name.")), QString());
    EXPECT_EQ(ExtensionOf(QStringLiteral(".bashrc")), u"bashrc");
}

TEST(DirectoryWalk, FilesOfADirectoryComeBeforeItsSubdirectoriesInNameOrder)
{
    TempDir dir;
    for (const char* f : {"root/z/d.c", "root/x/y/c.c", "root/x/b.c", "root/a.c", "root/b.py", "root/x/MAIN.C",
                          "root2/e.c", "root/x/notes.txt"})
        dir.write(QString::fromUtf8(f), "x;\n");
    const QStringList exts{QStringLiteral("c"), QStringLiteral("py")};
    EXPECT_EQ(relative(dir, walk(dir.path(QStringLiteral("root")), exts, true)),
              (QStringList{QStringLiteral("root/a.c"), QStringLiteral("root/b.py"), QStringLiteral("root/x/b.c"),
                           QStringLiteral("root/x/y/c.c"), QStringLiteral("root/z/d.c")}));
    // Without subdirectories, and with a trailing slash on the root.
    EXPECT_EQ(relative(dir, walk(dir.path(QStringLiteral("root/")), exts, false)),
              (QStringList{QStringLiteral("root/a.c"), QStringLiteral("root/b.py")}));
    // The filter is case-sensitive: "C" is not "c".
    EXPECT_EQ(walk(dir.path(QStringLiteral("root/x")), {QStringLiteral("C")}, true).size(), 1);
}

TEST(DirectoryWalk, LinksToDirectoriesAreNotFollowedAndLinksToFilesAreFiles)
{
    TempDir dir;
    const QString target = dir.write(QStringLiteral("elsewhere/t.c"), "x;\n");
    dir.write(QStringLiteral("root/a.c"), "x;\n");
    const std::string root = pathToNative(dir.path(QStringLiteral("root")));
    ASSERT_EQ(::symlink(pathToNative(dir.path(QStringLiteral("elsewhere"))).c_str(), (root + "/dirlink").c_str()), 0);
    ASSERT_EQ(::symlink(root.c_str(), (root + "/loop").c_str()), 0);
    ASSERT_EQ(::symlink(pathToNative(target).c_str(), (root + "/filelink.c").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent.c", (root + "/dangling.c").c_str()), 0);
    ASSERT_EQ(::mkfifo((root + "/pipe.c").c_str(), 0600), 0);
    EXPECT_EQ(relative(dir, walk(dir.path(QStringLiteral("root")), {QStringLiteral("c")}, true)),
              (QStringList{QStringLiteral("root/a.c"), QStringLiteral("root/dangling.c"),
                           QStringLiteral("root/filelink.c"), QStringLiteral("root/pipe.c")}));
}

TEST(DirectoryWalk, UnreadableDirectoryIsSkippedAndReported)
{
    TempDir dir;
    dir.write(QStringLiteral("root/a/1.c"), "x;\n");
    dir.write(QStringLiteral("root/b/2.c"), "x;\n");
    dir.write(QStringLiteral("root/c/3.c"), "x;\n");
    for (const char* d : {"root", "root/a", "root/c"})
        QFile::setPermissions(dir.path(QString::fromUtf8(d)), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                   | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                                   | QFileDevice::ExeOther);
    QFile::setPermissions(dir.path(QStringLiteral("root/b")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // The child reports through its exit status: 0 when the walk found exactly a and c and
    // reported b as skipped.
    int rc = test::runUnprivileged([&] {
        WalkReport report;
        QStringList found = relative(dir, walk(dir.path(QStringLiteral("root")), {QStringLiteral("c")}, true, &report));
        if (found != QStringList{QStringLiteral("root/a/1.c"), QStringLiteral("root/c/3.c")})
            return 1;
        if (report.skipped.size() != 1 || report.skipped[0].path != dir.path(QStringLiteral("root/b")))
            return 2;
        return report.skipped[0].reason.isEmpty() ? 3 : 0;
    });
    EXPECT_EQ(rc, 0);
}

TEST(DirectoryWalk, NamesThatAreNotUtf8AreKeptByteForByte)
{
    TempDir dir;
    const std::string root = pathToNative(dir.mkdir(QStringLiteral("root")));
    const std::string sjis = root + "/\x93\xfa\x96\x7b.c"; // "日本.c" in CP932
    FILE* f = ::fopen(sjis.c_str(), "w");
    ASSERT_NE(f, nullptr);
    ::fclose(f);
    QStringList found = walk(pathFromNative(root), {QStringLiteral("c")}, true);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(pathToNative(found[0]), sjis);
}

// The walk on a worker thread hands over the same paths in the same order, in batches, and
// the same report, unreadable directory included.
TEST(DirectoryWalk, ConcurrentWalkHandsOverTheSameWalk)
{
    TempDir dir;
    for (int d = 0; d < 3; ++d) {
        for (int f = 0; f < 400; ++f)
            dir.write(QStringLiteral("root/d%1/f%2.c").arg(d).arg(f), "x;\n");
    }
    dir.write(QStringLiteral("root/locked/x.c"), "x;\n");
    QFile::setPermissions(dir.path(QStringLiteral("root/locked")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                        | QFileDevice::ExeOwner);
    int rc = test::runUnprivileged([&] {
        const DirectoryWalk walker({QStringLiteral("c")}, true);
        QStringList plain, concurrent;
        const WalkReport a = walker.walk(dir.path(QStringLiteral("root")), [&](const QString& p) { plain << p; });
        int batches = 0;
        const WalkReport b = walker.walkConcurrently(dir.path(QStringLiteral("root")), [&](const QStringList& paths) {
            concurrent << paths;
            ++batches;
        });
        if (plain.size() != 1200 || concurrent != plain || batches < 2)
            return 1;
        if (a.filesTaken != b.filesTaken || b.skipped.size() != 1 || b.skipped[0].path != a.skipped[0].path)
            return 2;
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

// Names with several dots, and a dot in a folder's name: the extension follows the last dot of
// the name.
TEST(DirectoryWalk, TheExtensionFollowsTheLastDotOfTheName)
{
    TempDir dir;
    for (const char* f : {"root/main.test.c", "root/jquery.min.js", "root/c.js.txt", "root/v1.2/util.c", "root/v1.2/README"})
        dir.write(QString::fromUtf8(f), "x;\n");
    EXPECT_EQ(relative(dir, walk(dir.path(QStringLiteral("root")), {QStringLiteral("c"), QStringLiteral("js")}, true)),
              (QStringList{QStringLiteral("root/jquery.min.js"), QStringLiteral("root/main.test.c"),
                           QStringLiteral("root/v1.2/util.c")}));
}

// open() takes paths of up to 4,095 bytes. A file whose path the walk would make longer is
// reported like a folder that cannot be listed, not handed on to be reported as missing.
TEST(DirectoryWalk, FilesWhosePathIsTooLongToOpenAreReportedNotTaken)
{
    TempDir dir;
    DeepFolder deep(pathToNative(dir.mkdir(QStringLiteral("root"))), 3950);
    const std::string fits = deep.file(4095, ".c");
    const std::string tooLong = deep.file(4096, ".c");
    deep.file(4097, ".txt"); // not a registered type: neither taken nor reported

    WalkReport report;
    const QStringList found = walk(dir.path(QStringLiteral("root")), {QStringLiteral("c")}, true, &report);
    EXPECT_EQ(found, QStringList{pathFromNative(fits)});
    ASSERT_EQ(report.skipped.size(), 1);
    EXPECT_EQ(report.skipped[0].path, pathFromNative(tooLong));
    EXPECT_EQ(report.skipped[0].reason, QString::fromLocal8Bit(std::strerror(ENAMETOOLONG)));
    EXPECT_TRUE(report.skipped[0].file);

    const QString ini = dir.write(QStringLiteral("Tarvik.ini"), "[Engin]\r\nList=c\r\nLang_c=C_STYLE,C,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n");
    std::ostringstream out, err;
    CountCommand::Environment env{ini, dir.path(), false, false, 1};
    EXPECT_EQ(CountCommand(env).execute({QStringLiteral("-f"), QStringLiteral("csv"), dir.path(QStringLiteral("root"))}, out, err), 0);
    EXPECT_NE(out.str().find(",Counted,1,0,1\r\n"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("Missing"), std::string::npos) << out.str();
    EXPECT_EQ(err.str(), "tarvik-count: skipped file " + tooLong + ": File name too long\n"
                         "tarvik-count: 1 file not counted: types not registered for folder searches (.txt 1 file 3 B)\n");
}

TEST(DirectoryWalk, TakesFilesByNameAndHashBangLineAndTalliesWhatItPassesOver)
{
    TempDir dir;
    dir.write(QStringLiteral("root/Makefile"), "all:\n");
    dir.write(QStringLiteral("root/build"), "#!/usr/bin/env -S python3 -u\n");
    dir.write(QStringLiteral("root/README"), "Read me\n");          // no "#!": passed over by name
    dir.write(QStringLiteral("root/run.bak"), "#!/bin/sh\n");      // a dot: never read
    dir.write(QStringLiteral("root/a.c"), "x;\n");
    dir.write(QStringLiteral("root/sub/data.json"), "{}\n");
    dir.write(QStringLiteral("root/sub/more.json"), "[1, 2]\n");
    dir.write(QStringLiteral("root/sub/b.h"), "int b;\n");          // registered, not searched
    dir.write(QStringLiteral("root/gen/skip.json"), "{\"excluded\": 1}\n");
    dir.write(QStringLiteral("root/debug.log"), "excluded by name\n");
    dir.write(QStringLiteral("root/.git/config"), "[core]\n");
    ASSERT_EQ(::mkfifo(pathToNative(dir.path(QStringLiteral("root/pipe"))).c_str(), 0600), 0); // never opened

    DirectoryWalk walk(SearchedTypes{{QStringLiteral("c")}, {QStringLiteral("Makefile")}, {QStringLiteral("python")}}, true);
    walk.setFilter([](const std::string&) { return makePatternFilter(Exclusions{{QStringLiteral("gen/"), QStringLiteral("*.log")}, false}); });
    QStringList found;
    const WalkReport report = walk.walk(dir.path(QStringLiteral("root")), [&](const QString& p) { found << p; });
    EXPECT_EQ(relative(dir, found), (QStringList{QStringLiteral("root/Makefile"), QStringLiteral("root/a.c"),
                                                 QStringLiteral("root/build")}));
    const std::vector<UnregisteredKind> kinds = report.unregistered.kinds();
    ASSERT_EQ(kinds.size(), 5);
    EXPECT_EQ(kinds[0].kind, u".json");
    EXPECT_EQ(kinds[0].files, 2);
    EXPECT_EQ(kinds[0].bytes, 10);
    EXPECT_EQ(kinds[1].kind, u".bak"); // as many bytes, fewer files
    EXPECT_EQ(kinds[2].kind, u"README");
    EXPECT_EQ(kinds[2].bytes, 8);
    EXPECT_EQ(kinds[3].kind, u".h");
    EXPECT_EQ(kinds[3].bytes, 7);
    EXPECT_EQ(kinds[4].kind, u"pipe");
    EXPECT_EQ(kinds[4].bytes, 0);
    EXPECT_EQ(report.unregistered.files(), 6);
}

TEST(UnregisteredFiles, TheCommandLineLineNamesTheThreeBiggestKinds)
{
    UnregisteredFiles files;
    files.add(".json", 3200000, 512);
    files.add("Makefile", 215000, 40);
    files.add(".txt", 123000, 90);
    files.add(".md", 1000, 592);
    EXPECT_EQ(unregisteredLine(files), u"1,234 files not counted: types not registered for folder searches "
                                       u"(.json 512 files 3.1 MB, Makefile 40 files 210 KB, .txt 90 files 120 KB)");
    EXPECT_EQ(unregisteredLine(UnregisteredFiles()), QString());
    EXPECT_EQ(readableBytes(1023), u"1023 B");
    EXPECT_EQ(readableBytes(10188), u"9.9 KB");
    EXPECT_EQ(readableBytes(10239), u"10 KB");
    // A path passed over in both versions of a comparison counts once.
    const UnregisteredFiles both = UnregisteredFiles::ofBoth({{"a/x.json", ".json", 5}, {"old.json", ".json", 1}},
                                                             {{"a/x.json", ".json", 7}});
    EXPECT_EQ(both.files(), 2);
    EXPECT_EQ(both.kinds()[0].bytes, 8);
}

// Folders are listed by several threads; the walk, its report and what .gitignore files leave
// out (each in its own folder and below, the deeper having the last word) are those of one.
TEST(DirectoryWalk, ManyListersWalkAsOneDoes)
{
    TempDir dir;
    for (int a = 0; a < 6; ++a) {
        for (int b = 0; b < 6; ++b) {
            for (int c = 0; c < 4; ++c)
                dir.write(QStringLiteral("root/a%1/b%2/c%3/f.c").arg(a).arg(b).arg(c), "x;\n");
            dir.write(QStringLiteral("root/a%1/b%2/g%2.c").arg(a).arg(b), "x;\n");
            dir.write(QStringLiteral("root/a%1/b%2/notes%2.txt").arg(a).arg(b), "text\n");
        }
        dir.write(QStringLiteral("root/a%1/.gitignore").arg(a), "g*.c\n");
    }
    dir.write(QStringLiteral("root/a3/b2/.gitignore"), "!g2.c\nc1/\n");
    DirectoryWalk walker({QStringLiteral("c")}, true);
    walker.setFilter([](const std::string&) { return makePatternFilter(Exclusions{{}, true}); });
    walker.listUnregisteredFiles();
    auto run = [&](int listers, QStringList& found) {
        walker.setListers(listers);
        found.clear();
        return walker.walk(dir.path(QStringLiteral("root")), [&](const QString& p) { found << p; });
    };
    QStringList one, many;
    const WalkReport expected = run(1, one);
    ASSERT_EQ(one.size(), 6 * 6 * 4); // the g*.c files are left out but one, and so is one folder
    EXPECT_TRUE(one.contains(dir.path(QStringLiteral("root/a3/b2/g2.c"))));
    EXPECT_FALSE(one.contains(dir.path(QStringLiteral("root/a3/b2/c1/f.c"))));
    for (int round = 0; round < 20; ++round) {
        const WalkReport report = run(8, many);
        ASSERT_EQ(many, one);
        ASSERT_EQ(report.unregisteredFiles.size(), expected.unregisteredFiles.size());
        for (size_t i = 0; i < report.unregisteredFiles.size(); ++i)
            ASSERT_EQ(report.unregisteredFiles[i].relative, expected.unregisteredFiles[i].relative);
    }
}
