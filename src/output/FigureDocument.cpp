#include "output/FigureDocument.h"

#include "config/NativePath.h"
#include "counting/TextReport.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tarvik {

namespace {

const QString kRowKey = QStringLiteral("row");

// Thousands separators on the whole part of a plain figure ("-1234567.890").
QString grouped(const QString& plain)
{
    const qsizetype point = plain.indexOf(u'.');
    const QString whole = point < 0 ? plain : plain.left(point);
    const bool negative = whole.startsWith(u'-');
    QString digits = negative ? whole.mid(1) : whole;
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    return (negative ? QStringLiteral("-") : QString()) + digits + (point < 0 ? QString() : plain.mid(point));
}

std::vector<size_t> shownColumns(const FigureTable& table)
{
    std::vector<size_t> shown;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].key != kRowKey)
            shown.push_back(i);
    }
    return shown;
}

QString cellText(const FigureTable& table, size_t column, const FigureTable::Cell& cell)
{
    if (const QString* text = std::get_if<QString>(&cell))
        return exportPath(*text);
    return groupedFigure(table.columns[column], cell);
}

qsizetype columnOf(const FigureTable& table, const QString& key)
{
    for (size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].key == key)
            return static_cast<qsizetype>(i);
    }
    return -1;
}

// The rows a chart draws: the groups (kind, folder), not the outcome rows or the totals.
struct Bar {
    QString name;
    int64_t value;
};
std::vector<Bar> bars(const FigureTable& table, const QString& key)
{
    const qsizetype value = columnOf(table, key);
    const qsizetype row = columnOf(table, kRowKey);
    std::vector<Bar> out;
    if (value < 0 || row < 0)
        return out;
    for (const auto& cells : table.rows) {
        const QString* code = std::get_if<QString>(&cells[size_t(row)]);
        const int64_t* n = std::get_if<int64_t>(&cells[size_t(value)]);
        if (!code || !n || (*code != u"kind" && *code != u"folder" && *code != u"category"))
            continue;
        const QString* name = std::get_if<QString>(&cells[0]);
        out.push_back({name ? exportPath(*name) : QString(), *n});
    }
    std::stable_sort(out.begin(), out.end(), [](const Bar& a, const Bar& b) { return a.value > b.value; });
    return out;
}

QString markdownCell(QString text)
{
    // A bar would end the cell; a line break the row.
    return text.replace(u'\\', QStringLiteral("\\\\")).replace(u'|', QStringLiteral("\\|")).replace(u'\n', u' ');
}

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

QString svgChart(const std::vector<Bar>& shown, const QString& unit)
{
    constexpr int kBarHeight = 18, kGap = 6, kNameWidth = 260, kBarWidth = 380, kValueWidth = 110;
    const int64_t top = std::max<int64_t>(1, shown.empty() ? 1 : shown.front().value);
    const int height = static_cast<int>(shown.size()) * (kBarHeight + kGap) + kGap;
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"%1\" height=\"%2\" "
                                 "viewBox=\"0 0 %1 %2\" aria-label=\"%3\">\n")
                      .arg(kNameWidth + kBarWidth + kValueWidth)
                      .arg(height)
                      .arg(escaped(unit));
    int y = kGap;
    for (const Bar& bar : shown) {
        const int width = static_cast<int>(std::llround(double(std::max<int64_t>(0, bar.value)) * kBarWidth / double(top)));
        svg += QStringLiteral("<g><title>%1: %2</title>"
                              "<text x=\"%3\" y=\"%4\" text-anchor=\"end\">%1</text>"
                              "<rect x=\"%5\" y=\"%6\" width=\"%7\" height=\"%8\" fill=\"#3b7dd8\"/>"
                              "<text x=\"%9\" y=\"%4\">%2</text></g>\n")
                   .arg(escaped(bar.name), grouped(QString::number(bar.value)))
                   .arg(kNameWidth - 6)
                   .arg(y + kBarHeight - 5)
                   .arg(kNameWidth)
                   .arg(y)
                   .arg(std::max(width, bar.value > 0 ? 1 : 0))
                   .arg(kBarHeight)
                   .arg(kNameWidth + width + 6);
        y += kBarHeight + kGap;
    }
    return svg + QStringLiteral("</svg>\n");
}

} // namespace

