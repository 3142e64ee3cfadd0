#include "counting/AnalysisRun.h"

#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "counting/OrderedWork.h"
#include "counting/ReadAhead.h"
#include "counting/SourceStore.h"

#include <algorithm>
#include <vector>

namespace tarvik {

namespace {

struct FileWork {
    FileResult result;
    std::optional<QString> error;
};

FileWork analyseOne(const SourceStore& store, const QString& path, int engine, const QString& typeKey,
                    const EngineTable& engines, bool countSymbolLines)
{
    FileWork work{FileResult::forPath(path, store.topLength(path)), std::nullopt};
    work.result.typeKey = typeKey;
    using Status = SourceFileCount::Status;
    if (engine < 0) {
        QString error;
        Status s = store.probe(path, &error);
        if (s == Status::Unreadable)
            work.error = error;
        work.result.outcome = s == Status::Counted ? FileOutcome::NoEngine : FileOutcome::Missing;
        return work;
    }
    SourceFileCount c = store.count(path, engines.syntax(engine), countSymbolLines, nullptr);
    switch (c.status) {
    case Status::Counted:
        work.result.outcome = FileOutcome::Counted;
        work.result.counts = c.counts;
        work.result.generated = c.generated;
        break;
    case Status::Abandoned:
        work.result.outcome = FileOutcome::NotAnalysable;
        break;
    case Status::NotAFile:
        work.result.outcome = FileOutcome::Missing;
        break;
    case Status::Unreadable:
        work.error = c.error;
        break;
    }
    return work;
}

} // namespace

FileResult FileResult::forPath(const QString& path, qsizetype top)
{
    FileResult r;
    r.path = path;
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype cut = std::max(slash + 1, std::min(top, path.size()));
    r.directory = path.left(cut);
    r.programId = path.mid(cut);
    return r;
}

QString outcomeName(FileOutcome outcome)
{
    switch (outcome) {
    case FileOutcome::Counted:
        return QStringLiteral("Counted");
    case FileOutcome::NoEngine:
        return QStringLiteral("NoEngine");
    case FileOutcome::NotAnalysable:
        return QStringLiteral("NotAnalysable");
    case FileOutcome::Missing:
        break;
    }
    return QStringLiteral("Missing");
}

int engineIndexIn(EngineTable& engines, const SourceStore& store, const QString& path, QString* typeKey)
{
    return engines.engineIndexForPath(path, store.topLength(path),
                                      [&] { return store.head(path, kInterpreterHeadBytes); }, typeKey);
}

bool cancelRequested(const AnalysisOptions& options)
{
    return options.cancel && options.cancel->load(std::memory_order_relaxed);
}

QString unexpectedErrorMessage() { return QStringLiteral("予期せぬエラーが発生しました！！"); }

RunSummary RunAnalysis(const QStringList& paths, EngineTable& engines, const AnalysisOptions& options,
                       ResultSink& sink)
{
    RunSummary summary;
    const qsizetype n = paths.size();
    sink.runStarted(n);

    auto stopAt = [&](qsizetype i) {
        summary.cancelled = true;
        summary.notCounted = n - i;
        return summary;
    };
    const SourceStore& store = options.store ? *options.store : fileSystemStore();
    // Files on disk are asked for ahead of the reading: a tree that is not cached has many reads
    // under way at once.
    std::optional<ReadAhead> ahead;
    if (&store == &fileSystemStore() && n > 1)
        ahead.emplace(n, [&paths](qsizetype i) { return pathToNative(paths[i]); });
    // Engines are resolved up front, so that workers only ever read the table.
    std::vector<int> engineOf(static_cast<size_t>(n));
    std::vector<QString> typeKeyOf(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i) {
        // A "#!" line is read for every file without a known extension: long on a long list.
        if (cancelRequested(options))
            return stopAt(0);
        engineOf[static_cast<size_t>(i)] = engineIndexIn(engines, store, paths[i], &typeKeyOf[static_cast<size_t>(i)]);
    }

    const int jobs = static_cast<int>(std::clamp<qsizetype>(options.jobs, 1, std::max<qsizetype>(n, 1)));
    auto work = [&](qsizetype i) {
        return analyseOne(store, paths[i], engineOf[static_cast<size_t>(i)], typeKeyOf[static_cast<size_t>(i)], engines,
                          options.countSymbolLines);
    };
    std::optional<OrderedWork<FileWork>> parallel;
    if (jobs > 1) {
        parallel.emplace(n, work);
        parallel->start(jobs);
    }

    for (qsizetype i = 0; i < n; ++i) {
        // Checked here, not by the workers: the results end exactly where the cancel was seen,
        // and the workers stop after their current file once `parallel` is gone.
        if (cancelRequested(options))
            return stopAt(i);
        FileWork w = parallel ? parallel->take(i) : work(i);
        if (ahead)
            ahead->reached(i + 1);
        if (w.error) {
            summary.error = RunError{i, paths[i], *w.error};
            return summary;
        }
        if (w.result.generated) {
            ++summary.generatedFiles;
            summary.generatedSteps += w.result.counts.executable;
            if (options.generated == GeneratedFiles::Skip)
                continue;
        }
        if (w.result.outcome == FileOutcome::Counted
            && !(w.result.generated && options.generated == GeneratedFiles::Separate))
            summary.totalSteps += w.result.counts.executable;
        sink.fileAnalysed(summary.handledFiles, w.result);
        ++summary.handledFiles;
    }
    sink.runFinished(summary);
    return summary;
}

} // namespace tarvik
