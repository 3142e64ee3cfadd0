#pragma once

#include "counting/VersionDiff.h"
#include "output/PrintLayout.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tarvik {

// The printed comparison of two versions, on the pages of the result list's print: a heading on
// every page, one line per file, the totals last, 40 lines to a page. Columns are measured in
// character cells, a full-width character taking two, so that they line up in the print font.
class DiffPrintLayout {
public:
    static constexpr int kStatusCells = 8;
    static constexpr int kFigureCells = 8;  // each of the five step columns
    static constexpr int kPathCells = 36;   // what is left of the A4 line after the figures

    static QList<PrintPage> pages(const QList<FileChange>& changes, const DiffTotals& totals, const QString& date,
                                  const QString& decimalPoint);

    // One file: status, the old and new steps ("-" for a version that is not there), added,
    // changed and deleted steps, or the outcome text over the figures when the file was not
    // compared; then the relative path, its beginning cut to "..." when it does not fit.
    static QString rowText(const FileChange& change);
    // Two lines: the step sums with the modification size and the date, then the files per status.
    static QStringList totalsText(const DiffTotals& totals, const QString& date, const QString& decimalPoint);

    // Character cells a text takes in the print font.
    static int cells(const QString& text);

private:
    static void heading(PrintPage& page);
};

} // namespace tarvik
