#pragma once

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tarvik {

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

    void start(int jobs)
    {
        for (int i = 0; i < jobs; ++i)
            m_threads.emplace_back([this] { run(); });
    }

    // Blocks until the result of `index` is there and hands it over; indices go up by one.
    T take(qsizetype index)
    {
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
