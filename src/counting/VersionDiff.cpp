#include "counting/VersionDiff.h"

#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "counting/OrderedWork.h"
#include "counting/SourceStore.h"

#include <dtl/dtl.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace tarvik {

namespace {

// Walk order on native relative paths.
bool nativeWalkOrderLess(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    for (;;) {
        const size_t ae = a.find('/', i), be = b.find('/', j);
        const bool aFile = ae == std::string_view::npos, bFile = be == std::string_view::npos;
        if (aFile != bFile)
            return aFile; // a directory's files come before its subdirectories
        const std::string_view an = a.substr(i, aFile ? std::string_view::npos : ae - i);
        const std::string_view bn = b.substr(j, bFile ? std::string_view::npos : be - j);
        if (an != bn)
            return an < bn;
        if (aFile)
            return false;
        i = ae + 1;
        j = be + 1;
    }
}

struct Side {
    FileOutcome outcome = FileOutcome::Missing;
    bool generated = false;
    int64_t executable = 0;
    std::vector<std::string> steps;
};

// Counts one version of a file; returns the reason when it exists but cannot be read.
std::optional<QString> countSide(const SourceStore& store, const QString& path, int engine, const EngineTable& engines,
                                 bool countSymbolLines, Side& side)
{
    using Status = SourceFileCount::Status;
    if (engine < 0) {
        QString error;
        const Status s = store.probe(path, &error);
        if (s == Status::Unreadable)
            return error;
        side.outcome = s == Status::Counted ? FileOutcome::NoEngine : FileOutcome::Missing;
        return std::nullopt;
    }
    const SourceFileCount c = store.count(path, engines.syntax(engine), countSymbolLines, &side.steps);
    switch (c.status) {
    case Status::Counted:
        side.outcome = FileOutcome::Counted;
        side.executable = c.counts.executable;
        side.generated = c.generated;
        break;
    case Status::Abandoned:
        side.outcome = FileOutcome::NotAnalysable;
        side.steps.clear();
        break;
    case Status::NotAFile:
        side.outcome = FileOutcome::Missing;
        break;
    case Status::Unreadable:
        return c.error;
    }
    return std::nullopt;
}

struct PairWork {
    FileChange change;
    std::optional<RunError> error;
};

PairWork comparePair(const SourceStore& store, const QString& relative, const QString& oldPath, const QString& newPath,
                     int engine, const EngineTable& engines, bool countSymbolLines)
{
    PairWork work;
    FileChange& c = work.change;
    c.relativePath = relative;
    c.oldPath = oldPath;
    c.newPath = newPath;
    Side oldSide, newSide;
    // The same object on both sides is counted once.
    const bool identical = !oldPath.isEmpty() && !newPath.isEmpty() && store.knownIdentical(oldPath, newPath);
    for (auto [path, side] : {std::pair{&oldPath, &oldSide}, std::pair{&newPath, &newSide}}) {
        if (path->isEmpty() || (identical && side == &newSide))
            continue;
        if (std::optional<QString> error = countSide(store, *path, engine, engines, countSymbolLines, *side)) {
            work.error = RunError{-1, *path, *error};
            return work;
        }
    }

    if (identical)
        newSide = oldSide;

    if (newPath.isEmpty()) {
        c.status = ChangeStatus::Deleted;
        c.outcome = oldSide.outcome;
        c.oldSteps = oldSide.executable;
        c.steps.deleted = oldSide.executable;
    } else if (oldPath.isEmpty()) {
        c.status = ChangeStatus::New;
        c.outcome = newSide.outcome;
        c.newSteps = newSide.executable;
        c.steps.added = newSide.executable;
    } else if (oldSide.outcome == FileOutcome::Counted && newSide.outcome == FileOutcome::Counted) {
        c.oldSteps = oldSide.executable;
        c.newSteps = newSide.executable;
        c.steps = CompareSteps(oldSide.steps, newSide.steps);
        c.status = c.steps == StepChanges{} ? ChangeStatus::Unchanged : ChangeStatus::Changed;
    } else {
        // Steps that cannot be told are not compared: the pair is changed when its bytes are.
        c.outcome = newSide.outcome != FileOutcome::Counted ? newSide.outcome : oldSide.outcome;
        c.status = store.sameBytes(oldPath, newPath) ? ChangeStatus::Unchanged : ChangeStatus::Changed;
    }
    c.generated = oldSide.generated || newSide.generated;
    if (c.outcome != FileOutcome::Counted) {
        c.oldSteps = c.newSteps = 0;
        c.steps = {};
    }
    return work;
}

} // namespace

QString changeStatusText(ChangeStatus status)
{
    switch (status) {
    case ChangeStatus::New:
        return QStringLiteral("新規");
    case ChangeStatus::Deleted:
        return QStringLiteral("削除");
    case ChangeStatus::Changed:
        return QStringLiteral("変更");
    case ChangeStatus::Unchanged:
        break;
    }
    return QStringLiteral("変更なし");
}

QString changeStatusCode(ChangeStatus status)
{
    switch (status) {
    case ChangeStatus::New:
        return QStringLiteral("added");
    case ChangeStatus::Deleted:
        return QStringLiteral("deleted");
    case ChangeStatus::Changed:
        return QStringLiteral("changed");
    case ChangeStatus::Unchanged:
        break;
    }
    return QStringLiteral("unchanged");
}

bool walkOrderLess(const QString& a, const QString& b) { return nativeWalkOrderLess(pathToNative(a), pathToNative(b)); }

