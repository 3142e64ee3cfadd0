#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>

#include "support/DelimitedText.h"

namespace tarvik::test {

// A workbook as a spreadsheet program reads it (tests/support/read_workbook.py): {"sheets": [{
// "title", "freeze", "filter", "widths", "rows": [[{"v", "t", "f", "b"}]]}]}. Empty when it
// cannot be read; `problem` then says why.
inline QJsonObject readWorkbook(const QString& path, QString* problem = nullptr)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(TARVIK_SOURCE_DIR "/tests/support/read_workbook.py"), path});
    const bool done = python.waitForFinished(60000) && python.exitCode() == 0;
    if (!done) {
        if (problem)
            *problem = QString::fromUtf8(python.readAllStandardError()) + python.errorString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// The sheet of that title, or an empty object.
inline QJsonObject sheetOf(const QJsonObject& book, const QString& title)
{
    for (const QJsonValue& sheet : book[QStringLiteral("sheets")].toArray()) {
        if (sheet[QStringLiteral("title")].toString() == title)
            return sheet.toObject();
    }
    return {};
}

// A cell's value as the CSV writes it: numbers in plain decimal, an empty cell as "".
inline QString csvText(const QJsonValue& cell)
{
    const QJsonValue v = cell[QStringLiteral("v")];
    if (v.isDouble())
        return QString::number(v.toInteger());
    return v.toString();
}

// The first difference between a sheet and a CSV text below their header rows, cell by cell:
// a number must be a number cell, any other field a text cell. Empty when they agree; rows of
// the sheet after the CSV's last (a totals row) are not looked at.
inline QString differenceFromCsv(const QJsonObject& sheet, const QString& csv)
{
    bool ok = true;
    const QList<QStringList> records = parseDelimited(csv, u',', &ok);
    const QJsonArray rows = sheet[QStringLiteral("rows")].toArray();
    if (!ok || records.isEmpty() || rows.size() < records.size())
        return QStringLiteral("%1 rows in the sheet for %2 CSV records").arg(rows.size()).arg(records.size());
    for (qsizetype r = 1; r < records.size(); ++r) {
        const QJsonArray cells = rows[r].toArray();
        if (cells.size() != records[r].size())
            return QStringLiteral("row %1 has %2 cells for %3 fields").arg(r).arg(cells.size()).arg(records[r].size());
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const QString field = records[r][c];
            bool number = false;
            field.toLongLong(&number);
            const QString type = cells[c][QStringLiteral("t")].toString();
            if (csvText(cells[c]) != field || type != (number || field.isEmpty() ? QStringLiteral("n") : QStringLiteral("s")))
                return QStringLiteral("row %1 column %2: %3 (%4) for %5").arg(r).arg(c).arg(csvText(cells[c]), type, field);
        }
    }
    return {};
}

} // namespace tarvik::test
