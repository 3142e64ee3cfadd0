#pragma once

#include <QList>
#include <QSortFilterProxyModel>
#include <QString>

namespace tarvik {

class ResultGridModel;

// The result grid as the view shows it: sorted by a column the user chose and narrowed by the
// filter box. The totals row stays below the files in either order and under any filter.
// Saving and printing read the grid itself, in list order.
class ResultGridProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit ResultGridProxy(ResultGridModel* grid, QObject* parent = nullptr);

    void setFilterText(const QString& text);
    // The grid's row shown at a view row; -1 outside.
    qsizetype sourceRow(int viewRow) const;
    // The grid's rows shown at view rows, in the order given.
    QList<qsizetype> sourceRows(const QList<int>& viewRows) const;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    ResultGridModel* m_grid;
    QString m_filter;
};

} // namespace tarvik
