#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvik {

// One kind of file a folder search passed over, with how many and how large.
struct UnregisteredKind {
    QString kind; // ".json", or the whole name of a file without an extension: "Makefile"
    qsizetype files = 0;
    int64_t bytes = 0;
};

// One file passed over, by its path relative to the walked folder (native bytes); a comparison
// needs them to count a file of both versions once.
struct UnregisteredFile {
    std::string relative;
    std::string kind;
    int64_t bytes = 0;
};

// The files a folder search passed over because their type is not registered, or registered
// but not taken by searches; by kind. Files left out on purpose (exclusions, .gitignore,
// version-control folders) are not among them.
class UnregisteredFiles {
public:
    // The kind of a file name (native bytes): ".ext", or the whole name when it has no extension.
    static std::string kindOf(std::string_view name);

    void add(const std::string& kind, int64_t bytes, qsizetype files = 1);
    void add(const UnregisteredFiles& other);
    bool empty() const { return m_files == 0; }
    qsizetype files() const { return m_files; }
    // Most bytes first; equal sizes by more files, then by kind.
    std::vector<UnregisteredKind> kinds() const;

    // The files of the two versions of a comparison, a path in both counted once, as its newer
    // version.
    static UnregisteredFiles ofBoth(const std::vector<UnregisteredFile>& older, const std::vector<UnregisteredFile>& newer);

private:
    struct Figures {
        qsizetype files = 0;
        int64_t bytes = 0;
    };
    std::unordered_map<std::string, Figures> m_kinds;
    qsizetype m_files = 0;
};

// A size as people read it: "950 B", "3.1 MB", "210 KB" (units of 1,024; one decimal below 10).
QString readableBytes(int64_t bytes);

// The line the command line prints about them: the number of files and the three biggest kinds;
// empty when there are none.
QString unregisteredLine(const UnregisteredFiles& files);

} // namespace tarvik
