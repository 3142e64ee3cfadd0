#include "config/FileTypeTable.h"

#include "config/SettingsStore.h"

namespace tarvik {

namespace {
const QString kEngin = QStringLiteral("Engin");
}

FileTypeTable FileTypeTable::fromDocument(const IniDocument& doc)
{
    FileTypeTable table;
    const QString list = SettingsStore::profileValue(doc, kEngin, QStringLiteral("List"));
    if (list.isEmpty())
        return table;
    for (const QString& ext : list.split(u',')) {
        FileTypeEntry e;
        e.extension = ext;
        const QString value = SettingsStore::profileValue(doc, kEngin, QStringLiteral("Lang_") + ext);
        e.hasEntry = !value.isEmpty();
        if (e.hasEntry) {
            const QStringList fields = value.split(u',');
            e.engine = fields.value(0);
            e.sourceKind = fields.value(1);
            e.searchFlag = fields.last();
        }
        table.m_entries << e;
    }
    return table;
}

QStringList FileTypeTable::searchedExtensions() const
{
    QStringList result;
    for (const FileTypeEntry& e : m_entries) {
        if (e.searched())
            result << e.extension;
    }
    return result;
}

EngineTable::EngineTable(IniDocument doc) : m_doc(std::move(doc)) {}

QString EngineTable::lookupExtension(const QString& path)
{
    qsizetype dot = path.lastIndexOf(u'.');
    return dot < 0 ? path : path.mid(dot + 1);
}

int EngineTable::engineIndexForPath(const QString& path)
{
    const QString ext = lookupExtension(path);
    auto cached = m_byExtension.constFind(ext);
    if (cached != m_byExtension.cend())
        return *cached;
    const QString entry = SettingsStore::profileValue(m_doc, kEngin, QStringLiteral("Lang_") + ext);
    const QString engine = entry.section(u',', 0, 0);
    int index = -1;
    if (!engine.isEmpty()) {
        auto known = m_byEngine.constFind(engine);
        if (known != m_byEngine.cend()) {
            index = *known;
        } else {
            index = static_cast<int>(m_names.size());
            m_names.push_back(engine);
            m_syntaxes.push_back(CommentSyntax::forEngine(m_doc, engine));
            m_byEngine.insert(engine, index);
        }
    }
    m_byExtension.insert(ext, index);
    return index;
}

} // namespace tarvik
