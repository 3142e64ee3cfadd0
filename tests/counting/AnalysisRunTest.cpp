#include "counting/AnalysisRun.h"

#include "config/FileTypeTable.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

const char* kIni = "[Engin]\r\nList=c,py,tok\r\nLang_c=C_STYLE,C,1\r\nLang_py=HASH,Python,1\r\n"
                   "Lang_tok=NOTOKENS,x,1\r\n[Anryze_Pat]\r\nC_STYLE=//,/*,*/\r\nHASH=#,,\r\n";

class CollectingSink : public ResultSink {
public:
    void runStarted(qsizetype n) override { started = n; }
    void fileAnalysed(qsizetype index, const FileResult& r) override
    {
        EXPECT_EQ(index, results.size());
        results.push_back(r);
        if (then)
            then();
    }
    void runFinished(const RunSummary& s) override { finished = s; }

    qsizetype started = -1;
    std::vector<FileResult> results;
    std::optional<RunSummary> finished;
    std::function<void()> then; // after each result
};

RunSummary run(const QStringList& paths, CollectingSink& sink, int jobs = 1, bool symbols = true)
{
    EngineTable engines(IniDocument::fromBytes(kIni));
    return RunAnalysis(paths, engines, AnalysisOptions{symbols, jobs}, sink);
}

} // namespace

TEST(AnalysisRun, EveryPathGivesOneResultInListOrder)
{
    TempDir dir;
    const QString a = dir.write(QStringLiteral("a.c"), "x;\n// c\n\n");
    const QString missing = dir.path(QStringLiteral("gone.c"));
    const QString py = dir.write(QStringLiteral("s.PY"), "# c\nprint(1)\ny = 2\n");
    CollectingSink sink;
    RunSummary s = run({a, missing, py}, sink);
    ASSERT_EQ(sink.results.size(), 3u);
    EXPECT_EQ(sink.results[0].outcome, FileOutcome::Counted);
    EXPECT_EQ(sink.results[0].counts, (FileCounts{1, 1, 3}));
    EXPECT_EQ(sink.results[1].outcome, FileOutcome::Missing);
    EXPECT_EQ(sink.results[1].counts, FileCounts{});
    EXPECT_EQ(sink.results[2].outcome, FileOutcome::Counted); // upper-case extension finds "py"
    EXPECT_EQ(s.totalSteps, 3);
    EXPECT_EQ(s.handledFiles, 3);
    ASSERT_TRUE(sink.finished.has_value());
    EXPECT_EQ(sink.results[0].programId, u"a.c");
    EXPECT_EQ(sink.results[0].directory, dir.path() + u'/');
}

TEST(AnalysisRun, OutcomesOfPathsThatAreNotCountedFiles)
{
    TempDir dir;
    const QString text = dir.write(QStringLiteral("notes.txt"), "hello\n");
    const QString noDot = dir.write(QStringLiteral("v1.c/Makefile"), "all:\n");
    const QString folder = dir.mkdir(QStringLiteral("folder.c"));
    const QString noTokens = dir.write(QStringLiteral("t.tok"), "// a\n/* b */\n\n");
    std::string many;
    for (int i = 0; i < 20001; ++i)
        many += "/*" + std::to_string(i) + "*/";
    const QString hopeless = dir.write(QStringLiteral("h.c"), QByteArray::fromStdString("x;\n" + many + "\n"));
    CollectingSink sink;
    RunSummary s = run({text, noDot, folder, noTokens, hopeless}, sink);
    EXPECT_EQ(sink.results[0].outcome, FileOutcome::NoEngine);
    EXPECT_EQ(sink.results[1].outcome, FileOutcome::NoEngine);
    EXPECT_EQ(sink.results[2].outcome, FileOutcome::Missing);
    EXPECT_EQ(sink.results[3].counts, (FileCounts{2, 0, 3}));
    EXPECT_EQ(sink.results[4].outcome, FileOutcome::NotAnalysable);
    EXPECT_EQ(sink.results[4].counts, FileCounts{});
    EXPECT_EQ(s.totalSteps, 2); // the abandoned file adds nothing
}

