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
    // `date` is the report's date; null for today's.
    static std::unique_ptr<DiffFormatWriter> create(FormatWriter::Format format, Write write, const QString& date = {},
                                                    CsvFormat::Reader reader = CsvFormat::Reader::Program);

    // Closes the output after the unexpected error (no totals).
    virtual void diffFailed(const RunError& error) = 0;
    // Subtotals to write at the end, as FormatWriter::setSummaries.
    void setSummaries(const SummarySet* summaries) { m_summaries = summaries; }
    // The files the walks passed over, as FormatWriter::setUnregistered.
    void setUnregistered(const UnregisteredFiles* files) { m_unregistered = files; }

    // The sheets of a workbook format, handed over once; none for the streamed formats.
    virtual std::vector<WorkbookSheet> takeSheets() { return {}; }

    // Each pair's category, as FormatWriter::setCategories.
    using Categorize = std::function<QString(const FileChange&)>;
    void setCategories(Categorize categorize, bool csvColumn)
    {
        m_categorize = std::move(categorize);
        m_categoryColumn = csvColumn;
    }

protected:
    Categorize m_categorize;
    bool m_categoryColumn = false;
    const SummarySet* m_summaries = nullptr;
    const UnregisteredFiles* m_unregistered = nullptr;
};

} // namespace tarvik
