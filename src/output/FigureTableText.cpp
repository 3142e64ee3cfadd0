#include "output/FigureTableText.h"

#include "config/NativePath.h"
#include "counting/TextReport.h"
#include "output/CsvFormat.h"

#include <QStringList>

namespace tarvik {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kRowKey = QStringLiteral("row");

QString rightIn(const QString& text, qsizetype width)
{
    return text.size() >= width ? text : QString(width - text.size(), u' ') + text;
}

} // namespace

QString figureCellText(const FigureTable& table, size_t column, const FigureTable::Cell& cell)
{
    if (const QString* text = std::get_if<QString>(&cell))
        return exportPath(*text);
    const int64_t n = std::get<int64_t>(cell);
    return table.columns[column].kind == FigureTable::Kind::KStep ? TextReport::kstepFigure(n, QStringLiteral("."))
                                                                  : QString::number(n);
}

QByteArray figureTableCsv(const FigureTable& table, CsvFormat::Reader reader)
{
    QStringList keys;
    for (const FigureTable::Column& c : table.columns)
        keys << c.key;
    QByteArray out = CsvFormat::record(keys, reader);
    for (const auto& row : table.rows) {
        QStringList fields;
        for (size_t i = 0; i < row.size(); ++i)
            fields << figureCellText(table, i, row[i]);
        out += CsvFormat::record(fields, reader);
    }
    return out;
}

QString figureTableReport(const FigureTable& table, const QString& decimalPoint)
{
    constexpr qsizetype kWidth = 10;
    const QString dash = TextReport::dashLine();
    size_t rowColumn = table.columns.size();
    QString header;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const FigureTable::Column& c = table.columns[i];
        if (c.key == kRowKey)
            rowColumn = i;
        else if (c.kind != FigureTable::Kind::Text)
            header += rightIn(c.header, kWidth);
    }
    QString out = dash + kCrLf + header + QStringLiteral("  ") + table.title + kCrLf + dash + kCrLf;
    for (const auto& row : table.rows) {
        QString figures;
        QStringList names;
        for (size_t i = 0; i < row.size() && i < table.columns.size(); ++i) {
            if (i == rowColumn)
                continue;
            if (const QString* text = std::get_if<QString>(&row[i])) {
                if (!text->isEmpty())
                    names << displayPath(*text);
                continue;
            }
            const int64_t n = std::get<int64_t>(row[i]);
            figures += rightIn(table.columns[i].kind == FigureTable::Kind::KStep ? TextReport::kstepFigure(n, decimalPoint)
                                                                                 : QString::number(n),
                               kWidth);
        }
        if (rowColumn < row.size() && row[rowColumn] == FigureTable::Cell(QStringLiteral("total")))
            out += dash + kCrLf;
        out += figures + QStringLiteral("  ") + names.join(QStringLiteral("  ")) + kCrLf;
    }
    return out + dash + kCrLf;
}

} // namespace tarvik
