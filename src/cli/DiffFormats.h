#pragma once

#include "cli/OutputFormats.h"
#include "counting/VersionDiff.h"

#include <memory>
#include <vector>

namespace tarvik {

// Writes a version comparison in one of the command line's formats, streaming as pairs arrive.
class DiffFormatWriter : public DiffSink {
public:
    using Write = FormatWriter::Write;
    static std::unique_ptr<DiffFormatWriter> create(FormatWriter::Format format, Write write);

    // Closes the output after the unexpected error (no totals).
    virtual void diffFailed(const RunError& error) = 0;
    // The sheets of a workbook format, handed over once; none for the streamed formats.
    virtual std::vector<WorkbookSheet> takeSheets() { return {}; }
};

} // namespace tarvik
