#include "output/DiffGridModel.h"

#include "config/NativePath.h"
#include "counting/TextReport.h"

#include <QBrush>

namespace tarvik {

DiffGridModel::DiffGridModel(QList<FileChange> changes, const DiffTotals& totals, QString decimalPoint, QObject* parent)
    : QAbstractTableModel(parent), m_changes(std::move(changes)), m_totals(totals), m_decimalPoint(std::move(decimalPoint))
{
}

bool DiffGridModel::showsOutcome(int row) const
{
    return row >= 0 && row < m_changes.size() && m_changes[row].outcome != FileOutcome::Counted;
}

QString DiffGridModel::cellText(int row, int column) const
{
    if (isTotalsRow(row)) {
        const DiffTotals& t = m_totals;
        switch (column) {
        case Status:
            return QStringLiteral("合計");
        case File:
            return QStringLiteral("新規 %1  削除 %2  変更 %3  変更なし %4    改造規模 %5 KStep")
                .arg(t.newFiles)
                .arg(t.deletedFiles)
                .arg(t.changedFiles)
                .arg(t.unchangedFiles)
                .arg(TextReport::kstepFigure(t.modifiedSteps(), m_decimalPoint));
        case OldSteps:
            return QString::number(t.oldSteps);
        case NewSteps:
            return QString::number(t.newSteps);
        case Added:
            return QString::number(t.steps.added);
        case Changed:
            return QString::number(t.steps.changed);
        case Deleted:
            return QString::number(t.steps.deleted);
        case Reused:
            return QString::number(t.reusedSteps());
        }
        return {};
    }
    if (row < 0 || row >= m_changes.size())
        return {};
    const FileChange& c = m_changes[row];
    switch (column) {
    case Status:
        return changeStatusText(c.status);
    case File:
        return displayPath(c.relativePath);
    default:
        break;
    }
    if (c.outcome != FileOutcome::Counted)
        return column == OldSteps ? TextReport::outcomeText(c.outcome).trimmed() : QString();
    switch (column) {
    case OldSteps:
        return c.oldPath.isEmpty() ? QStringLiteral("-") : QString::number(c.oldSteps);
    case NewSteps:
        return c.newPath.isEmpty() ? QStringLiteral("-") : QString::number(c.newSteps);
    case Added:
        return QString::number(c.steps.added);
    case Changed:
        return QString::number(c.steps.changed);
    case Deleted:
        return QString::number(c.steps.deleted);
    case Reused:
        return QString::number(c.reusedSteps());
    }
    return {};
}

// Light backgrounds that stay apart from each other and from the totals row's cyan, with dark
// text on all of them whatever the desktop theme.
QColor DiffGridModel::statusColour(ChangeStatus status)
{
    switch (status) {
    case ChangeStatus::New:
        return QColor(204, 255, 204); // green
    case ChangeStatus::Deleted:
        return QColor(255, 204, 204); // red
    case ChangeStatus::Changed:
        return QColor(255, 240, 170); // yellow
    case ChangeStatus::Unchanged:
        break;
    }
    return QColor(255, 255, 255);
}

QColor DiffGridModel::totalsColour() { return QColor(0, 255, 255); }

int DiffGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_changes.size() + 1);
}

int DiffGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant DiffGridModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(row, column);
    case Qt::TextAlignmentRole:
        if (column == Status)
            return int(Qt::AlignCenter);
        if (column == File)
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        return QBrush(isTotalsRow(row) ? totalsColour() : statusColour(m_changes[row].status));
    case Qt::ForegroundRole:
        return QBrush(QColor(Qt::black));
    case Qt::ToolTipRole:
        if (column == File && !isTotalsRow(row)) {
            const FileChange& c = m_changes[row];
            QStringList lines;
            if (!c.oldPath.isEmpty())
                lines << QStringLiteral("旧: ") + c.oldPath;
            if (!c.newPath.isEmpty())
                lines << QStringLiteral("新: ") + c.newPath;
            return lines.join(u'\n');
        }
        return {};
    default:
        return {};
    }
}

QVariant DiffGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char16_t* const kTitles[ColumnCount] = {u"状態", u"ファイル", u"旧ステップ", u"新ステップ",
                                                         u"追加", u"変更", u"削除", u"流用"};
    if (role == Qt::DisplayRole)
        return QString::fromUtf16(kTitles[section]);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return {};
}

} // namespace tarvik
