#include "output/ResultGridModel.h"

#include "config/NativePath.h"
#include "counting/TextReport.h"
#include "output/CsvFormat.h"

#include <QBrush>
#include <QColor>
#include <QGuiApplication>
#include <QPalette>

#include <algorithm>

namespace tarvik {

namespace {

// The grid words a missing file more briefly than the report; the other texts are the report's.
QString outcomeText(FileOutcome outcome)
{
    return outcome == FileOutcome::Missing ? QStringLiteral("       ファイル未存在") : TextReport::outcomeText(outcome);
}

// Ordinary rows take the system's highlighted-text colour, which follows the desktop theme.
QColor ordinaryBackground() { return QGuiApplication::palette().color(QPalette::HighlightedText); }

} // namespace

ResultGridModel::ResultGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultGridModel::beginRun(qsizetype fileCount)
{
    const auto newCount = static_cast<size_t>(std::max<qsizetype>(fileCount, 0) + 1);
    const auto oldCount = m_rows.size();
    if (newCount > oldCount) {
        beginInsertRows({}, static_cast<int>(oldCount), static_cast<int>(newCount - 1));
        m_rows.resize(newCount);
        endInsertRows();
    } else if (newCount < oldCount) {
        beginRemoveRows({}, static_cast<int>(newCount), static_cast<int>(oldCount - 1));
        m_rows.resize(newCount);
        endRemoveRows();
    }
    m_rows.front() = std::monostate{};
    m_runRows = 0;
    rowChanged(0);
}

void ResultGridModel::keepRows(qsizetype fileCount)
{
    const auto keep = static_cast<size_t>(std::max<qsizetype>(fileCount, 0) + 1);
    if (keep >= m_rows.size())
        return;
    beginRemoveRows({}, static_cast<int>(keep), static_cast<int>(m_rows.size() - 1));
    m_rows.resize(keep);
    endRemoveRows();
}

void ResultGridModel::WriteResultRow(qsizetype row, const FileResult& result)
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return;
    m_rows[static_cast<size_t>(row)] = FileRow{result.outcome, result.counts, result.programId, result.directory};
    m_runRows = std::max(m_runRows, row + 1);
    rowChanged(row);
}

void ResultGridModel::WriteTotalsRow(qsizetype row, int64_t totalSteps, const QString& date,
                                     const QString& decimalPoint)
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return;
    m_rows[static_cast<size_t>(row)] =
        TotalsRow{totalSteps, TextReport::kstepFigure(totalSteps, decimalPoint) + QStringLiteral(" KStep です"), date};
    rowChanged(row);
}

void ResultGridModel::markNotCounted(qsizetype firstRow, const QStringList& paths)
{
    const qsizetype end = std::min<qsizetype>(firstRow + paths.size(), static_cast<qsizetype>(m_rows.size()));
    if (firstRow < 0 || firstRow >= end)
        return;
    for (qsizetype row = firstRow; row < end; ++row) {
        const FileResult file = FileResult::forPath(paths[row - firstRow]);
        // Coloured as the other rows without figures.
        m_rows[static_cast<size_t>(row)] = FileRow{FileOutcome::Missing, {}, file.programId, file.directory, true};
    }
    emit dataChanged(index(static_cast<int>(firstRow), 0), index(static_cast<int>(end - 1), kColumnCount - 1));
}

void ResultGridModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_runRows = 0;
    endResetModel();
}

void ResultGridModel::rowChanged(qsizetype row)
{
    emit dataChanged(index(static_cast<int>(row), 0), index(static_cast<int>(row), kColumnCount - 1));
}

QString ResultGridModel::cellText(qsizetype row, int column) const
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return {};
    const Row& entry = m_rows[static_cast<size_t>(row)];
    if (const auto* file = std::get_if<FileRow>(&entry)) {
        if (file->notCounted && column >= 2)
            return column == 2 ? QStringLiteral("       中止のため未解析") : QString();
        const bool counted = file->outcome == FileOutcome::Counted;
        switch (column) {
        case 0:
            return displayPath(file->programId);
        case 1:
            return displayPath(file->directory);
        case 2:
            return counted ? QString::number(file->counts.executable) : outcomeText(file->outcome);
        case 3:
            return counted ? QString::number(file->counts.comment) : QStringLiteral("0");
        case 4:
            return counted ? QString::number(file->counts.total) : QStringLiteral("0");
        }
    } else if (const auto* totals = std::get_if<TotalsRow>(&entry)) {
        switch (column) {
        case 0:
            return QStringLiteral("解析結果");
        case 1:
            return QStringLiteral("総実行行数は");
        case 2:
            return totals->kstepText;
        case 3:
            return totals->date;
        case 4:
            return QStringLiteral("Tarvik");
        }
    }
    return {};
}

