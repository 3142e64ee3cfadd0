#pragma once

#include "output/FigureTable.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace tarvik {

// Tables of figures as a document to read outside the program: Markdown for a CI job's summary
// or a merge request's comment, or one self-contained HTML page (no script, no network) with a
// bar chart drawn in inline SVG under each table of groups. The first table is the totals; the
// `row` column, for programs, is not shown.
struct FigureDocument {
    QString title;
    QString subtitle; // the date, the folders compared; may be empty
    std::vector<FigureTable> tables;
    // The column each chart draws (by key): "executable" for a count, "modified" for a comparison.
    QString chartKey;
};

QByteArray markdownDocument(const FigureDocument& document);
QByteArray htmlDocument(const FigureDocument& document);

// A figure with thousands separators, as people read it: 1,234,567; a KStep figure 1,234.567.
QString groupedFigure(const FigureTable::Column& column, const FigureTable::Cell& cell);

} // namespace tarvik
