#include "output/CsvFormat.h"

#include "output/LogFile.h"

namespace tarvik::CsvFormat {

QByteArray field(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') && !bytes.contains('\n'))
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

QByteArray record(const QStringList& fields)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += field(fields[i]);
    }
    return line + "\r\n";
}

QStringList resultColumns()
{
    return {QStringLiteral("path"),    QStringLiteral("program_id"), QStringLiteral("directory"),
            QStringLiteral("outcome"), QStringLiteral("executable"), QStringLiteral("comment"),
            QStringLiteral("total")};
}

QStringList resultFields(const FileResult& result)
{
    return {result.path,
            result.programId,
            result.directory,
            outcomeName(result.outcome),
            QString::number(result.counts.executable),
            QString::number(result.counts.comment),
            QString::number(result.counts.total)};
}

QString outcomeName(FileOutcome outcome)
{
    switch (outcome) {
    case FileOutcome::Counted:
        return QStringLiteral("Counted");
    case FileOutcome::NoEngine:
        return QStringLiteral("NoEngine");
    case FileOutcome::NotAnalysable:
        return QStringLiteral("NotAnalysable");
    case FileOutcome::Missing:
        break;
    }
    return QStringLiteral("Missing");
}

bool SaveCsvFile(const QString& path, const QList<FileResult>& results, QString* error)
{
    QByteArray bytes = QByteArray(kByteOrderMark) + record(resultColumns());
    for (const FileResult& result : results)
        bytes += record(resultFields(result));
    return SaveFileAtomically(path, bytes, error);
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
