#include "output/ResultGridModel.h"

#include "config/NativePath.h"
#include "config/SettingsStore.h"
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
    emit runBegun();
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
    m_rows[static_cast<size_t>(row)] =
        FileRow{result.outcome, result.counts, result.programId, result.directory, result.generated, result.typeKey};
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
        FileRow notCounted{FileOutcome::Missing, {}, file.programId, file.directory};
        notCounted.notCounted = true;
        m_rows[static_cast<size_t>(row)] = std::move(notCounted);
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
                                  file->outcome, file->counts, file->generated, file->typeKey});
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
    QList<qsizetype> rows;
    const qsizetype last = std::min<qsizetype>(std::max(currentRow, otherEndRow), rowCount() - 1);
    for (qsizetype row = last; row >= std::min(currentRow, otherEndRow); --row)
        rows.append(row);
    return pathsToOpen(rows, clickedColumn);
}

QStringList ResultGridModel::pathsToOpen(const QList<qsizetype>& rows, int clickedColumn) const
{
    QStringList paths;
    int testedColumn = clickedColumn;
    for (qsizetype row : rows) {
        if (cellText(row, testedColumn).isEmpty())
            continue;
        // A file row opens its real path, which the shown text may not spell exactly.
        const auto* file = std::get_if<FileRow>(&m_rows[static_cast<size_t>(row)]);
        paths.append(file ? file->directory + file->programId : cellText(row, 1) + cellText(row, 0));
        testedColumn = 1;
    }
    return paths;
}

void ResultGridModel::setGeneratedSetAside(bool setAside)
{
    if (setAside == m_generatedSetAside)
        return;
    m_generatedSetAside = setAside;
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1), {Qt::BackgroundRole, Qt::ToolTipRole});
}

QColor ResultGridModel::generatedBackground() { return QColor(208, 240, 192); }

QString ResultGridModel::generatedTotalText(const RunSummary& summary, const QString& decimalPoint)
{
    return QStringLiteral("生成ファイル %1 件  実行行 %2（%3 KStep、総実行数に含めず）")
        .arg(summary.generatedFiles)
        .arg(summary.generatedSteps)
        .arg(TextReport::kstepFigure(summary.generatedSteps, decimalPoint));
}

void ResultGridModel::setFileTypes(const IniDocument& settings)
{
    m_fileTypes = settings;
    m_typeNames.clear();
}

QString ResultGridModel::typeName(qsizetype row) const
{
    if (!isFileRow(row))
        return {};
    const auto& file = std::get<FileRow>(m_rows[static_cast<size_t>(row)]);
    // As the subtotals by type: the entry its name or "#!" line chose, else the one of its
    // extension (after the last ".", or the whole path).
    QString key = file.typeKey;
    if (key.isEmpty()) {
        const qsizetype dot = file.programId.lastIndexOf(u'.');
        key = QStringLiteral("Lang_") + (dot < 0 ? file.directory + file.programId : file.programId.mid(dot + 1));
    }
    auto known = m_typeNames.constFind(key);
    if (known == m_typeNames.cend())
        known = m_typeNames.insert(key, SettingsStore::profileValue(m_fileTypes, QStringLiteral("Engin"), key).section(u',', 1, 1));
    return *known;
}

bool ResultGridModel::isFileRow(qsizetype row) const
{
    return row >= 0 && static_cast<size_t>(row) < m_rows.size()
           && std::holds_alternative<FileRow>(m_rows[static_cast<size_t>(row)]);
}

int ResultGridModel::compareRows(qsizetype a, qsizetype b, int column) const
{
    if (!isFileRow(a) || !isFileRow(b))
        return 0;
    const auto& x = std::get<FileRow>(m_rows[static_cast<size_t>(a)]);
    const auto& y = std::get<FileRow>(m_rows[static_cast<size_t>(b)]);
    auto figure = [column](const FileRow& f) -> int64_t {
        switch (column) {
        case 2:
            return f.outcome == FileOutcome::Counted ? f.counts.executable : -1;
        case 3:
            return f.counts.comment;
        default:
            return f.counts.total;
        }
    };
    switch (column) {
    case 0:
        return displayPath(x.programId).compare(displayPath(y.programId), Qt::CaseInsensitive);
    case 1:
        return displayPath(x.directory).compare(displayPath(y.directory), Qt::CaseInsensitive);
    case 2:
    case 3:
    case 4: {
        const int64_t p = figure(x), q = figure(y);
        return p < q ? -1 : p > q ? 1 : 0;
    }
    default:
        return 0;
    }
}

bool ResultGridModel::rowMatches(qsizetype row, const QString& text) const
{
    if (text.isEmpty())
        return true;
    if (row >= 0 && static_cast<size_t>(row) < m_rows.size()
        && std::holds_alternative<TotalsRow>(m_rows[static_cast<size_t>(row)]))
        return true;
    if (!isFileRow(row))
        return false;
    const auto& file = std::get<FileRow>(m_rows[static_cast<size_t>(row)]);
    return displayPath(file.directory + file.programId).contains(text, Qt::CaseInsensitive)
           || typeName(row).contains(text, Qt::CaseInsensitive);
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
        if (file && file->generated && m_generatedSetAside)
            return generatedLegend();
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
        if (file && file->generated && m_generatedSetAside)
            return QBrush(generatedBackground());
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
