#include "output/Subtotals.h"

#include "config/FileTypeTable.h"
#include "config/SettingsStore.h"

namespace tarvik {

namespace {

const QString kEngin = QStringLiteral("Engin");

QString typeKey(const QString& kind, const QString& engine) { return kind + u'\x1f' + engine; }

std::u16string_view viewOf(QStringView text) { return {reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())}; }

// The folder `depth` levels below the root that holds `relative` (a path below the root):
// the length of its prefix, ending in "/", or 0 for a file right in the root.
qsizetype folderPrefix(const QString& relative, qsizetype from, int depth)
{
    qsizetype end = from;
    for (int d = 0; d < depth; ++d) {
        const qsizetype slash = relative.indexOf(u'/', end);
        if (slash < 0)
            break;
        end = slash + 1;
    }
    return end;
}

} // namespace

bool SubtotalGrouping::parse(const QString& text, SubtotalGrouping& grouping)
{
    if (text == u"type") {
        grouping = {By::Type, 1};
        return true;
    }
    if (text == u"dir") {
        grouping = {By::Folder, 1};
        return true;
    }
    if (text == u"category") {
        grouping = {By::Category, 1};
        return true;
    }
    if (!text.startsWith(u"dir:"))
        return false;
    const QString digits = text.mid(4);
    bool ok = false;
    const int depth = digits.toInt(&ok);
    // Digits only: "dir:+2" or "dir: 2" are typing errors, not depths.
    for (QChar c : digits)
        ok = ok && c.isDigit() && c.unicode() < 0x80;
    if (!ok || depth < 1)
        return false;
    grouping = {By::Folder, depth};
    return true;
}

int FolderRoots::add(const QString& root)
{
    auto known = m_index.constFind(root);
    if (known != m_index.cend())
        return *known;
    const int index = static_cast<int>(m_roots.size());
    m_roots.push_back(root);
    m_index.insert(root, index);
    return index;
}

Subtotals::Subtotals(Measure measure, SubtotalGrouping grouping, const IniDocument& settings, GeneratedFiles generated,
                     const FolderRoots* roots)
    : m_measure(measure), m_grouping(grouping), m_settings(settings), m_generated(generated), m_roots(roots)
{
    if (m_grouping.by == SubtotalGrouping::By::Category) {
        // 本体 first, then the categories in their order, whichever comes first.
        m_categories = Categories::fromDocument(m_settings);
        newGroup(Categories::kMain, Categories::kMain, {});
        for (const QString& name : m_categories.names())
            newGroup(name, name, {});
        return;
    }
    if (m_grouping.by != SubtotalGrouping::By::Type)
        return;
    // The table's order, whichever type turns up first.
    const FileTypeTable table = FileTypeTable::fromDocument(m_settings);
    for (const FileTypeEntry& e : table.entries()) {
        if (e.hasEntry && !e.engine.isEmpty())
            m_groupByExtension.emplace(viewOf(e.extension), newGroup(typeKey(e.sourceKind, e.engine), e.sourceKind, e.engine));
    }
    for (const QList<FileTypeEntry>* entries : {&table.nameEntries(), &table.interpreterEntries()}) {
        for (const FileTypeEntry& e : *entries) {
            if (e.hasEntry && !e.engine.isEmpty())
                newGroup(typeKey(e.sourceKind, e.engine), e.sourceKind, e.engine);
        }
    }
}

int Subtotals::newGroup(const QString& key, QString name, QString engine)
{
    auto known = m_groupByKey.constFind(key);
    if (known != m_groupByKey.cend())
        return *known;
    const int index = static_cast<int>(m_groups.size());
    m_groups.push_back(Group{std::move(name), std::move(engine), {}});
    m_groupByKey.insert(key, index);
    return index;
}

int Subtotals::typeGroup(const QString& path, const QString& key)
{
    if (!key.isEmpty()) {
        // Typed by name or "#!" line: that entry's kind and engine.
        const QStringList fields = SettingsStore::profileValue(m_settings, kEngin, key).split(u',');
        return newGroup(typeKey(fields.value(1), fields.value(0)), fields.value(1), fields.value(0));
    }
    // As EngineTable::lookupExtension: after the last ".", or the whole path.
    const qsizetype dot = path.lastIndexOf(u'.');
    return typeGroupOf(QStringView(path).mid(dot + 1));
}

int Subtotals::categoryGroup(const QString& relative)
{
    const QString& name = m_categories.categoryOf(relative);
    return newGroup(name, name, {});
}

