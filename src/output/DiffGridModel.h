#pragma once

#include "counting/VersionDiff.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QList>
#include <QString>

namespace tarvik {

// The grid of a version comparison: one row per file in walk order, coloured by its status,
// then the totals row.
class DiffGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Status, File, OldSteps, NewSteps, Added, Changed, Deleted, Reused, ColumnCount };

    DiffGridModel(QList<FileChange> changes, const DiffTotals& totals, QString decimalPoint, QObject* parent = nullptr);

    const QList<FileChange>& changes() const { return m_changes; }
    const DiffTotals& totals() const { return m_totals; }
    bool isTotalsRow(int row) const { return row == m_changes.size(); }
    // A file that was not compared: its outcome text stands in the first figure column and the
    // others are empty, so a view may span it over them.
    bool showsOutcome(int row) const;

    // The text a cell shows; empty outside the grid.
    QString cellText(int row, int column) const;
    static QColor statusColour(ChangeStatus status);
    static QColor totalsColour();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<FileChange> m_changes;
    DiffTotals m_totals;
    QString m_decimalPoint;
};

} // namespace tarvik
