#pragma once

#include "counting/VersionDiff.h"

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

} // namespace tarvik
