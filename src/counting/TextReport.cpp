#include "counting/TextReport.h"

#include "config/NativePath.h"

#include <QDate>
#include <QLocale>

#include <algorithm>

namespace tarvik {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

TextReport::TextReport(Append append, QString date, QString decimalPoint)
    : m_append(std::move(append)), m_date(std::move(date)), m_decimalPoint(std::move(decimalPoint))
{
    if (m_date.isNull())
        m_date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    if (m_decimalPoint.isNull())
        m_decimalPoint = QLocale::system().decimalPoint();
}

QString TextReport::dashLine() { return QString(79, u'-'); }

QString TextReport::rightAligned18(const QString& text, int padding)
{
    // (padding blanks + text).right(18), without building the long string first.
    constexpr qsizetype kWidth = 18;
    if (text.size() >= kWidth)
        return text.right(kWidth);
    const qsizetype blanks = std::min<qsizetype>(padding, kWidth - text.size());
    QString out(blanks, u' ');
    out += text;
    return out;
}

QString TextReport::kstepFigure(int64_t totalSteps, const QString& decimalPoint)
{
    const bool negative = totalSteps < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(totalSteps) : static_cast<uint64_t>(totalSteps);
    QString fraction = QString::number(magnitude % 1000).rightJustified(3, u'0');
    return (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude / 1000) + decimalPoint + fraction;
}

QString TextReport::outcomeText(FileOutcome outcome)
{
    switch (outcome) {
    case FileOutcome::NoEngine:
        return QStringLiteral("       不明なファイル");
    case FileOutcome::NotAnalysable:
        return QStringLiteral("       解析不能ファイル");
    case FileOutcome::Missing:
        return QStringLiteral("       ファイルが存在するか確認して下さい！");
    case FileOutcome::Counted:
        break;
    }
    return {};
}

void TextReport::WriteReportHeader()
{
    m_append(dashLine() + kCrLf
             + QStringLiteral("      Program ＩＤ     ") + QStringLiteral("         実行行     ")
             + QStringLiteral("       コメント行     ") + QStringLiteral("     総行数     ") + kCrLf
             + dashLine() + kCrLf);
}

void TextReport::WriteReportLine(const FileResult& result)
{
    QString first, second, third;
    if (result.outcome == FileOutcome::Counted) {
        first = rightAligned18(QString::number(result.counts.executable), 17);
        second = rightAligned18(QString::number(result.counts.comment), 17);
        third = rightAligned18(QString::number(result.counts.total), 17);
    } else {
        first = outcomeText(result.outcome);
    }
    m_append(rightAligned18(displayPath(result.programId), 22) + first + QStringLiteral("   ") + second + third + kCrLf);
}

void TextReport::WriteReportTotals(int64_t totalSteps)
{
    m_append(dashLine() + kCrLf + QStringLiteral("          総実行数              ")
             + kstepFigure(totalSteps, m_decimalPoint) + QStringLiteral(" KStep です        ") + m_date + kCrLf
             + dashLine() + kCrLf);
}

void TextReport::WriteGeneratedTotals(const RunSummary& summary)
{
    m_append(QStringLiteral("          生成ファイル  %1 件  %2 KStep（総実行数に含まず）")
                 .arg(summary.generatedFiles)
                 .arg(kstepFigure(summary.generatedSteps, m_decimalPoint))
             + kCrLf);
}

void TextReport::runStarted(qsizetype fileCount)
{
    m_fileCount = fileCount;
    if (fileCount > 0)
        WriteReportHeader();
}

void TextReport::fileAnalysed(qsizetype, const FileResult& result) { WriteReportLine(result); }

void TextReport::runFinished(const RunSummary& summary)
{
    if (m_fileCount > 0)
        WriteReportTotals(summary.totalSteps);
}

} // namespace tarvik
