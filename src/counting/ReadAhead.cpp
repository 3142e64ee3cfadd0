#include "counting/ReadAhead.h"

#include "counting/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <system_error>

namespace tarvik {

ReadAhead::ReadAhead(qsizetype count, PathOf pathOf, int readers)
    : m_count(count), m_pathOf(std::move(pathOf)), m_sizes(static_cast<size_t>(kMaxFilesAhead), 0)
{
    for (int i = 0; i < readers && i < count; ++i) {
        try {
            m_threads.emplace_back([this] { run(); });
        } catch (const std::system_error&) {
            break; // fewer readers, or none: the counting reads for itself
        }
    }
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_room.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void ReadAhead::reached(qsizetype index)
{
    std::lock_guard lock(m_mutex);
    if (index <= m_reached)
        return;
    for (qsizetype i = m_reached; i < index && i < m_next; ++i)
        m_bytesAhead -= m_sizes[static_cast<size_t>(i % kMaxFilesAhead)];
    m_reached = index;
    m_room.notify_all();
}

void ReadAhead::run()
{
    const qsizetype count = m_count;
    for (;;) {
        qsizetype i;
        {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock, [&] {
                return m_stopping || m_next >= count
                       || (m_next < m_reached + kMaxFilesAhead && m_bytesAhead < kMaxBytesAhead);
            });
            if (m_stopping || m_next >= count)
                return;
            // Files the consumer has passed already are not asked for.
            m_next = std::max(m_next, m_reached);
            if (m_next >= count)
                return;
            i = m_next++;
            m_sizes[static_cast<size_t>(i % kMaxFilesAhead)] = 0; // counted once its size is known
        }
        const std::string path = m_pathOf(i);
        // Only regular files are opened: opening a special file may wait, or do something.
        struct stat st {};
        int64_t size = 0;
        if (!path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
            if (fd.get() >= 0) {
                size = std::min<int64_t>(st.st_size, kMaxBytesPerFile);
                // The reads go out at once and complete on their own; this thread moves on.
                ::posix_fadvise(fd.get(), 0, size, POSIX_FADV_WILLNEED);
            }
        }
        std::lock_guard lock(m_mutex);
        // A file the consumer has passed meanwhile is no longer ahead; its slot may be another's.
        if (i >= m_reached) {
            m_sizes[static_cast<size_t>(i % kMaxFilesAhead)] = size;
            m_bytesAhead += size;
        }
    }
}

} // namespace tarvik
