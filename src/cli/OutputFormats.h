#pragma once

#include "counting/AnalysisRun.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace tarvik {

// Writes a run's results in one of the command line's formats, streaming as results arrive.
// `write` receives UTF-8 bytes.
class FormatWriter : public ResultSink {
public:
    using Write = std::function<void(const QByteArray&)>;
    enum class Format { Report, Csv, Json };

    static std::unique_ptr<FormatWriter> create(Format format, Write write);
    static bool parseFormat(const QString& name, Format& format);

    // Closes the output after the unexpected error (no totals).
    virtual void runFailed(const RunError& error) = 0;
    // Generated files are kept out of the totals: the report tells their figures apart.
    virtual void separateGenerated() {}
    // Asked about generated files: the CSV gains its `generated` column (JSON always has it).
    virtual void flagGenerated() {}
};

// A JSON string literal of the text, as UTF-8.
QByteArray jsonString(const QString& text);

} // namespace tarvik
