#include "counting/VersionDiff.h"

#include "config/FileTypeTable.h"
#include "counting/DiffReport.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QFile>

#include <dtl/dtl.hpp>
#include <gtest/gtest.h>

#include <random>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

const char* kIni = "[Engin]\r\nList=c,txt\r\nLang_c=C_STYLE,C,1\r\nLang_txt=,Text,1\r\n"
                   "[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\n";

std::vector<std::string> steps(std::initializer_list<const char*> list) { return {list.begin(), list.end()}; }

// The per-hunk counts of libdtl's own script, which the figures of earlier releases came from.
StepChanges dtlCounts(const std::vector<std::string>& oldSteps, const std::vector<std::string>& newSteps)
{
    dtl::Diff<std::string> diff(oldSteps, newSteps);
    diff.compose();
    StepChanges result;
    int64_t added = 0, deleted = 0;
    auto endHunk = [&] {
        const int64_t changed = std::min(added, deleted);
        result.changed += changed;
        result.added += added - changed;
        result.deleted += deleted - changed;
        added = deleted = 0;
    };
    for (const auto& [element, info] : diff.getSes().getSequence()) {
        if (info.type == dtl::SES_ADD)
            ++added;
        else if (info.type == dtl::SES_DELETE)
            ++deleted;
        else
            endHunk();
    }
    endHunk();
    return result;
}

class Collect : public DiffSink {
public:
    void fileCompared(qsizetype index, const FileChange& c) override
    {
        EXPECT_EQ(index, static_cast<qsizetype>(changes.size()));
        changes.push_back(c);
    }
    void diffFinished(const DiffSummary& s) override { finished = s; }
    const FileChange& at(const char* relative) const
    {
        for (const FileChange& c : changes) {
            if (c.relativePath == QString::fromUtf8(relative))
                return c;
        }
        ADD_FAILURE() << "no row for " << relative;
        static FileChange none;
        return none;
    }
    std::vector<FileChange> changes;
    std::optional<DiffSummary> finished;
};

// One line of distinct comments, more than the pass limit allows.
QByteArray notAnalysable()
{
    QByteArray line = "int x;";
    for (int i = 0; i <= 20000; ++i)
        line += " /*" + QByteArray::number(i) + "*/";
    return line + "\n";
}

struct Trees {
    TempDir dir;
    Trees()
    {
        auto both = [&](const char* name, const QByteArray& oldText, const QByteArray& newText) {
            dir.write(QStringLiteral("old/") + QString::fromUtf8(name), oldText);
            dir.write(QStringLiteral("new/") + QString::fromUtf8(name), newText);
        };
        both("keep.c", "int a = 1;\nint b = 2;\n// comment\nint c = 3;\n",
             "int a = 1;\nint b = 2;\n// comment\nint c = 3;\n");
        both("onestmt.c", "int x = 1;\nint y = 2;\nint z = 3;\n", "int x = 1;\nint y = 20;\nint z = 3;\n");
        // Only comments, blank lines and blanks inside a statement differ.
        both("comments.c", "/* header */\nint p = 1; // trailing\nint q = 2;\n",
             "/* a new header\n   over two lines */\nint p  =  1;   // other comment\n\nint q = 2; /* x */\n");
        both("moved.c", "int m1;\nint m2;\nint m3;\nint m4;\n", "int m3;\nint m4;\nint m1;\nint m2;\n");
        both("sub/deep.c", "int d;\n", "int d;\nint e;\n");
        both("huge.c", notAnalysable(), notAnalysable() + "int more;\n");
        dir.write(QStringLiteral("old/gone.c"), "int g1;\nint g2;\n");
        dir.write(QStringLiteral("old/oldname.c"), "int r1;\nint r2;\nint r3;\n");
        dir.write(QStringLiteral("new/newname.c"), "int r1;\nint r2;\nint r3;\n");
        dir.write(QStringLiteral("new/added.c"), "int n1;\nint n2;\nint n3;\nint n4;\nint n5;\n");
        dir.write(QStringLiteral("new/readme.md"), "not a registered type\n");
    }
    DiffSummary run(Collect& sink, int jobs = 1)
    {
        EngineTable engines(IniDocument::fromBytes(kIni));
        const DiffRequest request{dir.path(QStringLiteral("old")), dir.path(QStringLiteral("new/")),
                                  {QStringLiteral("c"), QStringLiteral("txt")}, true};
        return RunDiff(request, engines, AnalysisOptions{true, jobs}, sink);
    }
};

} // namespace

