#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace tarvik {

// The analysis list: full paths in registration order, unique by exact, case-sensitive text.
// A hash set beside the list keeps registration linear for any number of entries.
class AnalysisList {
public:
    // Appends the path unless it already is an entry; true when it was added.
    bool RegisterPath(const QString& path);

    const QStringList& entries() const { return m_entries; }
    qsizetype size() const { return m_entries.size(); }
    bool contains(const QString& path) const { return m_index.contains(path); }

    // Removes the entries at the given indices (any order, duplicates ignored); returns how many.
    qsizetype removeAt(QList<qsizetype> indices);
    void clear();
    // Room for `size` entries in all, before a large batch.
    void reserve(qsizetype size);

private:
    QStringList m_entries;
    QSet<QString> m_index;
};

} // namespace tarvik
