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
#include <memory>
#include <mutex>
#include <shared_mutex>
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

// One folder of a walk: what its listing found, judged, for the walk to report in its order.
struct DirectoryWalk::Folder {
    std::string dir;      // the path to list
    std::string relative; // from the walked folder, "" for itself
    bool listed = false;  // the fields below are final
    int error = 0;        // errno when it could not be listed
    std::vector<std::string> files, tooLong; // by name
    std::vector<UnregisteredFile> unregistered; // relative paths only when they are to be listed
    std::vector<std::unique_ptr<Folder>> subfolders; // by name
};

void DirectoryWalk::list(Folder& folder, WalkFilter* filter, std::shared_mutex& filterLock) const
{
    const std::string& dir = folder.dir;
    const std::string& relative = folder.relative;
    Dir handle(dir);
    if (!handle.get()) {
        folder.error = errno;
        return;
    }
    // Read first, judged after: the filter is shared by every folder the walk lists at a time.
    struct Entry {
        std::string name;
        unsigned char type;
    };
    std::vector<Entry> entries;
    const int dirFd = ::dirfd(handle.get());
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
        if (type == DT_DIR && (!m_subdirectories || isVersionControlFolder(name)))
            continue;
        entries.push_back({std::string(name), static_cast<unsigned char>(type == DT_DIR ? DT_DIR : DT_REG)});
    }
    auto pathOf = [&](std::string_view name) {
        std::string path = relative;
        if (!path.empty())
            path += '/';
        path += name;
        return path;
    };
    if (filter) {
        {
            std::unique_lock lock(filterLock);
            filter->entering(relative, dir);
        }
        std::shared_lock lock(filterLock);
        // What is left out on purpose is not counted as passed over either.
        std::erase_if(entries, [&](const Entry& e) { return filter->excludes(pathOf(e.name), e.type == DT_DIR); });
    }
    std::vector<std::string> subdirs;
    for (Entry& e : entries) {
        const std::string_view name = e.name;
        if (e.type == DT_DIR) {
            subdirs.push_back(std::move(e.name));
            continue;
        }
        std::string_view ext = extensionOf(name);
        const bool taken = m_nameSet.count(name) != 0 || (!ext.empty() && m_extensionSet.count(ext) != 0)
                           || (!m_interpreters.isEmpty() && name.find('.') == std::string_view::npos
                               && takesByInterpreter(dirFd, e.name.c_str()));
        if (!taken) {
            struct stat st {};
            const int64_t bytes = ::fstatat(dirFd, e.name.c_str(), &st, 0) == 0 ? st.st_size : 0;
            folder.unregistered.push_back({m_listUnregistered ? pathOf(name) : std::string(),
                                           UnregisteredFiles::kindOf(name), bytes});
            continue;
        }
        // The path is all that travels on, and open() takes no longer one: such a file is
        // reported like a directory that cannot be listed, not as missing.
        if (dir.size() + 1 + name.size() >= PATH_MAX)
            folder.tooLong.push_back(std::move(e.name));
        else
            folder.files.push_back(std::move(e.name));
    }
    // Listings come in no fixed order; sorting by name keeps the result repeatable.
    std::sort(folder.tooLong.begin(), folder.tooLong.end());
    std::sort(folder.files.begin(), folder.files.end());
    std::sort(subdirs.begin(), subdirs.end());
    for (const std::string& sub : subdirs) {
        auto child = std::make_unique<Folder>();
        child->dir = dir + '/' + sub;
        child->relative = relative.empty() ? sub : relative + '/' + sub;
        folder.subfolders.push_back(std::move(child));
    }
}

WalkReport DirectoryWalk::walk(const QString& root, const Found& found) const
{
    WalkReport report;
    std::string start = pathToNative(root);
    if (!start.empty() && start.back() == '/')
        start.pop_back();
    const std::unique_ptr<WalkFilter> filter = m_filter ? m_filter(start) : nullptr;
    std::shared_mutex filterLock;

    // Folders are listed by several threads at once, so that the reads of a tree the disk must
    // still bring overlap; the listings are reported here in the walk's own order. The threads
    // take the folder found last first, which is the order the report needs them in.
    Folder top;
    top.dir = start;
    std::mutex mutex;
    std::condition_variable listedOne, queued;
    std::vector<Folder*> toList{&top};
    bool stopping = false;
    auto lister = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            queued.wait(lock, [&] { return stopping || !toList.empty(); });
            if (stopping)
                return;
            Folder* folder = toList.back();
            toList.pop_back();
            lock.unlock();
            list(*folder, filter.get(), filterLock);
            lock.lock();
            folder->listed = true;
            for (auto it = folder->subfolders.rbegin(); it != folder->subfolders.rend(); ++it)
                toList.push_back(it->get());
            if (!folder->subfolders.empty())
                queued.notify_all();
            listedOne.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < m_listers; ++i) {
        try {
            threads.emplace_back(lister);
        } catch (const std::system_error&) {
            break;
        }
    }

    std::vector<Folder*> order{&top};
    while (!order.empty()) {
        Folder* folder = order.back();
        order.pop_back();
        if (threads.empty()) { // not one thread could be started: the listing is done here
            list(*folder, filter.get(), filterLock);
        } else {
            std::unique_lock lock(mutex);
            listedOne.wait(lock, [&] { return folder->listed; });
        }
        if (folder->error != 0) {
            const std::string& dir = folder->dir;
            report.skipped.append({pathFromNative(dir.empty() ? "/" : dir), QString::fromLocal8Bit(std::strerror(folder->error))});
        }
        if (!folder->tooLong.empty()) {
            const QString reason = QString::fromLocal8Bit(std::strerror(ENAMETOOLONG));
            for (const std::string& f : folder->tooLong)
                report.skipped.append({pathFromNative(folder->dir + '/' + f), reason, true});
        }
        for (UnregisteredFile& file : folder->unregistered) {
            report.unregistered.add(file.kind, file.bytes);
            if (m_listUnregistered)
                report.unregisteredFiles.push_back(std::move(file));
        }
        if (!folder->files.empty()) {
            const QString prefix = pathFromNative(folder->dir) + u'/';
            for (const std::string& f : folder->files) {
                found(joinPath(prefix, f));
                ++report.filesTaken;
            }
        }
        for (auto it = folder->subfolders.rbegin(); it != folder->subfolders.rend(); ++it)
            order.push_back(it->get());
        // What is reported is let go; the subfolders live on in their parent until the end.
        folder->files = {};
        folder->tooLong = {};
        folder->unregistered = {};
    }
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    queued.notify_all();
    for (std::thread& t : threads)
        t.join();
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
