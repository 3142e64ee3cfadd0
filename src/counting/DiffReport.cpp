#include "counting/DiffReport.h"

#include "config/NativePath.h"
#include "counting/TextReport.h"

#include <QDate>
#include <QLocale>

namespace tarvik {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The last `width` characters of the text after padding it on the left.
QString right(const QString& text, int width)
{
    return QString(QString(width, u' ') + text).right(width);
}

QString number(int64_t n, int width) { return right(QString::number(n), width); }

} // namespace

DiffTextReport::DiffTextReport(Append append, QString date, QString decimalPoint)
    : m_append(std::move(append)), m_date(std::move(date)), m_decimalPoint(std::move(decimalPoint))
{
    if (m_date.isNull())
        m_date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    if (m_decimalPoint.isNull())
        m_decimalPoint = QLocale::system().decimalPoint();
}

// Figures first, the path last and whole: relative paths are too long for a fixed column.
void DiffTextReport::diffStarted(qsizetype)
{
    const QString dash = TextReport::dashLine();
    m_append(dash + kCrLf + right(QStringLiteral("状態"), 10) + right(QStringLiteral("旧"), 8)
             + right(QStringLiteral("新"), 8) + right(QStringLiteral("追加"), 8) + right(QStringLiteral("変更"), 8)
             + right(QStringLiteral("削除"), 8) + QStringLiteral("  ファイル") + kCrLf + dash + kCrLf);
}

void DiffTextReport::fileCompared(qsizetype, const FileChange& c)
{
    QString line = right(changeStatusText(c.status), 10);
    if (c.outcome == FileOutcome::Counted) {
        line += (c.oldPath.isEmpty() ? right(QStringLiteral("-"), 8) : number(c.oldSteps, 8))
                + (c.newPath.isEmpty() ? right(QStringLiteral("-"), 8) : number(c.newSteps, 8))
                + number(c.steps.added, 8) + number(c.steps.changed, 8) + number(c.steps.deleted, 8);
    } else {
        line += right(TextReport::outcomeText(c.outcome).trimmed(), 40);
    }
    QString path = displayPath(c.relativePath);
    if (!c.renamedFrom.isEmpty())
        path += QStringLiteral(" ← ") + displayPath(c.renamedFrom);
    m_append(line + QStringLiteral("  ") + path + kCrLf);
}

void DiffTextReport::diffFinished(const DiffSummary& summary)
{
    const DiffTotals& t = summary.totals;
    const QString dash = TextReport::dashLine();
    m_append(dash + kCrLf
             + QStringLiteral("          ファイル    新規 %1  削除 %2  変更 %3  変更なし %4")
                   .arg(t.newFiles)
                   .arg(t.deletedFiles)
                   .arg(t.changedFiles)
                   .arg(t.unchangedFiles)
             + kCrLf
             + QStringLiteral("          ステップ    旧 %1  新 %2  追加 %3  変更 %4  削除 %5")
                   .arg(t.oldSteps)
                   .arg(t.newSteps)
                   .arg(t.steps.added)
                   .arg(t.steps.changed)
                   .arg(t.steps.deleted)
             + QStringLiteral("  流用 %1").arg(t.reusedSteps()) + kCrLf + QStringLiteral("          改造規模              ")
             + TextReport::kstepFigure(t.modifiedSteps(), m_decimalPoint) + QStringLiteral(" KStep です        ")
             + m_date + kCrLf + dash + kCrLf);
}

} // namespace tarvik
