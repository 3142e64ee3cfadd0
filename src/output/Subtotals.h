#pragma once

#include "config/IniDocument.h"
#include "config/Categories.h"
#include "counting/AnalysisRun.h"
#include "counting/VersionDiff.h"
#include "output/FigureTable.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvik {

// How files are grouped: by their type (source kind and engine of the file-type table), or by
// their folder `depth` levels below the root they were registered from (1: the root's immediate
// subfolders; files right in a root make the root's own row).
struct SubtotalGrouping {
    enum class By { Type, Folder, Category };
    By by = By::Type;
    int depth = 1;

    // "type", "dir" (depth 1), "dir:N" with N >= 1 or "category"; false for anything else.
    static bool parse(const QString& text, SubtotalGrouping& grouping);
};

// The folders files were registered from. A file is given its root when it is registered; a file
// that was given none is taken to come from its own folder.
class FolderRoots {
public:
    // The text every path of the root's files begins with: a folder with its "/" at the end
    // (see folder()), or the top of a revision, "REV:". The same root added twice keeps its
    // first number.
    int add(const QString& root);
    // A folder as a root: with one "/" at its end.
    static QString folder(const QString& path) { return path.endsWith(u'/') ? path : path + u'/'; }
    void assign(const QString& path, int root) { m_rootOf.insert(path, root); }
    // The root of a file, or -1 when it was given none.
    int rootOf(const QString& path) const { return m_rootOf.value(path, -1); }
    const QString& root(int index) const { return m_roots[static_cast<size_t>(index)]; }

private:
    std::vector<QString> m_roots;
    QHash<QString, int> m_index;
    QHash<QString, int> m_rootOf;
};

// Subtotals of a run or of a comparison, by type or by folder, fed one file at a time (a hash
// look-up or two per file). Counted files go to their group's row; files without an engine, not
// analysable or missing to a row of their own after the groups; then the total row, which
// matches the report's totals. Generated files follow `generated` as the totals do: with
// Separate they get a row after the total and are not in it.
//
// Row order: type rows in the order of the file-type table, extensions, then names, then
// interpreters (types found only through a Lang_ key outside its list after them, as met), folder rows as the files met them (the walk's order,
// root by root); only rows that hold a file. Then the outcome rows, the total, the generated row.
class Subtotals {
public:
    // A comparison's subtotals count steps added, changed and deleted instead of lines.
    enum class Measure { Lines, Changes };

    Subtotals(Measure measure, SubtotalGrouping grouping, const IniDocument& settings, GeneratedFiles generated,
              const FolderRoots* roots);

    void add(const FileResult& result);
    // A pair's type is that of its newest version; its folder is its path relative to the trees.
    void add(const FileChange& change);

    // Titled "種類別" or "フォルダ別". Text cells hold paths as the program carries them.
    FigureTable table() const;

private:
    using Figures = std::array<int64_t, 4>; // files, then executable/comment/total or added/changed/deleted
    enum Extra { NoEngine, NotAnalysable, Missing, Generated, ExtraRows };
    struct Group {
        QString name;   // the source kind, or the folder
        QString engine; // type rows only
        Figures figures{};
    };

    int typeGroup(const QString& path, const QString& typeKey);
    int categoryGroup(const QString& relative);
    int typeGroupOf(QStringView extension);
    int folderGroup(const QString& path, qsizetype rootLength, const QString& root);
    int newGroup(const QString& key, QString name, QString engine);
    void addTo(Figures& row, const Figures& figures);

    Measure m_measure;
    SubtotalGrouping m_grouping;
    IniDocument m_settings;
    GeneratedFiles m_generated;
    const FolderRoots* m_roots;
    Categories m_categories;
    std::vector<Group> m_groups;
    QHash<QString, int> m_groupByKey;
    // Looked up by a view of the path, so that no file's extension is copied.
    struct ViewHash {
        using is_transparent = void;
        size_t operator()(std::u16string_view v) const { return std::hash<std::u16string_view>{}(v); }
    };
    std::unordered_map<std::u16string, int, ViewHash, std::equal_to<>> m_groupByExtension;
    // The walk hands over a folder's files one after another: the last folder is asked first.
    QString m_lastFolder;
    int m_lastFolderGroup = -1;
    std::array<Figures, ExtraRows> m_extras{};
};

// The files a folder search passed over, by kind, most bytes first, then their total: titled
// "未登録の種類", columns kind, files, bytes and row ("kind", "total").
FigureTable unregisteredTable(const UnregisteredFiles& files);

// The subtotals as sinks of a run and of a comparison.
class CountSubtotals : public ResultSink, public Subtotals {
public:
    // `roots` (null: every file comes from its own folder) must outlive this object.
    CountSubtotals(SubtotalGrouping grouping, const IniDocument& settings, GeneratedFiles generated,
                   const FolderRoots* roots = nullptr)
        : Subtotals(Measure::Lines, grouping, settings, generated, roots)
    {
    }
    void fileAnalysed(qsizetype, const FileResult& result) override { add(result); }
};

class DiffSubtotals : public DiffSink, public Subtotals {
public:
    DiffSubtotals(SubtotalGrouping grouping, const IniDocument& settings, GeneratedFiles generated)
        : Subtotals(Measure::Changes, grouping, settings, generated, nullptr)
    {
    }
    void fileCompared(qsizetype, const FileChange& change) override { add(change); }
};

} // namespace tarvik