int Subtotals::typeGroupOf(QStringView extension)
{
    auto cached = m_groupByExtension.find(viewOf(extension));
    if (cached != m_groupByExtension.end())
        return cached->second;
    // The entry the engine came from (settings keys ignore letter case, as for the engine).
    const QStringList fields =
        SettingsStore::profileValue(m_settings, kEngin, QStringLiteral("Lang_") + extension).split(u',');
    const QString engine = fields.value(0), kind = fields.value(1);
    const int group = newGroup(typeKey(kind, engine), kind, engine);
    m_groupByExtension.emplace(viewOf(extension), group);
    return group;
}

int Subtotals::folderGroup(const QString& path, qsizetype rootLength, const QString& root)
{
    const qsizetype end = folderPrefix(path, rootLength, m_grouping.depth);
    if (m_lastFolderGroup >= 0 && QStringView(path).left(end) == m_lastFolder)
        return m_lastFolderGroup;
    m_lastFolder = path.left(end);
    auto known = m_groupByKey.constFind(m_lastFolder);
    m_lastFolderGroup = known != m_groupByKey.cend() ? *known : newGroup(m_lastFolder, end == 0 ? root : m_lastFolder, {});
    return m_lastFolderGroup;
}

void Subtotals::addTo(Figures& row, const Figures& figures)
{
    for (size_t i = 0; i < row.size(); ++i)
        row[i] += figures[i];
}

void Subtotals::add(const FileResult& r)
{
    if (r.generated && m_generated == GeneratedFiles::Skip)
        return;
    if (r.outcome != FileOutcome::Counted) {
        const Extra extra = r.outcome == FileOutcome::NoEngine        ? NoEngine
                            : r.outcome == FileOutcome::NotAnalysable ? NotAnalysable
                                                                      : Missing;
        addTo(m_extras[extra], {1, 0, 0, 0});
        return;
    }
    const Figures figures{1, r.counts.executable, r.counts.comment, r.counts.total};
    if (r.generated && m_generated == GeneratedFiles::Separate) {
        addTo(m_extras[Generated], figures);
        return;
    }
    int group;
    if (m_grouping.by == SubtotalGrouping::By::Type) {
        group = typeGroup(r.path, r.typeKey);
    } else if (m_grouping.by == SubtotalGrouping::By::Category) {
        // Below the folder it was found in (a revision's top, "REV:", is such a folder).
        const int root = m_roots ? m_roots->rootOf(r.path) : -1;
        group = categoryGroup(root < 0 ? r.path : r.path.mid(m_roots->root(root).size()));
    } else {
        const int root = m_roots ? m_roots->rootOf(r.path) : -1;
        // A file given no root is its own folder's: one row per folder, whatever the depth.
        group = root < 0 ? folderGroup(r.directory, r.directory.size(), r.directory)
                         : folderGroup(r.path, m_roots->root(root).size(), m_roots->root(root));
    }
    addTo(m_groups[static_cast<size_t>(group)].figures, figures);
}

void Subtotals::add(const FileChange& c)
{
    if (c.generated && m_generated == GeneratedFiles::Skip)
        return;
    if (c.outcome != FileOutcome::Counted) {
        const Extra extra = c.outcome == FileOutcome::NoEngine        ? NoEngine
                            : c.outcome == FileOutcome::NotAnalysable ? NotAnalysable
                                                                      : Missing;
        addTo(m_extras[extra], {1, 0, 0, 0});
        return;
    }
    const Figures figures{1, c.steps.added, c.steps.changed, c.steps.deleted};
    if (c.generated && m_generated == GeneratedFiles::Separate) {
        addTo(m_extras[Generated], figures);
        return;
    }
    const int group = m_grouping.by == SubtotalGrouping::By::Type
                          ? typeGroup(c.newPath.isEmpty() ? c.oldPath : c.newPath, c.typeKey)
                      : m_grouping.by == SubtotalGrouping::By::Category
                          ? categoryGroup(c.relativePath)
                          : folderGroup(c.relativePath, 0, QStringLiteral("./"));
    addTo(m_groups[static_cast<size_t>(group)].figures, figures);
}

