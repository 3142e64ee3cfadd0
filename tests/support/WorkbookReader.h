#pragma once

#include "support/DelimitedText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QHash>
#include <QJsonObject>
#include <QProcess>

namespace tarvik::test {

// The sheet of that title as a spreadsheet program reads it (read_workbook.py): "freeze",
// "filter", "widths" and "rows" of {"v", "t", "f", "b"} cells; empty when there is none.
inline QJsonObject readSheet(const QString& path, const QString& title)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(TARVIK_SOURCE_DIR "/tests/support/read_workbook.py"), path});
    python.waitForFinished(60000);
    for (const QJsonValue& sheet : QJsonDocument::fromJson(python.readAllStandardOutput())[u"sheets"].toArray()) {
        if (sheet[u"title"].toString() == title)
            return sheet.toObject();
    }
    return {};
}

// The CSV's outcome names as the window's workbooks write them.
inline const QHash<QString, QString>& windowWords()
{
    static const QHash<QString, QString> words{{QStringLiteral("Counted"), QStringLiteral("解析済")},
                                               {QStringLiteral("NoEngine"), QStringLiteral("不明なファイル")},
                                               {QStringLiteral("NotAnalysable"), QStringLiteral("解析不能ファイル")},
                                               {QStringLiteral("Missing"), QStringLiteral("ファイル未存在")}};
    return words;
}

// The first cell below the header that differs from the CSV's field (a number must be a number
// cell, other fields text; a field in `words` must read as its word there); empty when all
// agree. Rows after the CSV's last are not looked at.
inline QString differenceFromCsv(const QJsonObject& sheet, const QString& csv, const QHash<QString, QString>& words = {})
{
    const QList<QStringList> records = parseDelimited(csv, u',');
    const QJsonArray rows = sheet[u"rows"].toArray();
    for (qsizetype r = 1; r < records.size(); ++r) {
        const QJsonArray cells = rows[r].toArray();
        if (cells.size() != records[r].size())
            return QStringLiteral("row %1: %2 cells").arg(r).arg(cells.size());
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const QString field = words.value(records[r][c], records[r][c]);
            bool number = false;
            field.toLongLong(&number);
            const QJsonValue v = cells[c][u"v"];
            const QString shown = v.isDouble() ? QString::number(v.toInteger()) : v.toString();
            if (shown != field || cells[c][u"t"].toString() != (number || field.isEmpty() ? u"n" : u"s"))
                return QStringLiteral("row %1 column %2: %3 for %4").arg(r).arg(c).arg(shown, field);
        }
    }
    return {};
}

} // namespace tarvik::test