std::optional<int64_t> ResultGridModel::runTotalSteps() const
{
    if (static_cast<size_t>(m_runRows) >= m_rows.size())
        return std::nullopt;
    const auto* totals = std::get_if<TotalsRow>(&m_rows[static_cast<size_t>(m_runRows)]);
    return totals ? std::optional<int64_t>(totals->steps) : std::nullopt;
}

QList<FileResult> ResultGridModel::runResults() const
{
    QList<FileResult> results;
    results.reserve(m_runRows);
    for (qsizetype row = 0; row < m_runRows; ++row) {
        const auto* file = std::get_if<FileRow>(&m_rows[static_cast<size_t>(row)]);
        if (!file)
            continue;
        // A result's path is split at its last "/", so the two parts give it back whole.
        results.append(FileResult{file->directory + file->programId, file->programId, file->directory,
                                  file->outcome, file->counts});
    }
    return results;
}

QString ResultGridModel::tabSeparatedText(const QList<qsizetype>& rows) const
{
    // The last column has no title and no text.
    constexpr int kCopied = kColumnCount - 1;
    QStringList cells;
    for (int column = 0; column < kCopied; ++column)
        cells.append(headerData(column, Qt::Horizontal).toString());
    QString text = CsvFormat::tabRecord(cells);
    for (qsizetype row : rows) {
        if (row < 0 || static_cast<size_t>(row) >= m_rows.size()
            || std::holds_alternative<std::monostate>(m_rows[static_cast<size_t>(row)]))
            continue;
        cells.clear();
        // Names go as text files hold them; the figures' column pads its outcome texts for the
        // display only.
        const auto* file = std::get_if<FileRow>(&m_rows[static_cast<size_t>(row)]);
        for (int column = 0; column < kCopied; ++column) {
            if (file && column < 2)
                cells.append(exportPath(column == 0 ? file->programId : file->directory));
            else
                cells.append(column < 2 ? cellText(row, column) : cellText(row, column).trimmed());
        }
        text += CsvFormat::tabRecord(cells);
    }
    return text;
}

QStringList ResultGridModel::pathsToOpen(qsizetype currentRow, qsizetype otherEndRow, int clickedColumn) const
{
    QStringList paths;
    int testedColumn = clickedColumn;
    const qsizetype last = std::min<qsizetype>(std::max(currentRow, otherEndRow), rowCount() - 1);
    for (qsizetype row = last; row >= std::min(currentRow, otherEndRow); --row) {
        if (cellText(row, testedColumn).isEmpty())
            continue;
        // A file row opens its real path, which the shown text may not spell exactly.
        const auto* file = std::get_if<FileRow>(&m_rows[static_cast<size_t>(row)]);
        paths.append(file ? file->directory + file->programId : cellText(row, 1) + cellText(row, 0));
        testedColumn = 1;
    }
    return paths;
}

int ResultGridModel::columnWidthTwips(int column)
{
    static constexpr int kWidths[kColumnCount] = {3000, 2500, 2200, 2200, 2200, 10000};
    return column >= 0 && column < kColumnCount ? kWidths[column] : 0;
}

int ResultGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ResultGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant ResultGridModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const Row& entry = m_rows[static_cast<size_t>(index.row())];
    const auto* file = std::get_if<FileRow>(&entry);
    const bool totals = std::holds_alternative<TotalsRow>(entry);
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case Qt::ToolTipRole:
        // A long folder is cut in its middle on screen: the whole of it on hover.
        if (file && index.column() == 1)
            return cellText(index.row(), 1);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() > 4)
            return {};
        if (file)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (totals)
            return int(Qt::AlignCenter);
        return {};
    case Qt::BackgroundRole:
        if (totals)
            return QBrush(QColor(0, 255, 255));
        if (file && file->outcome == FileOutcome::NoEngine)
            return QBrush(QColor(255, 255, 128));
        if (file && file->outcome != FileOutcome::Counted)
            return QBrush(QColor(255, 128, 128));
        return QBrush(ordinaryBackground());
    default:
        return {};
    }
}

QVariant ResultGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QString kTitles[kColumnCount] = {QStringLiteral("Program ＩＤ"), QStringLiteral("パス"),
                                                  QStringLiteral("実行行"), QStringLiteral("コメント行"),
                                                  QStringLiteral("総行数"), QString()};
    if (role == Qt::DisplayRole)
        return kTitles[section];
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return {};
}

} // namespace tarvik