FigureTable Subtotals::table() const
{
    using Kind = FigureTable::Kind;
    const bool byType = m_grouping.by == SubtotalGrouping::By::Type;
    FigureTable t;
    const bool byCategory = m_grouping.by == SubtotalGrouping::By::Category;
    t.title = byType ? QStringLiteral("種類別") : byCategory ? QStringLiteral("カテゴリ別") : QStringLiteral("フォルダ別");
    if (byType)
        t.columns = {{QStringLiteral("種類"), QStringLiteral("kind"), Kind::Text},
                     {QStringLiteral("エンジン"), QStringLiteral("engine"), Kind::Text}};
    else if (byCategory)
        t.columns = {{QStringLiteral("カテゴリ"), QStringLiteral("category"), Kind::Text}};
    else
        t.columns = {{QStringLiteral("フォルダ"), QStringLiteral("folder"), Kind::Text}};
    t.columns.push_back({QStringLiteral("ファイル数"), QStringLiteral("files"), Kind::Count});
    if (m_measure == Measure::Lines)
        t.columns.insert(t.columns.end(), {{QStringLiteral("実行行"), QStringLiteral("executable"), Kind::Count},
                                           {QStringLiteral("コメント行"), QStringLiteral("comment"), Kind::Count},
                                           {QStringLiteral("総行数"), QStringLiteral("total"), Kind::Count}});
    else
        t.columns.insert(t.columns.end(), {{QStringLiteral("追加"), QStringLiteral("added"), Kind::Count},
                                           {QStringLiteral("変更"), QStringLiteral("changed"), Kind::Count},
                                           {QStringLiteral("削除"), QStringLiteral("deleted"), Kind::Count},
                                           {QStringLiteral("改造規模"), QStringLiteral("modified"), Kind::Count}});
    t.columns.push_back({QStringLiteral("KStep"), QStringLiteral("kstep"), Kind::KStep});
    // What the row is, for programs: the same in every language.
    t.columns.push_back({QStringLiteral("区分"), QStringLiteral("row"), Kind::Text});

    auto row = [&](const QString& name, const QString& engine, const Figures& f, const QString& code) {
        std::vector<FigureTable::Cell> cells{name};
        if (byType)
            cells.emplace_back(engine);
        cells.emplace_back(f[0]);
        cells.insert(cells.end(), {f[1], f[2], f[3]});
        // Steps: the executable lines, or the modification size (added and changed).
        const int64_t steps = m_measure == Measure::Lines ? f[1] : f[1] + f[2];
        if (m_measure == Measure::Changes)
            cells.emplace_back(steps);
        cells.emplace_back(steps);
        cells.emplace_back(code);
        t.rows.push_back(std::move(cells));
    };

    Figures total{};
    const QString groupCode = byType ? QStringLiteral("kind") : byCategory ? QStringLiteral("category") : QStringLiteral("folder");
    for (const Group& g : m_groups) {
        if (g.figures[0] == 0)
            continue;
        row(g.name, g.engine, g.figures, groupCode);
        for (size_t i = 0; i < total.size(); ++i)
            total[i] += g.figures[i];
    }
    struct ExtraRow {
        Extra extra;
        const char16_t* name;
        const char16_t* code;
    };
    for (const ExtraRow& e : {ExtraRow{NoEngine, u"不明なファイル", u"no_engine"},
                              ExtraRow{NotAnalysable, u"解析不能ファイル", u"not_analysable"},
                              ExtraRow{Missing, u"ファイル未存在", u"missing"}}) {
        const Figures& f = m_extras[e.extra];
        if (f[0] == 0)
            continue;
        row(QString::fromUtf16(e.name), {}, f, QString::fromUtf16(e.code));
        total[0] += f[0];
    }
    row(QStringLiteral("合計"), {}, total, QStringLiteral("total"));
    if (m_extras[Generated][0] > 0)
        row(QStringLiteral("生成ファイル（合計に含まず）"), {}, m_extras[Generated], QStringLiteral("generated"));
    return t;
}

FigureTable unregisteredTable(const UnregisteredFiles& files)
{
    using Kind = FigureTable::Kind;
    FigureTable t;
    t.title = QStringLiteral("未登録の種類");
    t.columns = {{QStringLiteral("種類"), QStringLiteral("kind"), Kind::Text},
                 {QStringLiteral("ファイル数"), QStringLiteral("files"), Kind::Count},
                 {QStringLiteral("バイト数"), QStringLiteral("bytes"), Kind::Count},
                 {QStringLiteral("区分"), QStringLiteral("row"), Kind::Text}};
    int64_t bytes = 0;
    for (const UnregisteredKind& k : files.kinds()) {
        t.rows.push_back({k.kind, int64_t(k.files), k.bytes, QStringLiteral("kind")});
        bytes += k.bytes;
    }
    t.rows.push_back({QStringLiteral("合計"), int64_t(files.files()), bytes, QStringLiteral("total")});
    return t;
}

} // namespace tarvik