TEST(AnalysisRun, UnreadableFileEndsTheRunWithoutTotals)
{
    TempDir dir;
    const QString a = dir.write(QStringLiteral("a.c"), "x;\n");
    const QString b = dir.write(QStringLiteral("b.c"), "y;\n");
    // /proc/self/mem exists as a regular file but reading it fails.
    const QStringList list{a, QStringLiteral("/proc/self/mem.c"), QStringLiteral("/proc/self/mem"), b};
    for (int jobs : {1, 2, 8}) {
        CollectingSink sink;
        EngineTable engines(IniDocument::fromBytes("[Engin]\r\nLang_c=C_STYLE\r\nLang_/proc/self/mem=C_STYLE\r\n"));
        RunSummary s = RunAnalysis(list, engines, AnalysisOptions{true, jobs}, sink);
        ASSERT_FALSE(s.completed());
        EXPECT_EQ(s.error->index, 2);
        EXPECT_EQ(s.error->path, u"/proc/self/mem");
        EXPECT_EQ(sink.results.size(), 2u) << "jobs " << jobs;
        EXPECT_FALSE(sink.finished.has_value());
        // A run after the error starts afresh.
        CollectingSink again;
        EXPECT_TRUE(RunAnalysis({a, b}, engines, AnalysisOptions{true, jobs}, again).completed());
    }
}

TEST(AnalysisRun, ParallelRunsGiveTheSameResultsAsOneThread)
{
    TempDir dir;
    QStringList paths;
    for (int i = 0; i < 400; ++i) {
        std::string body;
        for (int l = 0; l < i % 37; ++l)
            body += l % 5 == 0 ? "// note\n" : l % 7 == 0 ? "/* a\n b */\n" : "x = \"//\";\n";
        paths << dir.write(QStringLiteral("d%1/f%2.%3").arg(i % 9).arg(i).arg(i % 3 ? QStringLiteral("c") : QStringLiteral("py")),
                           QByteArray::fromStdString(body));
        if (i % 50 == 0)
            paths << dir.path(QStringLiteral("missing%1.c").arg(i));
    }
    CollectingSink one;
    RunSummary s1 = run(paths, one, 1);
    for (int jobs : {2, 3, 16}) {
        CollectingSink many;
        RunSummary sn = run(paths, many, jobs);
        EXPECT_EQ(sn.totalSteps, s1.totalSteps);
        ASSERT_EQ(many.results.size(), one.results.size());
        for (size_t i = 0; i < one.results.size(); ++i) {
            EXPECT_EQ(many.results[i].path, one.results[i].path);
            EXPECT_EQ(many.results[i].outcome, one.results[i].outcome);
            EXPECT_EQ(many.results[i].counts, one.results[i].counts);
        }
    }
}

// A cancel seen after the 5th result ends the run there, whatever the number of threads: those
// results stand, the other files are told as not counted, and no totals follow.
TEST(AnalysisRun, ACancelEndsTheRunWithTheResultsDoneSoFar)
{
    TempDir dir;
    QStringList paths;
    for (int i = 0; i < 40; ++i)
        paths << dir.write(QStringLiteral("f%1.c").arg(i), QByteArray("x;\n").repeated(i + 1));
    EngineTable engines(IniDocument::fromBytes(kIni));
    for (int jobs : {1, 4}) {
        std::atomic<bool> cancel{false};
        CollectingSink sink;
        sink.then = [&] { cancel = sink.results.size() >= 5; };
        AnalysisOptions options{true, jobs};
        options.cancel = &cancel;
        const RunSummary s = RunAnalysis(paths, engines, options, sink);
        EXPECT_TRUE(s.cancelled && !s.completed() && !s.error);
        EXPECT_EQ(s.notCounted, 35);
        EXPECT_EQ(s.totalSteps, 1 + 2 + 3 + 4 + 5);
        ASSERT_EQ(sink.results.size(), 5u) << "jobs " << jobs;
        EXPECT_EQ(sink.results[4].path, paths[4]);
        EXPECT_FALSE(sink.finished.has_value());
    }
}

TEST(AnalysisRun, EmptyListStillFinishes)
{
    CollectingSink sink;
    RunSummary s = run({}, sink, 4);
    EXPECT_EQ(sink.started, 0);
    EXPECT_TRUE(sink.finished.has_value());
    EXPECT_EQ(s.handledFiles, 0);
}
