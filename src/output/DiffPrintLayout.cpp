#include "output/DiffPrintLayout.h"

#include "config/NativePath.h"
#include "counting/TextReport.h"

namespace tarvik {

namespace {

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3)
           || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60)
           || (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000;
}

// Right-aligned in `width` cells; a longer text stays whole.
QString right(const QString& text, int width)
{
    const int used = DiffPrintLayout::cells(text);
    return used >= width ? text : QString(width - used, u' ') + text;
}

QString figure(int64_t n) { return right(QString::number(n), DiffPrintLayout::kFigureCells); }

// The end of a path that does not fit, where the file name is.
QString fitPath(const QString& path)
{
    if (DiffPrintLayout::cells(path) <= DiffPrintLayout::kPathCells)
        return path;
    const QList<uint> code = path.toUcs4();
    QString tail;
    int used = 3;
    for (qsizetype i = code.size() - 1; i >= 0; --i) {
        const char32_t c = code[i];
        used += isWide(c) ? 2 : 1;
        if (used > DiffPrintLayout::kPathCells)
            break;
        tail.prepend(QString::fromUcs4(&c, 1));
    }
    return QStringLiteral("...") + tail;
}

constexpr int kFiguresCells = 5 * DiffPrintLayout::kFigureCells;
const QString kGap = QStringLiteral("  ");

} // namespace

int DiffPrintLayout::cells(const QString& text)
{
    int n = 0;
    for (const char32_t c : text.toUcs4())
        n += isWide(c) ? 2 : 1;
    return n;
}

QString DiffPrintLayout::rowText(const FileChange& c)
{
    QString line = right(changeStatusText(c.status), kStatusCells);
    if (c.outcome == FileOutcome::Counted) {
        line += (c.oldPath.isEmpty() ? right(QStringLiteral("-"), kFigureCells) : figure(c.oldSteps))
                + (c.newPath.isEmpty() ? right(QStringLiteral("-"), kFigureCells) : figure(c.newSteps))
                + figure(c.steps.added) + figure(c.steps.changed) + figure(c.steps.deleted);
    } else {
        line += right(TextReport::outcomeText(c.outcome).trimmed(), kFiguresCells);
    }
    return line + kGap + fitPath(displayPath(c.relativePath));
}

QStringList DiffPrintLayout::totalsText(const DiffTotals& t, const QString& date, const QString& decimalPoint)
{
    return {right(QStringLiteral("合計"), kStatusCells) + figure(t.oldSteps) + figure(t.newSteps) + figure(t.steps.added)
                + figure(t.steps.changed) + figure(t.steps.deleted) + kGap + QStringLiteral("改造規模 ")
                + TextReport::kstepFigure(t.modifiedSteps(), decimalPoint) + QStringLiteral(" KStep  ") + date,
            QString(kStatusCells + kFiguresCells, u' ') + kGap
                + QStringLiteral("新規 %1  削除 %2  変更 %3  変更なし %4")
                      .arg(t.newFiles)
                      .arg(t.deletedFiles)
                      .arg(t.changedFiles)
                      .arg(t.unchangedFiles)};
}

void DiffPrintLayout::heading(PrintPage& page)
{
    page.items.append({36, 1, QStringLiteral("差　分　解　析　結　果"), PrintItem::Font::Title});
    page.items.append({8, 3,
                       right(QStringLiteral("状態"), kStatusCells) + right(QStringLiteral("旧"), kFigureCells)
                           + right(QStringLiteral("新"), kFigureCells) + right(QStringLiteral("追加"), kFigureCells)
                           + right(QStringLiteral("変更"), kFigureCells) + right(QStringLiteral("削除"), kFigureCells)
                           + kGap + QStringLiteral("ファイル"),
                       PrintItem::Font::Body});
}

QList<PrintPage> DiffPrintLayout::pages(const QList<FileChange>& changes, const DiffTotals& totals, const QString& date,
                                        const QString& decimalPoint)
{
    QStringList lines;
    lines.reserve(changes.size() + 2);
    for (const FileChange& c : changes)
        lines.append(rowText(c));
    lines.append(totalsText(totals, date, decimalPoint));
    return PrintLayout::paginate(lines, &DiffPrintLayout::heading);
}

} // namespace tarvik
