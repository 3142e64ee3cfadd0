#pragma once

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>

#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tarvik {

// Runs `work` on another thread under the busy cursor while this thread keeps the windows
// painted; user input waits until the work is done. For server operations that may take long.
void runWithBusyCursor(const std::function<void()>& work);

// Hands items from a worker thread to the window's thread in batches: at most one hand-over is
// queued at a time, so the window takes whatever has arrived whenever it gets to it.
template <typename Item, typename Summary>
class HandOver {
public:
    HandOver(QObject* receiver, std::function<void()> drain) : m_receiver(receiver), m_drain(std::move(drain)) {}

    void add(Item item)
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(std::move(item));
        postLocked();
    }

    void finish(Summary summary)
    {
        std::lock_guard lock(m_mutex);
        m_summary = std::move(summary);
        m_done = true;
        postLocked();
    }

    // On the window's thread: the items that arrived, and whether the work is over.
    bool take(std::vector<Item>& out, Summary& summary)
    {
        std::lock_guard lock(m_mutex);
        out.swap(m_pending);
        m_pending.clear();
        m_posted = false;
        summary = m_summary;
        return m_done;
    }

private:
    void postLocked()
    {
        if (m_posted)
            return;
        m_posted = true;
        QMetaObject::invokeMethod(m_receiver, m_drain, Qt::QueuedConnection);
    }

    QObject* m_receiver;
    std::function<void()> m_drain;
    std::mutex m_mutex;
    std::vector<Item> m_pending;
    Summary m_summary{};
    bool m_posted = false;
    bool m_done = false;
};

// Runs `work(handOver)` on another thread and returns its summary; meanwhile this thread keeps
// the windows painted and passes each batch of handed-over items to `show`. User input is
// delivered: the caller holds it back (an event filter that lets a request to stop through)
// and sets the cursor.
template <typename Item, typename Summary>
Summary runHandingOver(const std::function<Summary(HandOver<Item, Summary>&)>& work,
                       const std::function<void(std::vector<Item>&)>& show)
{
    QEventLoop loop;
    Summary summary{};
    bool finished = false;
    HandOver<Item, Summary>* handOver = nullptr;
    auto drain = [&] {
        std::vector<Item> batch;
        finished = handOver->take(batch, summary);
        if (!batch.empty())
            show(batch);
        if (finished)
            loop.quit();
    };
    // Hand-overs are queued to an object of this run, so none can outlive it.
    QObject context;
    HandOver<Item, Summary> bridge(&context, drain);
    handOver = &bridge;
    std::thread worker([&] { bridge.finish(work(bridge)); });
    loop.exec(); // not ExcludeUserInputEvents: a request to stop must get through
    worker.join();
    drain(); // anything that arrived with the end
    return summary;
}

} // namespace tarvik
