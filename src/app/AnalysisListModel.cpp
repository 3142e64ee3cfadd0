#include "app/AnalysisListModel.h"

namespace tarvik {

int AnalysisListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_list.size());
}

QVariant AnalysisListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_list.size())
        return {};
    return m_list.entries().at(index.row());
}

qsizetype AnalysisListModel::registerPaths(const QStringList& paths)
{
    // Uniqueness within the batch counts too, so the new rows are known only after registering.
    const qsizetype before = m_list.size();
    AnalysisList added;
    for (const QString& p : paths) {
        if (!m_list.contains(p))
            added.RegisterPath(p);
    }
    if (added.size() == 0)
        return 0;
    beginInsertRows({}, static_cast<int>(before), static_cast<int>(before + added.size() - 1));
    for (const QString& p : added.entries())
        m_list.RegisterPath(p);
    endInsertRows();
    return added.size();
}

qsizetype AnalysisListModel::removeEntries(const QList<qsizetype>& rows)
{
    if (rows.isEmpty())
        return 0;
    beginResetModel();
    const qsizetype removed = m_list.removeAt(rows);
    endResetModel();
    return removed;
}

} // namespace tarvik
