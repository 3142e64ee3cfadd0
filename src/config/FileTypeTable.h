#pragma once

#include "config/CommentSyntax.h"
#include "config/IniDocument.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace tarvik {

// One file type: ‹engine›,‹source kind›,‹search flag› stored as Engin/Lang_‹extension›.
struct FileTypeEntry {
    QString extension;
    QString engine;
    QString sourceKind;
    QString searchFlag;
    bool hasEntry = false; // false when List names the extension but no Lang_ key exists

    bool searched() const { return searchFlag == u"1"; }
};

// The ordered file-type table of section Engin.
class FileTypeTable {
public:
    static FileTypeTable fromDocument(const IniDocument& doc);

    const QList<FileTypeEntry>& entries() const { return m_entries; }
    // The extensions a directory search takes: those whose entry's last field is exactly "1".
    QStringList searchedExtensions() const;

private:
    QList<FileTypeEntry> m_entries;
};

// Engine lookup for a run: from a settings snapshot, the engine of a path and its tokens.
class EngineTable {
public:
    explicit EngineTable(IniDocument doc);

    // The text after the last "." of the whole path (the whole path when it has no dot).
    static QString lookupExtension(const QString& path);

    // Index of the path's engine, or -1 when its extension selects none.
    int engineIndexForPath(const QString& path);
    const QString& engineName(int index) const { return m_names[static_cast<size_t>(index)]; }
    const CommentSyntax& syntax(int index) const { return m_syntaxes[static_cast<size_t>(index)]; }

    QString engineForPath(const QString& path) { int i = engineIndexForPath(path); return i < 0 ? QString() : engineName(i); }

private:
    IniDocument m_doc;
    QHash<QString, int> m_byExtension; // exact extension text -> engine index or -1
    QHash<QString, int> m_byEngine;
    std::vector<QString> m_names;
    std::vector<CommentSyntax> m_syntaxes;
};

} // namespace tarvik
