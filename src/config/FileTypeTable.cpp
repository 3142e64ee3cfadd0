#include "config/FileTypeTable.h"

#include "config/SettingsStore.h"

#include <algorithm>

namespace tarvik {

namespace {
const QString kEngin = QStringLiteral("Engin");

// The list key and the prefix of each entry's key, for each way of typing a file.
struct Keys {
    QString list;
    QString prefix;
};
Keys keysOf(FileTypeEntry::Match match)
{
    switch (match) {
    case FileTypeEntry::Match::Name:
        return {QStringLiteral("Name_List"), QStringLiteral("Name_")};
    case FileTypeEntry::Match::Interpreter:
        return {QStringLiteral("Shebang_List"), QStringLiteral("Shebang_")};
    case FileTypeEntry::Match::Extension:
        break;
    }
    return {QStringLiteral("List"), QStringLiteral("Lang_")};
}

QList<FileTypeEntry> entriesOf(const IniDocument& doc, FileTypeEntry::Match match)
{
    QList<FileTypeEntry> entries;
    const Keys keys = keysOf(match);
    for (const QString& ext : readTypeList(doc, kEngin, keys.list)) {
        FileTypeEntry e;
        e.extension = ext;
        e.match = match;
        const QString value = SettingsStore::profileValue(doc, kEngin, keys.prefix + ext);
        e.hasEntry = !value.isEmpty();
        if (e.hasEntry) {
            const QStringList fields = value.split(u',');
            e.engine = fields.value(0);
            e.sourceKind = fields.value(1);
            e.searchFlag = fields.last();
        }
        entries << e;
    }
    return entries;
}

QStringList searchedOf(const QList<FileTypeEntry>& entries)
{
    QStringList result;
    for (const FileTypeEntry& e : entries) {
        if (e.searched())
            result << e.extension;
    }
    return result;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

QString interpreterOfHead(std::string_view head)
{
    if (head.substr(0, 2) != "#!")
        return {};
    const size_t eol = head.find_first_of("\r\n");
    std::string_view line = head.substr(2, eol == std::string_view::npos ? std::string_view::npos : eol - 2);
    // A head that fills its buffer without ending the line may have cut its last word.
    const bool cut = eol == std::string_view::npos && head.size() >= kInterpreterHeadBytes;
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        const size_t start = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        if (i > start && !(cut && i == line.size()))
            words.push_back(line.substr(start, i - start));
    }
    if (words.empty())
        return {};
    auto lastComponent = [](std::string_view word) {
        const size_t slash = word.rfind('/');
        return slash == std::string_view::npos ? word : word.substr(slash + 1);
    };
    std::string_view program = lastComponent(words.front());
    if (program == "env") {
        program = {};
        for (size_t w = 1; w < words.size() && program.empty(); ++w) {
            if (words[w].front() != '-')
                program = lastComponent(words[w]);
        }
    }
    return QString::fromUtf8(program.data(), static_cast<qsizetype>(program.size()));
}

QString interpreterWithoutVersion(const QString& interpreter)
{
    qsizetype end = interpreter.size();
    while (end > 0 && (interpreter[end - 1] == u'.' || (interpreter[end - 1] >= u'0' && interpreter[end - 1] <= u'9')))
        --end;
    return interpreter.left(end);
}

QString typeListKey(const QString& list, int piece)
{
    return piece <= 1 ? list : list + u'_' + QString::number(piece);
}

QStringList readTypeList(const IniDocument& doc, const QString& section, const QString& list)
{
    QStringList types;
    for (int piece = 1; piece == 1 || doc.value(section, typeListKey(list, piece)); ++piece) {
        const QString value = SettingsStore::profileValue(doc, section, typeListKey(list, piece));
        if (!value.isEmpty())
            types << value.split(u',');
    }
    return types;
}

bool typedByInterpreter(QStringView fileName) { return !fileName.isEmpty() && !fileName.contains(u'.'); }

FileTypeTable FileTypeTable::fromDocument(const IniDocument& doc)
{
    FileTypeTable table;
    table.m_entries = entriesOf(doc, FileTypeEntry::Match::Extension);
    table.m_names = entriesOf(doc, FileTypeEntry::Match::Name);
    table.m_interpreters = entriesOf(doc, FileTypeEntry::Match::Interpreter);
    return table;
}

QStringList FileTypeTable::searchedExtensions() const { return searchedOf(m_entries); }

SearchedTypes FileTypeTable::searchedTypes() const
{
    return {searchedOf(m_entries), searchedOf(m_names), searchedOf(m_interpreters)};
}

EngineTable::EngineTable(IniDocument doc) : m_doc(std::move(doc))
{
    // Names and interpreters are matched exactly, letter case and all: only through their lists.
    const FileTypeTable table = FileTypeTable::fromDocument(m_doc);
    for (const FileTypeEntry& e : table.nameEntries())
        m_byName.insert(e.extension, engineIndex(e.engine));
    // An interpreter that selects no engine is as good as none: no head is read for it.
    for (const FileTypeEntry& e : table.interpreterEntries()) {
        if (const int index = engineIndex(e.engine); index >= 0)
            m_byInterpreter.insert(e.extension, index);
    }
}

QString EngineTable::lookupExtension(const QString& path)
{
    qsizetype dot = path.lastIndexOf(u'.');
    return dot < 0 ? path : path.mid(dot + 1);
}

int EngineTable::engineIndexForPath(const QString& path, qsizetype top, const HeadReader& head, QString* typeKey)
{
    if (typeKey)
        typeKey->clear();
    const QStringView name = QStringView(path).mid(std::max(path.lastIndexOf(u'/') + 1, std::min(top, path.size())));
    if (!m_byName.isEmpty()) {
        auto byName = m_byName.constFind(name.toString());
        if (byName != m_byName.cend() && *byName >= 0) {
            if (typeKey)
                *typeKey = QStringLiteral("Name_") + byName.key();
            return *byName;
        }
    }
    const QString ext = lookupExtension(path);
    int index = -1;
    auto cached = m_byExtension.constFind(ext);
    if (cached != m_byExtension.cend()) {
        index = *cached;
    } else {
        index = engineIndex(SettingsStore::profileValue(m_doc, kEngin, QStringLiteral("Lang_") + ext).section(u',', 0, 0));
        m_byExtension.insert(ext, index);
    }
    if (index >= 0 || m_byInterpreter.isEmpty() || !head || !typedByInterpreter(name))
        return index;
    const QString interpreter = interpreterOfHead(head());
    if (interpreter.isEmpty())
        return -1;
    auto found = m_byInterpreter.constFind(interpreter);
    if (found == m_byInterpreter.cend())
        found = m_byInterpreter.constFind(interpreterWithoutVersion(interpreter));
    if (found == m_byInterpreter.cend())
        return -1;
    if (typeKey)
        *typeKey = QStringLiteral("Shebang_") + found.key();
    return *found;
}

int EngineTable::engineIndex(const QString& engine)
{
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
    return index;
}

} // namespace tarvik
