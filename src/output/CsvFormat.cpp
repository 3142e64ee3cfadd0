#include "output/CsvFormat.h"

#include "config/AtomicFile.h"
#include "config/NativePath.h"

namespace tarvik::CsvFormat {

namespace {

bool needsQuotes(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

bool startsFormula(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return false;
    const char c = bytes.front();
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

void appendField(QByteArray& line, const QString& text, Reader reader)
{
    QByteArray bytes = text.toUtf8();
    if (reader == Reader::Spreadsheet && startsFormula(bytes))
        bytes.prepend('\'');
    if (!needsQuotes(bytes)) {
        line += bytes;
        return;
    }
    line += '"';
    for (char c : bytes) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

} // namespace

QByteArray field(const QString& text, Reader reader)
{
    QByteArray bytes;
    appendField(bytes, text, reader);
    return bytes;
}

QByteArray record(const QStringList& fields, Reader reader)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        appendField(line, fields[i], reader);
    }
    return line + "\r\n";
}

QStringList resultColumns()
{
    return {QStringLiteral("path"),    QStringLiteral("program_id"), QStringLiteral("directory"),
            QStringLiteral("outcome"), QStringLiteral("executable"), QStringLiteral("comment"),
            QStringLiteral("total")};
}

QByteArray resultRecord(const FileResult& result, Reader reader)
{
    // Built in place: a CSV of a long list is written row by row this way, by both callers.
    QByteArray line;
    line.reserve(result.path.size() * 2 + 64);
    appendField(line, exportPath(result.path), reader);
    line += ',';
    appendField(line, exportPath(result.programId), reader);
    line += ',';
    appendField(line, exportPath(result.directory), reader);
    line += ',';
    line += tarvik::outcomeName(result.outcome).toLatin1();
    line += ',';
    line += QByteArray::number(result.counts.executable);
    line += ',';
    line += QByteArray::number(result.counts.comment);
    line += ',';
    line += QByteArray::number(result.counts.total);
    line += "\r\n";
    return line;
}

bool SaveCsvFile(const QString& path, const QList<FileResult>& results, QString* error)
{
    QByteArray bytes = QByteArray(kByteOrderMark) + record(resultColumns());
    for (const FileResult& result : results)
        bytes += resultRecord(result, Reader::Spreadsheet);
    return writeFileAtomically(path, bytes, error);
}

QString tabField(const QString& text)
{
    // Through UTF-8 and back: escaped bytes of a non-UTF-8 name become what the saved files show.
    QString cell = QString::fromUtf8(text.toUtf8());
    if (!cell.contains(u'\t') && !cell.contains(u'"') && !cell.contains(u'\r') && !cell.contains(u'\n'))
        return cell;
    cell.replace(u'"', QStringLiteral("\"\""));
    return u'"' + cell + u'"';
}

QString tabRecord(const QStringList& cells)
{
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            line += u'\t';
        line += tabField(cells[i]);
    }
    return line + QStringLiteral("\r\n");
}

} // namespace tarvik::CsvFormat
