#pragma once

#include "counting/AnalysisRun.h"
#include "output/Workbook.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tarvik {

// Writes a run's results in one of the command line's formats, streaming as results arrive.
// `write` receives UTF-8 bytes. A workbook cannot be streamed: its writer keeps the sheets,
// which are saved once the run has completed.
class FormatWriter : public ResultSink {
public:
    using Write = std::function<void(const QByteArray&)>;
    enum class Format { Report, Csv, Json, Xlsx };

    static std::unique_ptr<FormatWriter> create(Format format, Write write);
    static bool parseFormat(const QString& name, Format& format);

    // Closes the output after the unexpected error (no totals).
    virtual void runFailed(const RunError& error) = 0;
    // Generated files are kept out of the totals: the report tells their figures apart.
    virtual void separateGenerated() {}
    // Asked about generated files: the CSV gains its `generated` column (JSON always has it).
    virtual void flagGenerated() {}
    // The sheets of a workbook format, handed over once; none for the streamed formats.
    virtual std::vector<WorkbookSheet> takeSheets() { return {}; }
};

// A JSON string literal of the text, as UTF-8.
QByteArray jsonString(const QString& text);

} // namespace tarvik
