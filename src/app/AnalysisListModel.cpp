#include "app/AnalysisListModel.h"

#include "config/NativePath.h"

namespace tarvik {

int AnalysisListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown);
}

QVariant AnalysisListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_shown)
        return {};
    return displayPath(m_list.entries().at(index.row()));
}

qsizetype AnalysisListModel::registerPaths(const QStringList& paths)
{
    if (m_list.size() == 0)
        m_list.reserve(paths.size()); // later batches may be all duplicates: no rehash for them
    registerPending(paths);
    return showPending();
}

void AnalysisListModel::registerPending(const QStringList& paths)
{
    for (const QString& p : paths)
        m_list.RegisterPath(p);
}

qsizetype AnalysisListModel::showPending()
{
    // How many rows a batch adds is known only after registering it (duplicates within the batch
    // count too): the new entries stay out of rowCount() until the views have been told.
    const qsizetype added = m_list.size() - m_shown;
    if (added > 0) {
        beginInsertRows({}, static_cast<int>(m_shown), static_cast<int>(m_list.size() - 1));
        m_shown = m_list.size();
        endInsertRows();
    }
    return added;
}

qsizetype AnalysisListModel::removeEntries(const QList<qsizetype>& rows)
{
    if (rows.isEmpty())
        return 0;
    beginResetModel();
    const qsizetype removed = m_list.removeAt(rows);
    m_shown = m_list.size();
    endResetModel();
    return removed;
}

} // namespace tarvik