QString groupedFigure(const FigureTable::Column& column, const FigureTable::Cell& cell)
{
    if (const QString* text = std::get_if<QString>(&cell))
        return *text;
    const int64_t n = std::get<int64_t>(cell);
    return grouped(column.kind == FigureTable::Kind::KStep ? TextReport::kstepFigure(n, QStringLiteral("."))
                                                           : QString::number(n));
}

QByteArray markdownDocument(const FigureDocument& document)
{
    QString out = QStringLiteral("## ") + markdownCell(document.title) + u'\n';
    if (!document.subtitle.isEmpty())
        out += u'\n' + markdownCell(document.subtitle) + u'\n';
    for (const FigureTable& table : document.tables) {
        const std::vector<size_t> shown = shownColumns(table);
        out += QStringLiteral("\n### ") + markdownCell(table.title) + QStringLiteral("\n\n|");
        QString rule = QStringLiteral("|");
        for (size_t c : shown) {
            out += u' ' + markdownCell(table.columns[c].header) + QStringLiteral(" |");
            rule += table.columns[c].kind == FigureTable::Kind::Text ? QStringLiteral(" --- |") : QStringLiteral(" ---: |");
        }
        out += u'\n' + rule + u'\n';
        for (const auto& row : table.rows) {
            out += u'|';
            for (size_t c : shown)
                out += u' ' + markdownCell(cellText(table, c, row[c])) + QStringLiteral(" |");
            out += u'\n';
        }
    }
    return out.toUtf8();
}

QByteArray htmlDocument(const FigureDocument& document)
{
    QString out = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n<style>\n"
        "body{font-family:sans-serif;margin:2em;color:#222}\n"
        "table{border-collapse:collapse;margin:0.5em 0 1em}\n"
        "th,td{border:1px solid #bbb;padding:0.2em 0.6em}\n"
        "th{background:#eef}\n"
        "td.n{text-align:right;font-variant-numeric:tabular-nums}\n"
        "tr.total td{font-weight:bold;background:#dff}\n"
        "svg text{font-size:12px;font-family:sans-serif}\n"
        "section{page-break-inside:avoid}\n"
        "</style>\n</head>\n<body>\n<h1>%1</h1>\n")
                      .arg(escaped(document.title));
    if (!document.subtitle.isEmpty())
        out += QStringLiteral("<p>") + escaped(document.subtitle) + QStringLiteral("</p>\n");
    for (const FigureTable& table : document.tables) {
        const std::vector<size_t> shown = shownColumns(table);
        const qsizetype rowColumn = columnOf(table, kRowKey);
        out += QStringLiteral("<section>\n<h2>") + escaped(table.title) + QStringLiteral("</h2>\n<table>\n<thead><tr>");
        for (size_t c : shown)
            out += QStringLiteral("<th>") + escaped(table.columns[c].header) + QStringLiteral("</th>");
        out += QStringLiteral("</tr></thead>\n<tbody>\n");
        for (const auto& row : table.rows) {
            const bool total = rowColumn >= 0 && row[size_t(rowColumn)] == FigureTable::Cell(QStringLiteral("total"));
            out += total ? QStringLiteral("<tr class=\"total\">") : QStringLiteral("<tr>");
            for (size_t c : shown) {
                const bool figure = table.columns[c].kind != FigureTable::Kind::Text;
                out += (figure ? QStringLiteral("<td class=\"n\">") : QStringLiteral("<td>")) + escaped(cellText(table, c, row[c]))
                       + QStringLiteral("</td>");
            }
            out += QStringLiteral("</tr>\n");
        }
        out += QStringLiteral("</tbody>\n</table>\n");
        const qsizetype chartColumn = columnOf(table, document.chartKey);
        const std::vector<Bar> shownBars = bars(table, document.chartKey);
        if (!shownBars.empty())
            out += svgChart(shownBars, table.columns[size_t(chartColumn)].header);
        out += QStringLiteral("</section>\n");
    }
    return (out + QStringLiteral("</body>\n</html>\n")).toUtf8();
}

} // namespace tarvik