bool walkOrderLess(std::string_view a, std::string_view b) { return nativeWalkOrderLess(a, b); }

StepChanges CompareSteps(const std::vector<std::string>& oldSteps, const std::vector<std::string>& newSteps)
{
    StepChanges result;
    if (oldSteps == newSteps)
        return result;
    // The diff runs on small numbers, one per distinct step text.
    std::unordered_map<std::string_view, uint32_t> ids;
    auto idsOf = [&](const std::vector<std::string>& steps) {
        std::vector<uint32_t> out;
        out.reserve(steps.size());
        for (const std::string& s : steps)
            out.push_back(ids.try_emplace(s, static_cast<uint32_t>(ids.size())).first->second);
        return out;
    };
    const std::vector<uint32_t> a = idsOf(oldSteps);
    const std::vector<uint32_t> b = idsOf(newSteps);

    dtl::Diff<uint32_t, std::vector<uint32_t>> diff(a, b);
    diff.compose();
    int64_t added = 0, deleted = 0;
    auto endHunk = [&] {
        const int64_t changed = std::min(added, deleted);
        result.changed += changed;
        result.added += added - changed;
        result.deleted += deleted - changed;
        added = deleted = 0;
    };
    for (const auto& [element, info] : diff.getSes().getSequence()) {
        (void)element;
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

DiffSummary RunDiff(const DiffRequest& request, EngineTable& engines, const AnalysisOptions& options, DiffSink& sink)
{
    DirectoryWalk walk(request.extensions, request.includeSubdirectories);
    walk.setFilter(request.filter);

    // Relative path (native bytes) -> the full path in each version.
    std::map<std::string, FilePair, decltype(&nativeWalkOrderLess)> pairs(&nativeWalkOrderLess);
    QList<SkippedDirectory> skipped;
    auto collect = [&](const QString& root, QString FilePair::*member) {
        // The walk drops one trailing "/" of its root and joins names with "/".
        QString prefix = root;
        if (prefix.endsWith(u'/'))
            prefix.chop(1);
        prefix += u'/';
        const WalkReport report = walk.walk(root, [&](const QString& path) {
            const QString relative = path.startsWith(prefix) ? path.mid(prefix.size()) : path;
            pairs[pathToNative(relative)].*member = path;
        });
        skipped += report.skipped;
    };
    collect(request.oldRoot, &FilePair::oldPath);
    collect(request.newRoot, &FilePair::newPath);

    std::vector<FilePair> order;
    order.reserve(pairs.size());
    for (auto& [relative, pair] : pairs) {
        pair.relativePath = pathFromNative(relative);
        order.push_back(std::move(pair));
    }
    pairs.clear();
    DiffSummary summary = RunPairedDiff(order, engines, options, sink);
    summary.skipped = skipped + summary.skipped;
    return summary;
}

DiffSummary RunPairedDiff(const std::vector<FilePair>& order, EngineTable& engines, const AnalysisOptions& options,
                          DiffSink& sink)
{
    DiffSummary summary;
    const SourceStore& store = options.store ? *options.store : fileSystemStore();
    const qsizetype n = static_cast<qsizetype>(order.size());
    sink.diffStarted(n);

    std::vector<int> engineOf(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        engineOf[i] = engines.engineIndexForPath(order[i].newPath.isEmpty() ? order[i].oldPath : order[i].newPath);
    auto work = [&](qsizetype i) {
        const FilePair& pair = order[static_cast<size_t>(i)];
        PairWork w = comparePair(store, pair.relativePath, pair.oldPath, pair.newPath, engineOf[static_cast<size_t>(i)],
                                 engines, options.countSymbolLines);
        w.change.renamedFrom = pair.renamedFrom;
        return w;
    };
    const int jobs = static_cast<int>(std::clamp<qsizetype>(options.jobs, 1, std::max<qsizetype>(n, 1)));
    std::optional<OrderedWork<PairWork>> parallel;
    if (jobs > 1) {
        parallel.emplace(n, work);
        parallel->start(jobs);
    }

    DiffTotals& t = summary.totals;
    for (qsizetype i = 0; i < n; ++i) {
        PairWork w = parallel ? parallel->take(i) : work(i);
        if (w.error) {
            w.error->index = i;
            summary.error = w.error;
            return summary;
        }
        const FileChange& c = w.change;
        if (c.generated) {
            ++t.generatedFiles;
            t.generatedSteps.added += c.steps.added;
            t.generatedSteps.changed += c.steps.changed;
            t.generatedSteps.deleted += c.steps.deleted;
            if (options.generated == GeneratedFiles::Skip)
                continue;
        }
        if (c.generated && options.generated == GeneratedFiles::Separate) {
            sink.fileCompared(summary.handledFiles, c);
            ++summary.handledFiles;
            continue;
        }
        switch (c.status) {
        case ChangeStatus::New:
            ++t.newFiles;
            break;
        case ChangeStatus::Deleted:
            ++t.deletedFiles;
            break;
        case ChangeStatus::Changed:
            ++t.changedFiles;
            break;
        case ChangeStatus::Unchanged:
            ++t.unchangedFiles;
            break;
        }
        t.oldSteps += c.oldSteps;
        t.newSteps += c.newSteps;
        t.steps.added += c.steps.added;
        t.steps.changed += c.steps.changed;
        t.steps.deleted += c.steps.deleted;
        sink.fileCompared(summary.handledFiles, c);
        ++summary.handledFiles;
    }
    sink.diffFinished(summary);
    return summary;
}

} // namespace tarvik