TEST(CompareSteps, EachHunkCountsChangedAsTheSmallerSide)
{
    EXPECT_EQ(CompareSteps(steps({"a", "b", "c"}), steps({"a", "b", "c"})), (StepChanges{0, 0, 0}));
    EXPECT_EQ(CompareSteps(steps({"a", "b", "c"}), steps({"a", "X", "c"})), (StepChanges{0, 1, 0}));
    // One hunk of two deleted and three added: two changed, one added.
    EXPECT_EQ(CompareSteps(steps({"a", "b", "c", "d"}), steps({"a", "X", "Y", "Z", "d"})), (StepChanges{1, 2, 0}));
    // Two hunks, one of each kind: nothing is a change.
    EXPECT_EQ(CompareSteps(steps({"a", "b", "c"}), steps({"b", "c", "d"})), (StepChanges{1, 0, 1}));
    EXPECT_EQ(CompareSteps({}, steps({"a", "b"})), (StepChanges{2, 0, 0}));
    EXPECT_EQ(CompareSteps(steps({"a", "b"}), {}), (StepChanges{0, 0, 2}));
    // A longer old side than new (the diff swaps its inputs inside).
    EXPECT_EQ(CompareSteps(steps({"a", "b", "c", "d", "e", "f"}), steps({"a", "f"})), (StepChanges{0, 0, 4}));
}

// Scripts of the same length can split a hunk differently; the figures must not move from
// release to release, so every case is held against libdtl's script. The long ones pass the
// bound after which the comparison starts again from the point it reached.
TEST(CompareSteps, ChoosesTheSameScriptAsLibdtl)
{
    struct Shape {
        size_t oldLength, newLength, alphabet, cases;
    };
    const Shape shapes[] = {
        {0, 0, 2, 1},     {0, 7, 3, 3},      {7, 0, 3, 3},        {1, 1, 2, 10},       {12, 12, 2, 200},
        {30, 20, 3, 200}, {20, 30, 3, 200},  {200, 180, 8, 50},   {180, 200, 50, 50},  {2500, 2400, 100000, 2},
        {2400, 2600, 3, 2}, {4000, 600, 100000, 1},
    };
    std::mt19937 random(20261208);
    for (const Shape& shape : shapes) {
        std::uniform_int_distribution<size_t> letter(0, shape.alphabet - 1);
        auto make = [&](size_t length) {
            std::vector<std::string> out;
            for (size_t i = 0; i < length; ++i)
                out.push_back(std::to_string(letter(random)));
            return out;
        };
        for (size_t i = 0; i < shape.cases; ++i) {
            const std::vector<std::string> before = make(shape.oldLength);
            // Half the cases are edits of the old side, as versions of one file are.
            std::vector<std::string> after = make(shape.newLength);
            if (i % 2 == 1 && !before.empty())
                for (size_t j = 0; j < after.size(); j += 2)
                    after[j] = before[j % before.size()];
            ASSERT_EQ(CompareSteps(before, after), dtlCounts(before, after))
                << shape.oldLength << " -> " << shape.newLength << ", case " << i;
        }
    }
}

// Each new step's mark adds up to the figures, and the steps left unchanged are steps of the old
// version in their order; the long cases start the comparison again half-way.
TEST(CompareSteps, MarksEachNewStepAsTheFiguresCountIt)
{
    std::mt19937 random(8);
    for (auto [oldLength, newLength, alphabet] : {std::tuple{12, 14, 3}, {40, 30, 5}, {2500, 2400, 100000}, {600, 4000, 100000}}) {
        std::uniform_int_distribution<int> letter(0, alphabet - 1);
        std::vector<std::string> before, after;
        for (int i = 0; i < oldLength; ++i)
            before.push_back(std::to_string(letter(random)));
        for (int i = 0; i < newLength; ++i)
            after.push_back(i % 3 ? before[static_cast<size_t>(i) % before.size()] : std::to_string(letter(random)));
        std::vector<StepEdit> edits;
        const StepChanges figures = CompareSteps(before, after, edits);
        ASSERT_EQ(figures, CompareSteps(before, after));
        ASSERT_EQ(std::count(edits.begin(), edits.end(), StepEdit::Added), figures.added);
        ASSERT_EQ(std::count(edits.begin(), edits.end(), StepEdit::Changed), figures.changed);
        size_t at = 0;
        for (size_t i = 0; i < after.size(); ++i) {
            if (edits[i] != StepEdit::Unchanged)
                continue;
            while (at < before.size() && before[at] != after[i])
                ++at;
            ASSERT_LT(at++, before.size()) << "new step " << i << " is not carried over in order";
        }
    }
}

