#pragma once

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace tarvik {

// Threads a parallel run starts at most. More than a few per core gain nothing, and thousands
// of them cost memory and may not be allowed at all.
inline int jobLimit()
{
    return 4 * static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// Computes work(0), work(1), ... work(count - 1) on several threads and hands the results
// over in index order. Workers run at most kWindow items ahead of the one taken last, which
// bounds the memory held by finished results.
template <typename T>
class OrderedWork {
public:
    static constexpr qsizetype kWindow = 1024;
    using Work = std::function<T(qsizetype index)>;

    OrderedWork(qsizetype count, Work work) : m_count(count), m_work(std::move(work)), m_slots(kWindow) {}
    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;
    ~OrderedWork() { stop(); }

    // Starts at most jobLimit() threads, and fewer when the system refuses more.
    void start(int jobs)
    {
        jobs = std::min(jobs, jobLimit());
        for (int i = 0; i < jobs; ++i) {
            try {
                m_threads.emplace_back([this] { run(); });
            } catch (const std::system_error&) {
                break;
            }
        }
    }

    // Blocks until the result of `index` is there and hands it over; indices go up by one.
    T take(qsizetype index)
    {
        if (m_threads.empty()) // not one thread could be started: the work is done here
            return m_work(index);
        std::unique_lock lock(m_mutex);
        Slot& slot = m_slots[static_cast<size_t>(index % kWindow)];
        if (slot.index != index) {
            m_awaited = index;
            m_ready.wait(lock, [&] { return slot.index == index; });
            m_awaited = -1;
        }
        T result = std::move(*slot.result);
        slot.result.reset();
        slot.index = -1;
        m_delivered = index + 1;
        // Wake-ups cost system calls: only when someone waits.
        if (m_workersWaiting > 0)
            m_space.notify_all();
        return result;
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

private:
    struct Slot {
        qsizetype index = -1;
        std::optional<T> result;
    };

    void run()
    {
        for (;;) {
            const qsizetype i = m_next.fetch_add(1);
            if (i >= m_count)
                return;
            {
                std::unique_lock lock(m_mutex);
                ++m_workersWaiting;
                m_space.wait(lock, [&] { return m_stopping || i < m_delivered + kWindow; });
                --m_workersWaiting;
                if (m_stopping)
                    return;
            }
            T result = m_work(i);
            std::lock_guard lock(m_mutex);
            Slot& slot = m_slots[static_cast<size_t>(i % kWindow)];
            slot.result = std::move(result);
            slot.index = i;
            if (m_awaited == i)
                m_ready.notify_one();
        }
    }

    const qsizetype m_count;
    const Work m_work;
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

} // namespace tarvik
