#include "intake/DirectoryWalk.h"
#include "intake/PathPatterns.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <random>

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
        {"a?b", "a/b", false, false},              // "?" and classes never match "/"
        {"a[/x]b", "a/b", false, false},
        {"a[/x]b", "axb", false, true},
        {"a/**/**", "a/b", false, true},
        {"**/**", "x.c", false, true},
        {"*.c\r", "x.c", false, true},          // a CR LF line end is no part of the pattern
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
    p.addLines("/top.h\nx/*.h\n", "sub/"); // anchored at their own folder
    EXPECT_TRUE(p.excludes("sub/top.h", false) && p.excludes("sub/x/a.h", false));
    EXPECT_FALSE(p.excludes("sub/y/top.h", false) || p.excludes("x/a.h", false));
    EXPECT_FALSE(PathPatterns::valid("   "));
    EXPECT_FALSE(PathPatterns::valid("!"));
}

namespace {

// Patterns as matched before the matcher was made linear: a straightforward recursion over the
// characters, exponential on patterns with many stars but the meaning to keep.
bool referenceMatch(std::string_view p, std::string_view t, bool nameStart = true)
{
    if (p.empty())
        return t.empty();
    if (nameStart && p.substr(0, 2) == "**" && (p.size() == 2 || p[2] == '/')) {
        if (p.size() == 2)
            return true;
        for (size_t k = 0; k <= t.size(); ++k) {
            if ((k == 0 || t[k - 1] == '/') && referenceMatch(p.substr(3), t.substr(k)))
                return true;
        }
        return false;
    }
    if (p[0] == '*') {
        const size_t stars = p.find_first_not_of('*');
        const std::string_view rest = stars == std::string_view::npos ? std::string_view() : p.substr(stars);
        for (size_t k = 0;; ++k) {
            if (referenceMatch(rest, t.substr(k), false))
                return true;
            if (k == t.size() || t[k] == '/')
                return false;
        }
    }
    if (t.empty() || (p[0] == '?' && t[0] == '/'))
        return false;
    if (p[0] == '?' || p[0] == t[0])
        return referenceMatch(p.substr(1), t.substr(1), p[0] == '/');
    return false;
}

} // namespace

// Random patterns of stars, globstars, "?" and a few letters against random paths: the same
// verdicts as the plain recursion. Then patterns that made that recursion take hours.
TEST(PathPatterns, MatchesAsTheRecursionDoesInTimeBoundedByTheLengths)
{
    std::mt19937 random(7);
    const char* pieces[] = {"*", "**", "?", "a", "b", "/", "**/", "/**"};
    int tried = 0, yes = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string pattern, path;
        for (int n = 1 + static_cast<int>(random() % 6); n > 0; --n)
            pattern += pieces[random() % std::size(pieces)];
        for (int n = static_cast<int>(random() % 8); n >= 0; --n)
            path += "ab./"[random() % 4];
        while (pattern.size() > 1 && pattern.back() == '/')
            pattern.pop_back();
        if (path.front() == '/' || path.back() == '/' || path.find("//") != std::string::npos
            || pattern.front() == '/' || pattern.find("//") != std::string::npos)
            continue;
        PathPatterns p;
        p.add("/" + pattern);
        EXPECT_EQ(p.excludes(path, false), referenceMatch(pattern, path)) << pattern << " / " << path;
        ++tried;
        yes += referenceMatch(pattern, path);
    }

    EXPECT_GT(tried, 4000); // the cases are not mostly thrown away,
    EXPECT_GT(yes, tried / 5); // and not mostly misses
    const std::string name(60, 'a');
    std::string stars, globstars, tenThousand;
    for (int i = 0; i < 30; ++i) {
        stars += "*a";
        globstars += "**/a*/";
    }
    for (int i = 0; i < 2500; ++i)
        tenThousand += "*a*?";
    std::string deep;
    for (int i = 0; i < 200; ++i)
        deep += name + '/';
    for (const std::string& pattern : {stars + "*b", globstars + "b", tenThousand + "b", tenThousand}) {
        PathPatterns p;
        p.add(pattern);
        p.add("/" + pattern);
        EXPECT_FALSE(p.excludes(deep + name, false)) << pattern.substr(0, 20);
    }
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
