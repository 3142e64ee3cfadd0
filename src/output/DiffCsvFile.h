#pragma once

#include "counting/VersionDiff.h"
#include "output/CsvFormat.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace tarvik {

// The comparison as CSV rows (UTF-8, CR LF): a header, one row per file, no totals row. The
// status is there twice: as people read it, and as `status_code` for programs. Columns added
// later go last (`status_code`, then `reused`), so every column a spreadsheet or a script used
// before keeps its place.
class DiffCsv : public DiffSink {
public:
    using Write = std::function<void(const QByteArray&)>;
    explicit DiffCsv(Write write, CsvFormat::Reader reader = CsvFormat::Reader::Program)
        : m_write(std::move(write)), m_reader(reader)
    {
    }

    static QByteArray header();
    static QByteArray row(const FileChange& change, CsvFormat::Reader reader = CsvFormat::Reader::Program);

    void diffStarted(qsizetype) override { m_write(header()); }
    void fileCompared(qsizetype, const FileChange& change) override { m_write(row(change, m_reader)); }

private:
    Write m_write;
    CsvFormat::Reader m_reader;
};

// Writes a comparison as CSV for spreadsheet programs: a UTF-8 byte order mark (so they read
// the Japanese texts as UTF-8), then exactly the rows `tarvik-count --diff -f csv --bom` prints.
// The file is replaced atomically. Returns false with the reason in `error` when it could not be
// written.
bool SaveDiffCsv(const QString& path, const QList<FileChange>& changes, QString* error);

} // namespace tarvik
