#pragma once

#include "output/CsvFormat.h"
#include "output/FigureTable.h"

#include <QByteArray>
#include <QString>

namespace tarvik {

// A table of figures written out as the command line and the report show it.

// CSV (UTF-8, CR LF): the columns' keys, then one record per row; KStep cells as "0.012".
QByteArray figureTableCsv(const FigureTable& table, CsvFormat::Reader reader = CsvFormat::Reader::Program);

// The text of a cell as CSV and JSON hold it: a path exactly, a KStep figure with a ".".
QString figureCellText(const FigureTable& table, size_t column, const FigureTable::Cell& cell);

// A block in the report's style: dash lines of 79, the figures right-aligned in columns of 10,
// then the names (the longest column, so it comes last and whole), the title over them. The
// total row (the one whose `row` cell is "total") stands below a dash line; the `row` column,
// for programs, is not shown. Lines end in CR LF.
QString figureTableReport(const FigureTable& table, const QString& decimalPoint);

} // namespace tarvik
