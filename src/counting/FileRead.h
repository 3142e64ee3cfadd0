#pragma once

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
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

// The first `max` bytes (fewer in a shorter file) of `path`, relative to the folder open as
// `dirFd` (or AT_FDCWD); empty unless it is a regular file that can be read. A special file is
// never opened: opening one may wait, or do something.
inline std::string readHeadAt(int dirFd, const char* path, size_t max)
{
    struct stat st {};
    if (::fstatat(dirFd, path, &st, 0) != 0 || !S_ISREG(st.st_mode))
        return {};
    const Fd fd(::openat(dirFd, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    std::string head(max, '\0');
    const ssize_t n = readFully(fd.get(), head.data(), max);
    head.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return head;
}

} // namespace tarvik
