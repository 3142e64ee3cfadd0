#include "config/AtomicFile.h"

#include "config/NativePath.h"

#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <iterator>
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

// The named temporaries on disk, for removePendingTemporaries(): a fixed table of atomics, as a
// signal handler may neither lock nor allocate. 0: free, 1: being filled in, 2: a name.
struct PendingName {
    std::atomic<int> state{0};
    char name[PATH_MAX];
};
PendingName g_pending[16];

int remember(const std::string& name)
{
    if (name.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < static_cast<int>(std::size(g_pending)); ++i) {
        int expected = 0;
        if (g_pending[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(g_pending[i].name, name.c_str(), name.size() + 1);
            g_pending[i].state.store(2);
            return i;
        }
    }
    return -1; // more files at once than slots: those are not removed on an interrupt
}

void forget(int& slot)
{
    if (slot >= 0)
        g_pending[slot].state.store(0);
    slot = -1;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, std::max<size_t>(slash, 1));
}

std::string randomName(const std::string& path, bool hidden)
{
    const size_t slash = path.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, base) + (hidden ? "." : "") + path.substr(base) + '.'
           + std::to_string(QRandomGenerator::global()->generate());
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
    int err = 0;
    if (!openUnnamed(folderOf(m_final), setMode ? 0600 : 0666, &err)) {
        if (err != 0)
            return fail(err, error);
        while (m_fd < 0) {
            m_temporary = randomName(m_final, false);
            m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, setMode ? 0600 : 0666);
            if (m_fd < 0 && errno != EEXIST) {
                m_temporary.clear();
                return fail(errno, error);
            }
        }
        m_slot = remember(m_temporary);
        m_writerPath = m_temporary;
    }
    if (setMode && ::fchmod(m_fd, mode ? modeOf(*mode) : st.st_mode & 07777) != 0) {
        const int err = errno;
        cancel();
        return fail(err, error);
    }
    m_buffer.reserve(kBufferSize);
    return true;
}

// An unnamed file in `folder` (O_TMPFILE). False with `err` 0 where the file system or the
// system has none, so that a named one is made instead.
bool OutputFile::openUnnamed(const std::string& folder, mode_t mode, int* err)
{
    m_fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (m_fd < 0) {
        // Not supported here; an older kernel takes the flag for O_DIRECTORY alone.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            *err = errno;
        return false;
    }
    // The commit links it in through /proc: without /proc it could not be.
    m_writerPath = "/proc/self/fd/" + std::to_string(m_fd);
    if (::access(m_writerPath.c_str(), F_OK) != 0) {
        ::close(m_fd);
        m_fd = -1;
        m_writerPath.clear();
        return false;
    }
    m_unnamed = true;
    return true;
}

// A link cannot replace a name: a new target is linked in directly, an existing one gets a
// hidden name first that is then renamed over it.
int OutputFile::linkIn()
{
    if (::linkat(AT_FDCWD, m_writerPath.c_str(), AT_FDCWD, m_final.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != EEXIST)
        return errno;
    for (;;) {
        m_temporary = randomName(m_final, true);
        if (::linkat(AT_FDCWD, m_writerPath.c_str(), AT_FDCWD, m_temporary.c_str(), AT_SYMLINK_FOLLOW) == 0)
            break;
        const int err = errno;
        m_temporary.clear();
        if (err != EEXIST)
            return err;
    }
    m_slot = remember(m_temporary);
    return ::rename(m_temporary.c_str(), m_final.c_str()) == 0 ? 0 : errno;
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
    const bool replacing = !m_writerPath.empty();
    if (err == 0 && replacing && ::fsync(m_fd) != 0)
        err = errno;
    // The unnamed file is linked in while its descriptor is still open.
    if (err == 0 && m_unnamed)
        err = linkIn();
    if (::close(m_fd) != 0 && err == 0 && errno != EINTR)
        err = errno;
    m_fd = -1;
    if (err == 0 && !m_unnamed && replacing && ::rename(m_temporary.c_str(), m_final.c_str()) != 0)
        err = errno;
    if (err != 0) {
        cancel();
        return fail(err, error);
    }
    forget(m_slot);
    m_temporary.clear();
    m_writerPath.clear();
    m_unnamed = false;
    return true;
}

void OutputFile::cancel()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    forget(m_slot);
    m_temporary.clear();
    m_writerPath.clear();
    m_unnamed = false;
    m_buffer.clear();
}

void removePendingTemporaries() noexcept
{
    for (PendingName& pending : g_pending) {
        if (pending.state.load() == 2)
            ::unlink(pending.name);
    }
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
