#pragma once

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvik {

// Asks the system to bring files into memory before the counting threads reach them, so that
// the disk has many reads to serve at once while the threads count what has arrived: a tree that
// is not cached is read at the speed of the disk, not one request per counting thread. Readers
// ask for at most kMaxFilesAhead files past the position the consumer reports, and stop asking
// while kMaxBytesAhead bytes are ahead of it (it may be passed by the files under way, each
// asked for up to kMaxBytesPerFile). What they bring is the system's page cache, not memory of
// ours, and a file already cached costs a few system calls.
class ReadAhead {
public:
    static constexpr int kReaders = 8;
    static constexpr qsizetype kMaxFilesAhead = 4096;
    static constexpr int64_t kMaxBytesAhead = int64_t(64) << 20;
    static constexpr int64_t kMaxBytesPerFile = kMaxBytesAhead / kReaders;

    // The path of file `index` (native bytes; empty for none), called from the readers: it must
    // be safe to call from several threads.
    using PathOf = std::function<std::string(qsizetype index)>;
    // `count` files in the order they will be read; readers start at once.
    ReadAhead(qsizetype count, PathOf pathOf, int readers = kReaders);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The files before `index` have been read by the consumer.
    void reached(qsizetype index);

private:
    void run();

    const qsizetype m_count;
    const PathOf m_pathOf;
    // The size of each file asked for, by index modulo kMaxFilesAhead, until the consumer has
    // passed it: no memory grows with the number of files.
    std::vector<int64_t> m_sizes;
    std::mutex m_mutex;
    std::condition_variable m_room;
    qsizetype m_next = 0;    // the next file to ask for
    qsizetype m_reached = 0; // the consumer's position
    int64_t m_bytesAhead = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace tarvik
