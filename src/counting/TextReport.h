#pragma once

#include "counting/AnalysisRun.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace tarvik {

// The plain-text account of a run: header, one line per file, totals in KStep. Every piece is
// handed to `append` as it is written, so a caller can keep the text or stream it.
class TextReport : public ResultSink {
public:
    using Append = std::function<void(const QString&)>;

    // `date` and `decimalPoint` default to the system locale's short date of today and its
    // decimal point.
    explicit TextReport(Append append, QString date = {}, QString decimalPoint = {});

    void WriteReportHeader();
    void WriteReportLine(const FileResult& result);
    void WriteReportTotals(int64_t totalSteps);
    // After the totals, when generated files are kept out of them: their number and steps.
    void WriteGeneratedTotals(const RunSummary& summary);

    // Right alignment in 18: the last 18 characters after padding on the left.
    static QString rightAligned18(const QString& text, int padding);
    static QString kstepFigure(int64_t totalSteps, const QString& decimalPoint);
    static QString dashLine();
    static QString outcomeText(FileOutcome outcome); // the report's text for a result without counts

    void runStarted(qsizetype fileCount) override;
    void fileAnalysed(qsizetype index, const FileResult& result) override;
    void runFinished(const RunSummary& summary) override;

private:
    Append m_append;
    QString m_date;
    QString m_decimalPoint;
    qsizetype m_fileCount = 0;
};

} // namespace tarvik
