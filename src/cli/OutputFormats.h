#pragma once

#include "counting/AnalysisRun.h"
#include "intake/UnregisteredFiles.h"
#include "output/CsvFormat.h"
#include "output/Workbook.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tarvik {

class SummarySet;

// Writes a run's results in one of the command line's formats, streaming as results arrive.
// `write` receives UTF-8 bytes. A workbook cannot be streamed: its writer keeps the sheets,
// which are saved once the run has completed.
class FormatWriter : public ResultSink {
public:
    using Write = std::function<void(const QByteArray&)>;
    enum class Format { Report, Csv, Json, Xlsx, Markdown, Html };

    // `date` is the report's date; null for today's. `reader` is who reads a CSV.
    static std::unique_ptr<FormatWriter> create(Format format, Write write, const QString& date = {},
                                                CsvFormat::Reader reader = CsvFormat::Reader::Program);
    static bool parseFormat(const QString& name, Format& format);

    // Closes the output after the unexpected error (no totals).
    virtual void runFailed(const RunError& error) = 0;
    // Generated files are kept out of the totals: the report tells their figures apart.
    virtual void separateGenerated() {}
    // Asked about generated files: the CSV gains its `generated` column (JSON always has it).
    virtual void flagGenerated() {}
    // Subtotals to write at the end (the set must outlive the run): the report and JSON add them
    // after the totals, CSV writes them instead of the rows of the files.
    void setSummaries(const SummarySet* summaries) { m_summaries = summaries; }
    // The files the folder search passed over, for the formats that carry them (JSON); it must
    // outlive the run.
    void setUnregistered(const UnregisteredFiles* files) { m_unregistered = files; }

    // The sheets of a workbook format, handed over once; none for the streamed formats.
    virtual std::vector<WorkbookSheet> takeSheets() { return {}; }

    // Each file's category, for the JSON's `category` and, with `csvColumn`, a last CSV column.
    using Categorize = std::function<QString(const FileResult&)>;
    void setCategories(Categorize categorize, bool csvColumn)
    {
        m_categorize = std::move(categorize);
        m_categoryColumn = csvColumn;
    }

protected:
    const SummarySet* m_summaries = nullptr;
    const UnregisteredFiles* m_unregistered = nullptr;
    Categorize m_categorize;
    bool m_categoryColumn = false;
};

// The totals and subtotals as a document (Markdown or HTML), written once the run is complete;
// `title` and `subtitle` head it, `chartKey` names the column its charts draw.
struct FigureDocument;
void writeFigureDocument(FormatWriter::Format format, const FormatWriter::Write& write, FigureDocument document);

// A JSON string literal of the text, as UTF-8.
QByteArray jsonString(const QString& text);

} // namespace tarvik
