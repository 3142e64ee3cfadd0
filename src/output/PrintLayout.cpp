#include "output/PrintLayout.h"

#include <cmath>

namespace tarvik {

namespace {

constexpr double kLeft = 8;
constexpr double kRowsTop = 4.5; // below the column header line and half a line

// Right-aligned in `width` characters; a longer text stays whole.
QString pattern(const QString& text, int width) { return text.size() >= width ? text : text.rightJustified(width); }

} // namespace

QString PrintLayout::rowText(const Row& row)
{
    return pattern(row.programId.left(15), 15) + pattern(row.executable, 11) + pattern(row.comment, 13)
           + pattern(row.total, 13);
}

void PrintLayout::heading(PrintPage& page)
{
    page.items.append({31, 1, QStringLiteral("解　析　結　果"), PrintItem::Font::Title});
    page.items.append({kLeft, 3,
                       QStringLiteral("     ProcID") + QStringLiteral("     ") + QStringLiteral("実　行　行")
                           + QStringLiteral("   ") + QStringLiteral("コメント行") + QStringLiteral("   ")
                           + QStringLiteral("総　行　数"),
                       PrintItem::Font::Body});
}

QList<PrintPage> PrintLayout::pages(const QList<Row>& rows, const QStringList& closing)
{
    QStringList lines;
    lines.reserve(rows.size() + closing.size());
    for (const Row& row : rows)
        lines.append(rowText(row));
    lines += closing;
    return paginate(lines, &PrintLayout::heading);
}

QList<PrintPage> PrintLayout::paginate(const QStringList& lines, const std::function<void(PrintPage&)>& heading)
{
    const qsizetype last = lines.size();
    const qsizetype pageCount = last <= kRowsPerPage ? 1 : (last + kRowsPerPage - 1) / kRowsPerPage;
    QList<PrintPage> result(1);
    heading(result.back());
    double y = kRowsTop;
    for (qsizetype r = 1; r <= last; ++r) {
        result.back().items.append({kLeft, y, lines[r - 1], PrintItem::Font::Body});
        y += 1.5;
        if (r % kRowsPerPage == 0 && result.size() < pageCount) {
            result.append(PrintPage{});
            heading(result.back());
            y = kRowsTop;
        }
    }
    return result;
}

} // namespace tarvik
