#include "intake/AnalysisList.h"

#include <algorithm>

namespace tarvik {

bool AnalysisList::RegisterPath(const QString& path)
{
    // One hash of the path: the set tells by its size whether it was new.
    const qsizetype before = m_index.size();
    m_index.insert(path);
    if (m_index.size() == before)
        return false;
    m_entries.append(path);
    return true;
}

void AnalysisList::reserve(qsizetype size)
{
    m_index.reserve(size);
    m_entries.reserve(size);
}

qsizetype AnalysisList::removeAt(QList<qsizetype> indices)
{
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    qsizetype removed = 0;
    qsizetype out = 0;
    qsizetype next = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        while (next < indices.size() && indices[next] < i)
            ++next;
        if (next < indices.size() && indices[next] == i) {
            m_index.remove(m_entries[i]);
            ++removed;
            continue;
        }
        if (out != i)
            m_entries[out] = std::move(m_entries[i]);
        ++out;
    }
    m_entries.resize(out);
    return removed;
}

void AnalysisList::clear()
{
    m_entries.clear();
    m_index.clear();
}

} // namespace tarvik
