#include "config/AtomicFile.h"

#include "config/NativePath.h"

#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

namespace {

constexpr size_t kBufferSize = 64 * 1024;

// `path` with its symbolic links followed as far as they lead; a name where nothing is stays.
std::string followLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<size_t>(n) == sizeof target)
            return path;
        std::string next(target, static_cast<size_t>(n));
        if (next.front() != '/') {
            const size_t slash = path.rfind('/');
            next.insert(0, slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
        }
        path = std::move(next);
    }
    return path; // a loop: creating the temporary file beside it reports it
}

mode_t modeOf(QFileDevice::Permissions p)
{
    const auto bits = static_cast<unsigned>(p.toInt());
    return static_cast<mode_t>((((bits >> 12) | (bits >> 8)) & 7) << 6 | ((bits >> 4) & 7) << 3 | (bits & 7));
}

} // namespace

OutputFile::OutputFile(const QString& path) : m_path(path) {}

OutputFile::~OutputFile() { cancel(); }

bool OutputFile::fail(int err, QString* error)
{
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(err));
    return false;
}

bool OutputFile::open(QString* error, std::optional<QFileDevice::Permissions> mode)
{
    cancel();
    m_writeError = 0;
    const std::string native = pathToNative(m_path);
    struct stat st {};
    const bool exists = ::stat(native.c_str(), &st) == 0;
    if (exists) {
        if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
            m_fd = ::open(native.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            return m_fd >= 0 || fail(errno, error);
        }
        if (S_ISDIR(st.st_mode))
            return fail(EISDIR, error);
        if (!S_ISREG(st.st_mode)) {
            if (error)
                *error = QStringLiteral("Not a regular file, FIFO or character device");
            return false;
        }
        // Only the folder's rights matter to a rename: a read-only file stays so.
        if (::access(native.c_str(), W_OK) != 0)
            return fail(errno, error);
    } else if (errno != ENOENT) {
        return fail(errno, error);
    }

    m_final = followLinks(native);
    // The final mode is set before any byte is written, so the data never passes through a
    // more open state; a new file without `mode` gets the umask's.
    const bool setMode = exists || mode;
    while (m_fd < 0) {
        m_temporary = m_final + '.' + std::to_string(QRandomGenerator::global()->generate());
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, setMode ? 0600 : 0666);
        if (m_fd < 0 && errno != EEXIST) {
            m_temporary.clear();
            return fail(errno, error);
        }
    }
    if (setMode && ::fchmod(m_fd, mode ? modeOf(*mode) : st.st_mode & 07777) != 0) {
        const int err = errno;
        cancel();
        return fail(err, error);
    }
    m_buffer.reserve(kBufferSize);
    return true;
}

bool OutputFile::writeAll(const char* data, size_t size)
{
    while (size > 0 && m_writeError == 0) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n < 0 && errno != EINTR)
            m_writeError = errno;
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    return m_writeError == 0;
}

bool OutputFile::write(const QByteArray& bytes)
{
    if (m_fd < 0 || m_writeError != 0)
        return false;
    const auto size = static_cast<size_t>(bytes.size());
    if (m_buffer.size() + size < kBufferSize) {
        m_buffer.append(bytes.constData(), size);
        return true;
    }
    const bool flushed = writeAll(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return flushed && writeAll(bytes.constData(), size);
}

bool OutputFile::commit(QString* error)
{
    if (m_fd < 0)
        return fail(EBADF, error);
    int err = writeAll(m_buffer.data(), m_buffer.size()) ? 0 : m_writeError;
    m_buffer.clear();
    // A full disk may show only when the data reaches it.
    if (err == 0 && !m_temporary.empty() && ::fsync(m_fd) != 0)
        err = errno;
    if (::close(m_fd) != 0 && err == 0 && errno != EINTR)
        err = errno;
    m_fd = -1;
    if (err == 0 && !m_temporary.empty() && ::rename(m_temporary.c_str(), m_final.c_str()) != 0)
        err = errno;
    if (err != 0) {
        cancel();
        return fail(err, error);
    }
    m_temporary.clear();
    return true;
}

void OutputFile::cancel()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
    m_buffer.clear();
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error,
                         std::optional<QFileDevice::Permissions> mode)
{
    OutputFile file(path);
    if (!file.open(error, mode))
        return false;
    file.write(bytes);
    return file.commit(error);
}

} // namespace tarvik
