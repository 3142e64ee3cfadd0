#include "intake/DirectoryWalk.h"
#include "intake/PathPatterns.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::test::TempDir;

TEST(PathPatterns, MatchAsGitignoreDoes)
{
    struct Case {
        const char* pattern;
        const char* path;
        bool directory;
        bool excluded;
    } cases[] = {
        {"*.o", "a/b/x.o", false, true},          // no slash: a name at any depth
        {"*.o", "a/b/x.c", false, false},
        {"gen/", "src/gen", true, true},           // folders only
        {"gen/", "src/gen", false, false},
        {"/gen", "gen", true, true},               // anchored at the base
        {"/gen", "src/gen", true, false},
        {"src/*.c", "src/a.c", false, true},
        {"src/*.c", "src/x/a.c", false, false},   // "*" stays within a name
        {"**/build", "a/b/build", true, true},
        {"**/build", "build", true, true},
        {"a/**/z.c", "a/z.c", false, true},
        {"a/**/z.c", "a/b/c/z.c", false, true},
        {"doc/**", "doc/x/y.c", false, true},
        {"doc/**", "doc", true, false},
        {"file?.[ch]", "file1.h", false, true},
        {"file?.[!ch]", "file1.h", false, false},
        {"\\#x.c", "#x.c", false, true},
        {"# comment", "# comment", false, false},
        {"name.c   ", "name.c", false, true},    // trailing blanks end the pattern
    };
    for (const Case& c : cases) {
        PathPatterns p;
        p.add(c.pattern);
        EXPECT_EQ(p.excludes(c.path, c.directory), c.excluded) << c.pattern << " / " << c.path;
    }

    // The last match decides; "!" takes back; a base confines lines to their own folder.
    PathPatterns p;
    p.addLines("*.c\n!keep.c\n");
    p.addLines("keep.c\n", "sub/");
    EXPECT_TRUE(p.excludes("x.c", false));
    EXPECT_FALSE(p.excludes("keep.c", false));
    EXPECT_TRUE(p.excludes("sub/keep.c", false));
    EXPECT_FALSE(p.excludes("other/keep.c", false));
    EXPECT_FALSE(PathPatterns::valid("   "));
    EXPECT_FALSE(PathPatterns::valid("!"));
}

TEST(PathPatterns, TheWalkSkipsVersionControlFoldersAndWhatTheUserLeavesOut)
{
    TempDir dir;
    for (const char* f : {"a.c", ".git/hook.c", ".svn/x.c", ".hg/x.c", ".bzr/x.c", "CVS/x.c", "gen/p.c", "src/gen/q.c",
                          "src/keep.c", "src/skip.c", "src/.gitignore", ".gitignore", "vendor/v.c"})
        dir.write(QString::fromUtf8(f), "x;\n");
    dir.write(QStringLiteral(".gitignore"), "vendor/\n");
    dir.write(QStringLiteral("src/.gitignore"), "skip.c\n");

    auto found = [&](const Exclusions& exclusions) {
        DirectoryWalk walk({QStringLiteral("c")}, true);
        if (exclusions.any())
            walk.setFilter([exclusions](const std::string&) { return makePatternFilter(exclusions); });
        QStringList out;
        walk.walk(dir.path(), [&](const QString& p) { out << p.mid(dir.path().size() + 1); });
        return out;
    };
    EXPECT_EQ(found({}), (QStringList{QStringLiteral("a.c"), QStringLiteral("gen/p.c"), QStringLiteral("src/keep.c"),
                                      QStringLiteral("src/skip.c"), QStringLiteral("src/gen/q.c"), QStringLiteral("vendor/v.c")}));
    EXPECT_EQ(found({{QStringLiteral("/gen")}, false}),
              (QStringList{QStringLiteral("a.c"), QStringLiteral("src/keep.c"), QStringLiteral("src/skip.c"),
                           QStringLiteral("src/gen/q.c"), QStringLiteral("vendor/v.c")}));
    // The user's pattern has the last word over a .gitignore.
    EXPECT_EQ(found({{QStringLiteral("gen/"), QStringLiteral("!vendor")}, true}),
              (QStringList{QStringLiteral("a.c"), QStringLiteral("src/keep.c"), QStringLiteral("vendor/v.c")}));
}
