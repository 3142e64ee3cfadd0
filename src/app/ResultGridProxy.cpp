#include "app/ResultGridProxy.h"

#include "output/ResultGridModel.h"

namespace tarvik {

ResultGridProxy::ResultGridProxy(ResultGridModel* grid, QObject* parent) : QSortFilterProxyModel(parent), m_grid(grid)
{
    setSourceModel(grid);
}

void ResultGridProxy::setFilterText(const QString& text)
{
    if (text == m_filter)
        return;
    m_filter = text;
    invalidateFilter();
}

qsizetype ResultGridProxy::sourceRow(int viewRow) const
{
    const QModelIndex source = mapToSource(index(viewRow, 0));
    return source.isValid() ? source.row() : -1;
}

QList<qsizetype> ResultGridProxy::sourceRows(const QList<int>& viewRows) const
{
    QList<qsizetype> rows;
    rows.reserve(viewRows.size());
    for (int viewRow : viewRows) {
        if (const qsizetype row = sourceRow(viewRow); row >= 0)
            rows.append(row);
    }
    return rows;
}

bool ResultGridProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const bool leftFile = m_grid->isFileRow(left.row());
    const bool rightFile = m_grid->isFileRow(right.row());
    if (leftFile && rightFile)
        return m_grid->compareRows(left.row(), right.row(), left.column()) < 0;
    // A descending sort asks the other way round: the totals row (and rows a run left empty)
    // come last in list order either way.
    const bool ascending = sortOrder() == Qt::AscendingOrder;
    if (leftFile != rightFile)
        return leftFile == ascending;
    return left.row() != right.row() && (left.row() < right.row()) == ascending;
}

bool ResultGridProxy::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    return m_grid->rowMatches(sourceRow, m_filter);
}

} // namespace tarvik
