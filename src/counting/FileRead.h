#pragma once

#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

namespace tarvik {

// An open file descriptor, closed when it goes.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Reads up to `want` bytes, fewer only at the end of the file; returns the count, or -1 with
// errno set.
inline ssize_t readFully(int fd, char* buf, size_t want)
{
    size_t got = 0;
    while (got < want) {
        const ssize_t n = ::read(fd, buf + got, want - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

} // namespace tarvik
