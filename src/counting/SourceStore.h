#pragma once

#include "counting/SourceFile.h"

#include <QString>

#include <string>
#include <vector>

namespace tarvik {

// Where the bytes of listed files come from: the file system, or the objects of a revision.
// Runs call it from several threads at once.
class SourceStore {
public:
    virtual ~SourceStore() = default;
    // Only whether `path` names a file that could be counted, without reading it.
    virtual SourceFileCount::Status probe(const QString& path, QString* error) const = 0;
    virtual SourceFileCount count(const QString& path, const CommentSyntax& syntax, bool countSymbolLines,
                                  std::vector<std::string>* steps) const = 0;
    // The first `max` bytes of the file (fewer when it is shorter); empty when it cannot be read.
    // For typing a file by its "#!" line.
    virtual std::string head(const QString& path, size_t max) const
    {
        (void)path;
        (void)max;
        return {};
    }
    // True when both are files with the same bytes.
    virtual bool sameBytes(const QString& a, const QString& b) const = 0;
    // True when the store knows, without reading, that both hold the same bytes (the same
    // object of a repository); a comparison then counts the file once.
    // How much of `path` names the store's top rather than a folder in it ("REV:" of a revision).
    virtual qsizetype topLength(const QString& path) const
    {
        (void)path;
        return 0;
    }
    virtual bool knownIdentical(const QString& a, const QString& b) const
    {
        (void)a;
        (void)b;
        return false;
    }
};

// Paths are file names; special files are never read.
const SourceStore& fileSystemStore();

} // namespace tarvik
