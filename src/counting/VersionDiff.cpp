#include "counting/VersionDiff.h"

#include "config/FileTypeTable.h"
#include "config/NativePath.h"
#include "counting/OrderedWork.h"
#include "counting/ReadAhead.h"
#include "counting/SourceStore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <span>
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

// The shortest edit script of the O(NP) algorithm (Wu, Manber, Myers, Miller), counted per
// hunk. Its choices between scripts of the same length, and the bound after which a long
// comparison is taken up again from the point it reached, are those of libdtl, which counted
// the changes before: the figures users compare across releases stay what they were. libdtl
// builds its path and the whole script anew for every pair; on a release of ten thousand
// changed files that cost more than reading them.
class EditScript {
public:
    // With `edits` (one entry per new step, Unchanged), the new steps added and changed are
    // marked there.
    StepChanges count(std::span<const uint32_t> oldIds, std::span<const uint32_t> newIds,
                      std::vector<StepEdit>* edits = nullptr)
    {
        // The shorter sequence is walked as A; equal lengths are swapped as well.
        const bool swapped = oldIds.size() >= newIds.size();
        std::span<const uint32_t> a = swapped ? newIds : oldIds;
        std::span<const uint32_t> b = swapped ? oldIds : newIds;
        Hunks hunks;
        hunks.edits = edits;
        hunks.newIsA = swapped;
        // A step of b is an addition, one of a a deletion; the other way round when swapped.
        int64_t& ofA = swapped ? hunks.added : hunks.deleted;
        int64_t& ofB = swapped ? hunks.deleted : hunks.added;
        for (;;) {
            const auto [px, py] = walk(a, b, ofA, ofB, hunks);
            if (px >= static_cast<int64_t>(a.size()) && py >= static_cast<int64_t>(b.size()))
                break;
            a = a.subspan(static_cast<size_t>(px));
            b = b.subspan(static_cast<size_t>(py));
            hunks.aBase += px;
            hunks.bBase += py;
        }
        hunks.end();
        return hunks.result;
    }

private:
    static constexpr size_t kMaxPoints = 2000000;

    struct Point {
        int64_t x;
        int64_t y;
        int64_t previous; // index of the point the path came from, -1 at its start
    };

    struct Hunks {
        int64_t added = 0;
        int64_t deleted = 0;
        StepChanges result;
        // Only when the new steps' edits are wanted: where the current a and b begin in the whole
        // sequences, and the new steps edited in the hunk so far.
        std::vector<StepEdit>* edits = nullptr;
        bool newIsA = false;
        int64_t aBase = 0, bBase = 0;
        std::vector<int64_t> pending;
        void edited(bool ofA, int64_t from, int64_t count)
        {
            if (!edits || ofA != newIsA)
                return;
            for (int64_t i = 0; i < count; ++i)
                pending.push_back((ofA ? aBase : bBase) + from + i);
        }
        void end()
        {
            const int64_t changed = std::min(added, deleted);
            if (edits) {
                for (size_t i = 0; i < pending.size(); ++i)
                    (*edits)[static_cast<size_t>(pending[i])] =
                        static_cast<int64_t>(i) < changed ? StepEdit::Changed : StepEdit::Added;
                pending.clear();
            }
            result.changed += changed;
            result.added += added - changed;
            result.deleted += deleted - changed;
            added = deleted = 0;
        }
    };

    // Finds the furthest path, or the one reached when the bound is met, and counts its edits;
    // returns where it ended in a and b.
    std::pair<int64_t, int64_t> walk(std::span<const uint32_t> a, std::span<const uint32_t> b, int64_t& ofA,
                                     int64_t& ofB, Hunks& hunks)
    {
        const int64_t m = static_cast<int64_t>(a.size());
        const int64_t n = static_cast<int64_t>(b.size());
        // Never below zero: a restart begins where the last path met the diagonal of delta,
        // which leaves as much of a as of b.
        const int64_t delta = n - m;
        const int64_t offset = m + 1;
        m_fp.assign(static_cast<size_t>(m + n + 3), -1);
        m_path.assign(static_cast<size_t>(m + n + 3), -1);
        m_points.clear();
        int64_t* fp = m_fp.data();
        int64_t* path = m_path.data();
        auto snake = [&](int64_t k) {
            const int64_t above = fp[k - 1 + offset] + 1;
            const int64_t below = fp[k + 1 + offset];
            const int64_t from = above > below ? path[k - 1 + offset] : path[k + 1 + offset];
            int64_t y = std::max(above, below);
            int64_t x = y - k;
            // x may stand left of a on a diagonal not reached yet; no step matches there.
            while (static_cast<uint64_t>(x) < static_cast<uint64_t>(m) && y < n && a[x] == b[y]) {
                ++x;
                ++y;
            }
            path[k + offset] = static_cast<int64_t>(m_points.size());
            m_points.push_back({x, y, from});
            fp[k + offset] = y;
        };
        int64_t p = -1;
        do {
            ++p;
            for (int64_t k = -p; k <= delta - 1; ++k)
                snake(k);
            for (int64_t k = delta + p; k >= delta + 1; --k)
                snake(k);
            snake(delta);
        } while (fp[delta + offset] != n && m_points.size() < kMaxPoints);

        m_chain.clear();
        for (int64_t r = path[delta + offset]; r != -1; r = m_points[static_cast<size_t>(r)].previous)
            m_chain.push_back(r);
        int64_t px = 0, py = 0;
        for (auto it = m_chain.rbegin(); it != m_chain.rend(); ++it) {
            const Point& to = m_points[static_cast<size_t>(*it)];
            // Off the point's diagonal, steps of one side lead onto it; along it, common steps.
            const int64_t off = (to.y - to.x) - (py - px);
            if (off > 0) {
                hunks.edited(false, py, off);
                ofB += off;
                py += off;
            } else if (off < 0) {
                hunks.edited(true, px, -off);
                ofA -= off;
                px -= off;
            }
            if (px < to.x) {
                hunks.end();
                py += to.x - px;
                px = to.x;
            }
        }
        return {px, py};
    }

