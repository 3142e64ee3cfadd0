#include "counting/AnalysisRun.h"

#include "config/FileTypeTable.h"
#include "counting/SourceFile.h"
#include "intake/NativePath.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvik {

namespace {

struct FileWork {
    FileResult result;
    std::optional<QString> error;
};

FileWork analyseOne(const QString& path, int engine, const EngineTable& engines, bool countSymbolLines)
{
    FileWork work{FileResult::forPath(path), std::nullopt};
    const std::string native = pathToNative(path);
    using Status = SourceFileCount::Status;
    if (engine < 0) {
        QString error;
        Status s = probeSourceFile(native, &error);
        if (s == Status::Unreadable)
            work.error = error;
        work.result.outcome = s == Status::Counted ? FileOutcome::NoEngine : FileOutcome::Missing;
        return work;
    }
    SourceFileCount c = countSourceFile(native, engines.syntax(engine), countSymbolLines);
    switch (c.status) {
    case Status::Counted:
        work.result.outcome = FileOutcome::Counted;
        work.result.counts = c.counts;
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

// Workers count ahead of the consumer by at most this many files, which bounds memory.
constexpr qsizetype kWindow = 1024;

class ParallelRun {
public:
    ParallelRun(const QStringList& paths, const std::vector<int>& engineOf, const EngineTable& engines,
                bool countSymbolLines)
        : m_paths(paths), m_engineOf(engineOf), m_engines(engines), m_countSymbolLines(countSymbolLines),
          m_slots(static_cast<size_t>(kWindow))
    {
    }

    void start(int jobs)
    {
        for (int i = 0; i < jobs; ++i)
            m_threads.emplace_back([this] { work(); });
    }

    // Blocks until the result of `index` is there and hands it over.
    FileWork take(qsizetype index)
    {
        std::unique_lock lock(m_mutex);
        Slot& slot = m_slots[static_cast<size_t>(index % kWindow)];
        if (slot.index != index) {
            m_awaited = index;
            m_ready.wait(lock, [&] { return slot.index == index; });
            m_awaited = -1;
        }
        FileWork work = std::move(*slot.work);
        slot.work.reset();
        slot.index = -1;
        m_delivered = index + 1;
        // Wake-ups cost system calls: only when someone waits.
        if (m_workersWaiting > 0)
            m_space.notify_all();
        return work;
    }

    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_space.notify_all();
        for (auto& t : m_threads)
            t.join();
        m_threads.clear();
    }

    ~ParallelRun() { stop(); }

private:
    struct Slot {
        qsizetype index = -1;
        std::optional<FileWork> work;
    };

    void work()
    {
        for (;;) {
            qsizetype i = m_next.fetch_add(1);
            if (i >= m_paths.size())
                return;
            {
                std::unique_lock lock(m_mutex);
                ++m_workersWaiting;
                m_space.wait(lock, [&] { return m_stopping || i < m_delivered + kWindow; });
                --m_workersWaiting;
                if (m_stopping)
                    return;
            }
            FileWork w = analyseOne(m_paths[i], m_engineOf[static_cast<size_t>(i)], m_engines, m_countSymbolLines);
            std::lock_guard lock(m_mutex);
            Slot& slot = m_slots[static_cast<size_t>(i % kWindow)];
            slot.work = std::move(w);
            slot.index = i;
            if (m_awaited == i)
                m_ready.notify_one();
        }
    }

    const QStringList& m_paths;
    const std::vector<int>& m_engineOf;
    const EngineTable& m_engines;
    bool m_countSymbolLines;
    std::vector<Slot> m_slots;
    std::vector<std::thread> m_threads;
    std::atomic<qsizetype> m_next{0};
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
    qsizetype m_delivered = 0;
    qsizetype m_awaited = -1; // the index the consumer sleeps on
    int m_workersWaiting = 0;
    bool m_stopping = false;
};

} // namespace

FileResult FileResult::forPath(const QString& path)
{
    FileResult r;
    r.path = path;
    qsizetype slash = path.lastIndexOf(u'/');
    r.directory = path.left(slash + 1);
    r.programId = path.mid(slash + 1);
    return r;
}

QString unexpectedErrorMessage() { return QStringLiteral("予期せぬエラーが発生しました！！"); }

RunSummary RunAnalysis(const QStringList& paths, EngineTable& engines, const AnalysisOptions& options,
                       ResultSink& sink)
{
    RunSummary summary;
    const qsizetype n = paths.size();
    sink.runStarted(n);

    // Engines are resolved up front, so that workers only ever read the table.
    std::vector<int> engineOf(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i)
        engineOf[static_cast<size_t>(i)] = engines.engineIndexForPath(paths[i]);

    const int jobs = static_cast<int>(std::clamp<qsizetype>(options.jobs, 1, std::max<qsizetype>(n, 1)));
    std::optional<ParallelRun> parallel;
    if (jobs > 1) {
        parallel.emplace(paths, engineOf, engines, options.countSymbolLines);
        parallel->start(jobs);
    }

    for (qsizetype i = 0; i < n; ++i) {
        FileWork w = parallel ? parallel->take(i)
                              : analyseOne(paths[i], engineOf[static_cast<size_t>(i)], engines, options.countSymbolLines);
        if (w.error) {
            summary.error = RunError{i, paths[i], *w.error};
            return summary;
        }
        if (w.result.outcome == FileOutcome::Counted)
            summary.totalSteps += w.result.counts.executable;
        sink.fileAnalysed(i, w.result);
        ++summary.handledFiles;
    }
    sink.runFinished(summary);
    return summary;
}

} // namespace tarvik
