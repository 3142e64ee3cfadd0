#include "counting/SourceStore.h"

#include "counting/FileRead.h"
#include "config/NativePath.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace tarvik {

namespace {

class FileSystemStore : public SourceStore {
public:
    SourceFileCount::Status probe(const QString& path, QString* error) const override
    {
        return probeSourceFile(pathToNative(path), error);
    }

    SourceFileCount count(const QString& path, const CommentSyntax& syntax, bool countSymbolLines,
                          std::vector<std::string>* steps) const override
    {
        return countSourceFile(pathToNative(path), syntax, countSymbolLines, steps);
    }

    std::string head(const QString& path, size_t max) const override
    {
        return readHeadAt(AT_FDCWD, pathToNative(path).c_str(), max);
    }

    bool sameBytes(const QString& a, const QString& b) const override
    {
        auto openForReading = [](const QString& path) {
            return ::open(pathToNative(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        };
        Fd fa(openForReading(a)), fb(openForReading(b));
        struct stat sa {}, sb {};
        if (fa.get() < 0 || fb.get() < 0 || ::fstat(fa.get(), &sa) != 0 || ::fstat(fb.get(), &sb) != 0
            || !S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size)
            return false;
        std::vector<char> x(1 << 16), y(1 << 16);
        for (;;) {
            const ssize_t n = readFully(fa.get(), x.data(), x.size());
            const ssize_t m = readFully(fb.get(), y.data(), y.size());
            if (n < 0 || m < 0 || n != m || std::memcmp(x.data(), y.data(), static_cast<size_t>(n)) != 0)
                return false;
            if (n == 0)
                return true;
        }
    }
};

} // namespace

const SourceStore& fileSystemStore()
{
    static const FileSystemStore store;
    return store;
}

} // namespace tarvik
