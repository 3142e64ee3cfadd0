#pragma once

#include "counting/AnalysisRun.h"

#include <QByteArray>
#include <QString>
#include <QList>
#include <QStringList>

namespace tarvik {

// Result rows as spreadsheets take them: CSV files (RFC 4180, CR LF) and tab-separated text for
// the clipboard. The command line's csv output and the window's CSV save are built here, so the
// two hold the same rows.
namespace CsvFormat {

// Written before the rows of a saved file, so spreadsheet programs read the text as UTF-8.
inline constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// Who reads the CSV. A program takes every field byte for byte. A spreadsheet program runs a
// cell that begins with "=", "+", "-", "@", a tab or a CR as a formula (a file named
// =HYPERLINK(...).c would be a link): for it such a field gets a leading "'", which makes the
// cell text and is not shown.
enum class Reader { Program, Spreadsheet };

// A field in UTF-8, in double quotes (inner quotes doubled) when it holds a comma, a quote or a
// line break. Names carried with escaped non-UTF-8 bytes come out as a saved report shows them.
QByteArray field(const QString& text, Reader reader = Reader::Program);
// Fields joined by commas, ended by CR LF.
QByteArray record(const QStringList& fields, Reader reader = Reader::Program);

// The columns of a result row, and the row of one result (ended by CR LF).
QStringList resultColumns();
QByteArray resultRecord(const FileResult& result, Reader reader = Reader::Program);

// A file for spreadsheet programs: the byte order mark, the column names, one row per result
// (for a spreadsheet: what would be a formula is text).
// Replaced atomically like a log; false with the reason in `error` when it could not be written.
bool SaveCsvFile(const QString& path, const QList<FileResult>& results, QString* error);

// A cell of tab-separated text, quoted like a CSV field when it holds a tab, a line break or a
// quote, so that a paste still gives one cell per column. Text is as `field` would write it.
QString tabField(const QString& text);
// Cells joined by tabs, ended by CR LF.
QString tabRecord(const QStringList& cells);

} // namespace CsvFormat

} // namespace tarvik
