#pragma once

#include "config/CommentSyntax.h"
#include "config/IniDocument.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// One file type: ‹engine›,‹source kind›,‹search flag› stored as Engin/Lang_‹extension›, or for a
// whole file name as Engin/Name_‹name›, or for the interpreter of a "#!" line as
// Engin/Shebang_‹interpreter›.
struct FileTypeEntry {
    enum class Match { Extension, Name, Interpreter };
    QString extension; // the extension, the file name or the interpreter, as `match` says
    Match match = Match::Extension;
    QString engine;
    QString sourceKind;
    QString searchFlag;
    bool hasEntry = false; // false when List names the extension but no Lang_ key exists

    bool searched() const { return searchFlag == u"1"; }
};

// What a folder search takes: files by extension, by whole name, or (a name without a ".") by
// the interpreter of their "#!" line.
struct SearchedTypes {
    QStringList extensions;
    QStringList names;
    QStringList interpreters;
};

// How many bytes of a file are read for its "#!" line.
constexpr size_t kInterpreterHeadBytes = 128;

// The interpreter a file's first bytes name: the last path component of the first word of a
// "#!" line, or after "env" the first following word that does not begin with "-". Empty
// without such a line. A word cut by the end of a full head is not taken.
QString interpreterOfHead(std::string_view head);
// The interpreter's name with its trailing digits and dots removed ("python3.11" -> "python"):
// looked up when the name itself is not registered.
QString interpreterWithoutVersion(const QString& interpreter);
// Whether a file name (the last path component) has no ".", so its "#!" line may type it.
bool typedByInterpreter(QStringView fileName);

// A list of types is one key, read like any key up to 499 bytes, continued when it must hold
// more by the keys ‹list›_2, ‹list›_3, … up to the first one missing (older files have none).
QString typeListKey(const QString& list, int piece);
QStringList readTypeList(const IniDocument& doc, const QString& section, const QString& list);

// The ordered file-type table of section Engin.
class FileTypeTable {
public:
    static FileTypeTable fromDocument(const IniDocument& doc);

    // The extension types, in List order.
    const QList<FileTypeEntry>& entries() const { return m_entries; }
    // The types by whole file name (Name_List) and by interpreter (Shebang_List), in list order;
    // empty in settings that have no such lists.
    const QList<FileTypeEntry>& nameEntries() const { return m_names; }
    const QList<FileTypeEntry>& interpreterEntries() const { return m_interpreters; }
    // The extensions a directory search takes: those whose entry's last field is exactly "1".
    QStringList searchedExtensions() const;
    // The same for all three ways of typing a file.
    SearchedTypes searchedTypes() const;

private:
    QList<FileTypeEntry> m_entries;
    QList<FileTypeEntry> m_names;
    QList<FileTypeEntry> m_interpreters;
};

// Engine lookup for a run: from a settings snapshot, the engine of a path and its tokens.
class EngineTable {
public:
    explicit EngineTable(IniDocument doc);

    // The text after the last "." of the whole path (the whole path when it has no dot).
    static QString lookupExtension(const QString& path);

    // The first bytes of a file, at most kInterpreterHeadBytes; asked only for a file whose name
    // has no "." and only when some type is registered by interpreter.
    using HeadReader = std::function<std::string()>;

    // Index of the path's engine, or -1 when none is selected: by the file name (the path after
    // its last "/" and its first `top` characters, a revision's "REV:"), else by the extension,
    // else, for a name without a ".", by the interpreter of its "#!" line read through `head`.
    // `typeKey`, when given, receives the settings key of a type found by name or interpreter
    // ("Name_Makefile", "Shebang_python"), and is emptied for an extension.
    int engineIndexForPath(const QString& path, qsizetype top = 0, const HeadReader& head = nullptr,
                           QString* typeKey = nullptr);
    const QString& engineName(int index) const { return m_names[static_cast<size_t>(index)]; }
    const CommentSyntax& syntax(int index) const { return m_syntaxes[static_cast<size_t>(index)]; }

    QString engineForPath(const QString& path) { int i = engineIndexForPath(path); return i < 0 ? QString() : engineName(i); }

private:
    int engineIndex(const QString& engine);

    IniDocument m_doc;
    QHash<QString, int> m_byName;        // Name_List's names -> engine index (or -1)
    QHash<QString, int> m_byInterpreter; // Shebang_List's interpreters -> engine index (or -1)
    QHash<QString, int> m_byExtension; // exact extension text -> engine index or -1
    QHash<QString, int> m_byEngine;
    std::vector<QString> m_names;
    std::vector<CommentSyntax> m_syntaxes;
};

} // namespace tarvik
