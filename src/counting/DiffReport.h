#pragma once

#include "counting/VersionDiff.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace tarvik {

// The plain-text account of a version comparison, in the style of the count report: dash
// lines, right-aligned columns, and the modification size in KStep with the date.
class DiffTextReport : public DiffSink {
public:
    using Append = std::function<void(const QString&)>;

    // `date` and `decimalPoint` default as in the count report.
    explicit DiffTextReport(Append append, QString date = {}, QString decimalPoint = {});

    void diffStarted(qsizetype fileCount) override;
    void fileCompared(qsizetype index, const FileChange& change) override;
    void diffFinished(const DiffSummary& summary) override;

private:
    Append m_append;
    QString m_date;
    QString m_decimalPoint;
};

// The comparison as CSV rows (UTF-8, CR LF): a header, one row per file, no totals row.
class DiffCsv : public DiffSink {
public:
    using Write = std::function<void(const QByteArray&)>;
    explicit DiffCsv(Write write) : m_write(std::move(write)) {}

    static QByteArray header();
    static QByteArray row(const FileChange& change);

    void diffStarted(qsizetype) override { m_write(header()); }
    void fileCompared(qsizetype, const FileChange& change) override { m_write(row(change)); }

private:
    Write m_write;
};

} // namespace tarvik