    std::vector<int64_t> m_fp;
    std::vector<int64_t> m_path;
    std::vector<Point> m_points;
    std::vector<int64_t> m_chain;
};

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

namespace {

StepChanges compareSteps(const std::vector<std::string>& oldSteps, const std::vector<std::string>& newSteps,
                         std::vector<StepEdit>* edits)
{
    if (oldSteps == newSteps)
        return {};
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
    // Each thread keeps its working memory from one pair to the next.
    thread_local EditScript script;
    return script.count(a, b, edits);
}

} // namespace

StepChanges CompareSteps(const std::vector<std::string>& oldSteps, const std::vector<std::string>& newSteps)
{
    return compareSteps(oldSteps, newSteps, nullptr);
}

StepChanges CompareSteps(const std::vector<std::string>& oldSteps, const std::vector<std::string>& newSteps,
                         std::vector<StepEdit>& newEdits)
{
    newEdits.assign(newSteps.size(), StepEdit::Unchanged);
    return compareSteps(oldSteps, newSteps, &newEdits);
}

DiffSummary RunDiff(const DiffRequest& request, EngineTable& engines, const AnalysisOptions& options, DiffSink& sink)
{
    DirectoryWalk walk(SearchedTypes{request.extensions, request.names, request.interpreters},
                       request.includeSubdirectories);
    walk.setFilter(request.filter);
    walk.listUnregisteredFiles();
    std::vector<UnregisteredFile> unregistered[2];

    // Relative path (native bytes) -> the full path in each version.
    std::map<std::string, FilePair, decltype(&nativeWalkOrderLess)> pairs(&nativeWalkOrderLess);
    QList<SkippedDirectory> skipped;
    auto collect = [&](const QString& root, QString FilePair::*member, std::vector<UnregisteredFile>& passed) {
        // The walk drops one trailing "/" of its root and joins names with "/".
        QString prefix = root;
        if (prefix.endsWith(u'/'))
            prefix.chop(1);
        prefix += u'/';
        WalkReport report = walk.walk(root, [&](const QString& path) {
            const QString relative = path.startsWith(prefix) ? path.mid(prefix.size()) : path;
            pairs[pathToNative(relative)].*member = path;
        });
        skipped += report.skipped;
        passed = std::move(report.unregisteredFiles);
    };
    collect(request.oldRoot, &FilePair::oldPath, unregistered[0]);
    collect(request.newRoot, &FilePair::newPath, unregistered[1]);

    std::vector<FilePair> order;
    order.reserve(pairs.size());
    for (auto& [relative, pair] : pairs) {
        pair.relativePath = pathFromNative(relative);
        order.push_back(std::move(pair));
    }
    pairs.clear();
    UnregisteredFiles passedOver = UnregisteredFiles::ofBoth(unregistered[0], unregistered[1]);
    if (request.unregistered)
        *request.unregistered = passedOver;
    DiffSummary summary = RunPairedDiff(order, engines, options, sink);
    summary.skipped = skipped + summary.skipped;
    summary.unregistered = std::move(passedOver);
    return summary;
}

DiffSummary RunPairedDiff(const std::vector<FilePair>& order, EngineTable& engines, const AnalysisOptions& options,
                          DiffSink& sink)
{
    DiffSummary summary;
    const SourceStore& store = options.store ? *options.store : fileSystemStore();
    const qsizetype n = static_cast<qsizetype>(order.size());
    sink.diffStarted(n);

    auto stopAt = [&](qsizetype i) {
        summary.cancelled = true;
        summary.notCompared = n - i;
        return summary;
    };
    // Both versions of each pair are asked for ahead of the comparing, as a count's files are.
    std::optional<ReadAhead> ahead;
    if (&store == &fileSystemStore() && n > 0) {
        ahead.emplace(2 * n, [&order](qsizetype i) {
            const FilePair& pair = order[static_cast<size_t>(i / 2)];
            return pathToNative(i % 2 == 0 ? pair.oldPath : pair.newPath);
        });
    }
    std::vector<int> engineOf(order.size());
    std::vector<QString> typeKeyOf(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        if (cancelRequested(options))
            return stopAt(0);
        engineOf[i] = engineIndexIn(engines, store, order[i].newPath.isEmpty() ? order[i].oldPath : order[i].newPath,
                                    &typeKeyOf[i]);
    }
    auto work = [&](qsizetype i) {
        const FilePair& pair = order[static_cast<size_t>(i)];
        PairWork w = comparePair(store, pair.relativePath, pair.oldPath, pair.newPath, engineOf[static_cast<size_t>(i)],
                                 engines, options.countSymbolLines);
        w.change.renamedFrom = pair.renamedFrom;
        w.change.typeKey = typeKeyOf[static_cast<size_t>(i)];
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
        // As in RunAnalysis: the pairs handed over end where the cancel was seen.
        if (cancelRequested(options))
            return stopAt(i);
        PairWork w = parallel ? parallel->take(i) : work(i);
        if (ahead)
            ahead->reached(2 * (i + 1));
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
