#pragma once

#include "intake/AnalysisList.h"

#include <QAbstractListModel>

namespace tarvik {

// The analysis list as the list view shows it; registration and removal go through the core's
// rule, in batches, so that 100,000 entries stay quick.
class AnalysisListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Applies RegisterPath to each path in order; returns how many were added.
    qsizetype registerPaths(const QStringList& paths);
    // The same in parts: batches registered one after another, then shown to the views at once.
    void registerPending(const QStringList& paths);
    qsizetype showPending();
    qsizetype removeEntries(const QList<qsizetype>& rows);

    const QStringList& entries() const { return m_list.entries(); }
    bool contains(const QString& path) const { return m_list.contains(path); }

private:
    AnalysisList m_list;
    qsizetype m_shown = 0; // the entries the views know of
};

} // namespace tarvik
