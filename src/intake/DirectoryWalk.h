#pragma once

#include "config/FileTypeTable.h"
#include "intake/PathPatterns.h"
#include "intake/UnregisteredFiles.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tarvik {

// The characters after the last "." of a file name, letter case kept; empty when the name has
// no "." or ends with one.
QString ExtensionOf(const QString& name);

struct SkippedDirectory {
    QString path;
    QString reason;
    bool file = false; // a file of a registered type whose path is too long to be opened
};

struct WalkReport {
    qsizetype filesTaken = 0;
    QList<SkippedDirectory> skipped; // directories that could not be listed, files that cannot be opened
    UnregisteredFiles unregistered;  // files whose type the search does not take
    std::vector<UnregisteredFile> unregisteredFiles; // each of them, when the walk was asked to list them
};

// Walks a directory tree in pre-order: a directory's files (by name) before its subdirectories
// (by name, each with its whole tree). A file is taken when its name is exactly one of the
// types' names, or its extension one of their extensions, or, its name having no ".", the
// interpreter of its "#!" line (read only then) is one of their interpreters (or is one
// without its version digits). Symbolic links to directories are neither entered nor taken; any other entry
// that is not a directory counts as a file. A directory that cannot be listed is skipped and
// reported, and the walk goes on; so is a file whose path is PATH_MAX bytes or longer. Folders
// of version control systems are never entered, and a filter may leave out more.
class DirectoryWalk {
public:
    using Found = std::function<void(const QString& path)>;

    DirectoryWalk(QStringList extensions, bool includeSubdirectories);
    DirectoryWalk(const SearchedTypes& types, bool includeSubdirectories);
    DirectoryWalk(const DirectoryWalk&) = delete; // the set holds views of the list
    DirectoryWalk& operator=(const DirectoryWalk&) = delete;

    // Makes the filter of each walk from its root (native bytes); the filter may learn as it
    // goes (the .gitignore files it meets).
    using FilterFactory = std::function<std::unique_ptr<WalkFilter>(const std::string& root)>;
    void setFilter(FilterFactory factory) { m_filter = std::move(factory); }
    // The report then lists each file passed over, not only their tally.
    void listUnregisteredFiles() { m_listUnregistered = true; }

    // One trailing "/" of the root is dropped, so "/" walks as the file-system root. Folders are
    // listed by several threads at once; `found` is called on this thread, in the walk's order.
    WalkReport walk(const QString& root, const Found& found) const;

    // The same walk on a worker thread, while `take` receives the paths found on the calling
    // thread, in walk order, a batch at a time: listing the directories and registering their
    // files then overlap.
    using TakeBatch = std::function<void(const QStringList& paths)>;
    WalkReport walkConcurrently(const QString& root, const TakeBatch& take) const;

    // How many threads list folders at once (at least 1). Listing waits on the disk when the
    // tree is not cached, so more than there are cores pays.
    static constexpr int kDefaultListers = 16;
    void setListers(int listers) { m_listers = std::max(1, listers); }

private:
    struct Folder;
    void list(Folder& folder, WalkFilter* filter, std::shared_mutex& filterLock) const;
    bool takesByInterpreter(int dirFd, const char* name) const;

    std::vector<std::string> m_extensions;
    std::unordered_set<std::string_view> m_extensionSet; // views of m_extensions, looked up per file
    std::vector<std::string> m_names;
    std::unordered_set<std::string_view> m_nameSet; // views of m_names
    QStringList m_interpreters;
    bool m_subdirectories;
    bool m_listUnregistered = false;
    int m_listers = kDefaultListers;
    FilterFactory m_filter;
};

} // namespace tarvik
