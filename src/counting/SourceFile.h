#pragma once

#include "config/CommentSyntax.h"
#include "counting/FileCounts.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// What reading one listed path gave.
struct SourceFileCount {
    enum class Status {
        Counted,
        Abandoned,  // the pass limit was reached
        NotAFile,   // absent, or not a regular file (directory, FIFO, device...)
        Unreadable, // exists but could not be opened or read
    };
    Status status = Status::NotAFile;
    FileCounts counts;
    bool generated = false; // its first lines carry a code generator's mark
    QString error; // for Unreadable: the reason
};

// Only the regular file test, for a path that will not be read.
SourceFileCount::Status probeSourceFile(const std::string& nativePath, QString* error);

// Opens, decodes (see SourceEncoding) and counts one file. Special files are never opened for
// reading; large files are read in pieces so memory stays bounded by the longest line. With
// `steps`, the step text of every executable line is collected there too.
SourceFileCount countSourceFile(const std::string& nativePath, const CommentSyntax& syntax, bool countSymbolLines,
                                std::vector<std::string>* steps = nullptr);

// The same count for bytes held in memory (a file of a revision, say), which are exactly what
// the file would hold on disk.
SourceFileCount countSourceBytes(std::string_view bytes, const CommentSyntax& syntax, bool countSymbolLines,
                                 std::vector<std::string>* steps = nullptr);

// The same count, and the number (from 0) of every executable line in `lines`, in order: the
// lines each step stands on. Lines end as the counting ends them (CR LF, lone CR, lone LF).
SourceFileCount executableLinesOfBytes(std::string_view bytes, const CommentSyntax& syntax, bool countSymbolLines,
                                       std::vector<int64_t>& lines, std::vector<std::string>* steps = nullptr);

} // namespace tarvik