TEST(VersionDiff, PairsFilesByRelativePathAndCountsTheirStepChanges)
{
    Trees trees;
    Collect sink;
    const DiffSummary summary = trees.run(sink);
    ASSERT_TRUE(summary.completed());
    ASSERT_TRUE(sink.finished.has_value());

    QStringList order;
    for (const FileChange& c : sink.changes)
        order << c.relativePath;
    EXPECT_EQ(order, (QStringList{QStringLiteral("added.c"), QStringLiteral("comments.c"), QStringLiteral("gone.c"),
                                  QStringLiteral("huge.c"), QStringLiteral("keep.c"), QStringLiteral("moved.c"),
                                  QStringLiteral("newname.c"), QStringLiteral("oldname.c"), QStringLiteral("onestmt.c"),
                                  QStringLiteral("sub/deep.c")}));

    auto expect = [&](const char* name, ChangeStatus status, StepChanges changes, int64_t oldSteps, int64_t newSteps) {
        const FileChange& c = sink.at(name);
        EXPECT_EQ(c.status, status) << name;
        EXPECT_EQ(c.outcome, FileOutcome::Counted) << name;
        EXPECT_EQ(c.steps, changes) << name;
        EXPECT_EQ(c.oldSteps, oldSteps) << name;
        EXPECT_EQ(c.newSteps, newSteps) << name;
    };
    expect("added.c", ChangeStatus::New, {5, 0, 0}, 0, 5);
    expect("comments.c", ChangeStatus::Unchanged, {0, 0, 0}, 2, 2);
    expect("gone.c", ChangeStatus::Deleted, {0, 0, 2}, 2, 0);
    expect("keep.c", ChangeStatus::Unchanged, {0, 0, 0}, 3, 3);
    expect("moved.c", ChangeStatus::Changed, {2, 0, 2}, 4, 4);
    expect("newname.c", ChangeStatus::New, {3, 0, 0}, 0, 3);
    expect("oldname.c", ChangeStatus::Deleted, {0, 0, 3}, 3, 0);
    expect("onestmt.c", ChangeStatus::Changed, {0, 1, 0}, 3, 3);
    expect("sub/deep.c", ChangeStatus::Changed, {1, 0, 0}, 1, 2);
    const FileChange& huge = sink.at("huge.c");
    EXPECT_EQ(huge.outcome, FileOutcome::NotAnalysable);
    EXPECT_EQ(huge.status, ChangeStatus::Changed);
    EXPECT_EQ(huge.steps, StepChanges{});

    const DiffTotals& t = sink.finished->totals;
    EXPECT_EQ(t.newFiles, 2);
    EXPECT_EQ(t.deletedFiles, 2);
    EXPECT_EQ(t.changedFiles, 4);
    EXPECT_EQ(t.unchangedFiles, 2);
    EXPECT_EQ(t.steps, (StepChanges{11, 1, 7}));
    EXPECT_EQ(t.oldSteps, 18);
    EXPECT_EQ(t.newSteps, 22);
    EXPECT_EQ(t.modifiedSteps(), 12);

    // The same for any number of threads.
    Collect parallel;
    trees.run(parallel, 3);
    ASSERT_EQ(parallel.changes.size(), sink.changes.size());
    for (size_t i = 0; i < sink.changes.size(); ++i) {
        EXPECT_EQ(parallel.changes[i].relativePath, sink.changes[i].relativePath);
        EXPECT_EQ(parallel.changes[i].steps, sink.changes[i].steps);
    }
}

TEST(VersionDiff, ReportEndsWithTheModificationSizeInKStep)
{
    Trees trees;
    QString text;
    DiffTextReport report([&](const QString& piece) { text += piece; }, QStringLiteral("2026/12/07"),
                          QStringLiteral("."));
    EngineTable engines(IniDocument::fromBytes(kIni));
    RunDiff({trees.dir.path(QStringLiteral("old")), trees.dir.path(QStringLiteral("new")), {QStringLiteral("c")}, true},
            engines, AnalysisOptions{true, 1}, report);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    EXPECT_TRUE(lines.contains(QStringLiteral("        変更       3       3       0       1       0  onestmt.c")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("改造規模              0.012 KStep です        2026/12/07\r\n")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("解析不能ファイル  huge.c"))) << text.toStdString();
}

TEST(VersionDiff, UnreadableFileEndsTheComparisonWithItsPath)
{
    Trees trees;
    const QString locked = trees.dir.write(QStringLiteral("new/locked.c"), "int l;\n");
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    const int rc = test::runUnprivileged([&] {
        Collect sink;
        const DiffSummary s = trees.run(sink);
        return !s.completed() && s.error->path == locked && !sink.finished ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
}

// Files that cannot be analysed are compared by their bytes: an edit that keeps the size is a
// change, and equal bytes are none.
TEST(VersionDiff, FilesThatCannotBeAnalysedAreComparedByTheirBytes)
{
    TempDir dir;
    QByteArray edited = notAnalysable();
    edited.replace("int x;", "int y;");
    dir.write(QStringLiteral("old/edited.c"), notAnalysable());
    dir.write(QStringLiteral("new/edited.c"), edited);
    dir.write(QStringLiteral("old/same.c"), notAnalysable());
    dir.write(QStringLiteral("new/same.c"), notAnalysable());
    EngineTable engines(IniDocument::fromBytes(kIni));
    Collect sink;
    ASSERT_TRUE(RunDiff({dir.path(QStringLiteral("old")), dir.path(QStringLiteral("new")), {QStringLiteral("c")}, true}, engines,
                        AnalysisOptions{true, 2}, sink)
                    .completed());
    for (const auto& [name, status] : {std::pair{"edited.c", ChangeStatus::Changed}, std::pair{"same.c", ChangeStatus::Unchanged}}) {
        EXPECT_EQ(sink.at(name).outcome, FileOutcome::NotAnalysable) << name;
        EXPECT_EQ(sink.at(name).status, status) << name;
    }
}
