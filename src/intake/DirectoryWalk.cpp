#include "intake/DirectoryWalk.h"

#include "config/NativePath.h"
#include "counting/FileRead.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <system_error>
#include <thread>
#include <sys/stat.h>

namespace tarvik {

namespace {

std::string_view extensionOf(std::string_view name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    return name.substr(dot + 1);
}

class Dir {
public:
    explicit Dir(const std::string& path) : m_dir(::opendir(path.empty() ? "/" : path.c_str())) {}
    ~Dir()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

bool isAscii(std::string_view s)
{
    for (unsigned char c : s) {
        if (c >= 0x80)
            return false;
    }
    return true;
}

// prefix + name in one allocation: most names are ASCII and need no decoding.
QString joinPath(const QString& prefix, const std::string& name)
{
    if (!isAscii(name))
        return prefix + pathFromNative(name);
    QString path(prefix.size() + static_cast<qsizetype>(name.size()), Qt::Uninitialized);
    QChar* out = path.data();
    std::copy(prefix.cbegin(), prefix.cend(), out);
    out += prefix.size();
    for (unsigned char c : name)
        *out++ = QChar(static_cast<char16_t>(c));
    return path;
}

} // namespace

QString ExtensionOf(const QString& name)
{
    qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
}

DirectoryWalk::DirectoryWalk(QStringList extensions, bool includeSubdirectories)
    : DirectoryWalk(SearchedTypes{std::move(extensions), {}, {}}, includeSubdirectories)
{
}

DirectoryWalk::DirectoryWalk(const SearchedTypes& types, bool includeSubdirectories)
    : m_interpreters(types.interpreters), m_subdirectories(includeSubdirectories)
{
    for (const QString& e : types.extensions)
        m_extensions.push_back(pathToNative(e));
    for (const std::string& e : m_extensions)
        m_extensionSet.insert(e);
    for (const QString& n : types.names)
        m_names.push_back(pathToNative(n));
    for (const std::string& n : m_names)
        m_nameSet.insert(n);
}

bool DirectoryWalk::takesByInterpreter(int dirFd, const char* name) const
{
    const QString interpreter = interpreterOfHead(readHeadAt(dirFd, name, kInterpreterHeadBytes));
    return !interpreter.isEmpty()
           && (m_interpreters.contains(interpreter) || m_interpreters.contains(interpreterWithoutVersion(interpreter)));
}

WalkReport DirectoryWalk::walk(const QString& root, const Found& found) const
{
    WalkReport report;
    std::string start = pathToNative(root);
    if (!start.empty() && start.back() == '/')
        start.pop_back();

    const std::unique_ptr<WalkFilter> filter = m_filter ? m_filter(start) : nullptr;
    // Each folder to list with its path relative to the root ("" for the root itself).
    std::vector<std::pair<std::string, std::string>> pending{{start, std::string()}};
    std::vector<std::string> files;
    std::vector<std::string> subdirs;
    std::vector<std::string> tooLong;
    while (!pending.empty()) {
        // Plain names, not a structured binding: the lambdas below capture them.
        std::string dir = std::move(pending.back().first);
        std::string relative = std::move(pending.back().second);
        pending.pop_back();
        files.clear();
        subdirs.clear();
        tooLong.clear();
        {
            Dir handle(dir);
            if (!handle.get()) {
                report.skipped.append({pathFromNative(dir.empty() ? "/" : dir),
                                       QString::fromLocal8Bit(std::strerror(errno))});
                continue;
            }
            if (filter)
                filter->entering(relative, dir);
            auto excluded = [&](std::string_view name, bool directory) {
                if (!filter)
                    return false;
                std::string path = relative;
                if (!path.empty())
                    path += '/';
                path += name;
                return filter->excludes(path, directory);
            };
            const int dirFd = ::dirfd(handle.get());
            errno = 0;
            while (dirent* entry = ::readdir(handle.get())) {
                std::string_view name(entry->d_name);
                if (name == "." || name == "..")
                    continue;
                unsigned char type = entry->d_type;
                if (type == DT_LNK || type == DT_UNKNOWN) {
                    // A link counts as what it leads to; a link to a directory is left out.
                    struct stat st {};
                    if (type == DT_UNKNOWN && ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0
                        && !S_ISLNK(st.st_mode)) {
                        type = S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
                    } else if (::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
                        continue;
                    } else {
                        type = DT_REG;
                    }
                }
                if (type == DT_DIR) {
                    if (m_subdirectories && !isVersionControlFolder(name) && !excluded(name, true))
                        subdirs.emplace_back(name);
                } else {
                    // What is left out on purpose is not counted as passed over either.
                    if (excluded(name, false))
                        continue;
                    std::string_view ext = extensionOf(name);
                    const bool taken = m_nameSet.count(name) != 0 || (!ext.empty() && m_extensionSet.count(ext) != 0)
                                       || (!m_interpreters.isEmpty() && name.find('.') == std::string_view::npos
                                           && takesByInterpreter(dirFd, entry->d_name));
                    if (!taken) {
                        struct stat st {};
                        const int64_t bytes = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 ? st.st_size : 0;
                        std::string kind = UnregisteredFiles::kindOf(name);
                        report.unregistered.add(kind, bytes);
                        if (m_listUnregistered) {
                            std::string path = relative;
                            if (!path.empty())
                                path += '/';
                            path += name;
                            report.unregisteredFiles.push_back({std::move(path), std::move(kind), bytes});
                        }
                        continue;
                    }
                    // The path is all that travels on, and open() takes no longer one: such a
                    // file is reported like a directory that cannot be listed, not as missing.
                    if (dir.size() + 1 + name.size() >= PATH_MAX)
                        tooLong.emplace_back(name);
                    else
                        files.emplace_back(name);
                }
            }
        }
        if (!tooLong.empty()) {
            std::sort(tooLong.begin(), tooLong.end());
            const QString reason = QString::fromLocal8Bit(std::strerror(ENAMETOOLONG));
            for (const std::string& f : tooLong)
                report.skipped.append({pathFromNative(dir + '/' + f), reason, true});
        }
        // Listings come in no fixed order; sorting by name keeps the result repeatable.
        std::sort(files.begin(), files.end());
        if (!files.empty()) {
            const QString prefix = pathFromNative(dir) + u'/';
            for (const std::string& f : files) {
                found(joinPath(prefix, f));
                ++report.filesTaken;
            }
        }
        std::sort(subdirs.begin(), subdirs.end());
        for (auto it = subdirs.rbegin(); it != subdirs.rend(); ++it)
            pending.emplace_back(dir + '/' + *it, relative.empty() ? *it : relative + '/' + *it);
    }
    return report;
}

WalkReport DirectoryWalk::walkConcurrently(const QString& root, const TakeBatch& take) const
{
    constexpr qsizetype kBatch = 512;
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<QStringList> batches;
    bool finished = false;
    WalkReport report;

    auto produce = [&] {
        QStringList batch;
        auto hand = [&] {
            {
                std::lock_guard lock(mutex);
                batches.push_back(std::move(batch));
            }
            ready.notify_one();
            batch = QStringList();
        };
        report = walk(root, [&](const QString& path) {
            batch.append(path);
            if (batch.size() >= kBatch)
                hand();
        });
        if (!batch.isEmpty())
            hand();
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        ready.notify_one();
    };
    std::thread walker;
    try {
        walker = std::thread(produce);
    } catch (const std::system_error&) {
        produce(); // no thread to spare: walk first, then hand over
    }

    for (;;) {
        QStringList batch;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return finished || !batches.empty(); });
            if (batches.empty())
                break;
            batch = std::move(batches.front());
            batches.pop_front();
        }
        take(batch);
    }
    if (walker.joinable())
        walker.join();
    return report;
}

} // namespace tarvik
