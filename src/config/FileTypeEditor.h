#pragma once

#include "config/FileTypeTable.h"
#include "config/SettingsStore.h"

#include <QString>
#include <QStringList>

namespace tarvik {

// Dots and blanks removed, wide characters made narrow, lower case. Wide dots and blanks go
// too: a wide "．" typed before an extension must not end up stored as a narrow ".".
QString NormalizeExtension(const QString& text);

// Edits of the file-type table in the settings file. Each edit reads the file once and writes
// it back once, atomically, so the list and the entry lines never disagree after a failure.
// A refused or failed edit changes nothing and says why in `error`.
class FileTypeEditor {
public:
    using Match = FileTypeEntry::Match;

    explicit FileTypeEditor(SettingsStore& settings) : m_settings(settings) {}

    // What is stored for a typed type: an extension normalised; a file name as typed, blanks
    // around it dropped (names are matched exactly); an interpreter likewise, without a leading
    // "#!" and any folders ("/usr/bin/python3" -> "python3").
    static QString normalize(Match match, const QString& typed);

    // The same edits for each way of typing a file: List/Lang_, Name_List/Name_ or
    // Shebang_List/Shebang_. A name or interpreter list is written only once such a type is
    // added, and goes with its last type.
    bool add(Match match, const QString& typed, const QString& engine, const QString& kind, QString* error);
    bool change(Match match, const QString& edited, const QString& typed, const QString& engine, const QString& kind,
                QString* error);
    bool remove(Match match, const QString& text, QString* error);

    // The entry line "Lang_‹ext›=‹engine›,‹kind›,1" as the last line of section Engin, and the
    // extension appended to List. Refused: an extension that normalises to nothing, one already
    // listed, a source kind holding a comma.
    bool add(const QString& typedExtension, const QString& engine, const QString& kind, QString* error);

    // Every List element equal to `editedExtension` becomes the new extension; the first line
    // "Lang_‹editedExtension›=" is replaced (search flag "1" again).
    bool change(const QString& editedExtension, const QString& typedExtension, const QString& engine,
                const QString& kind, QString* error);

    // DeleteFileTypeLines: the first List element equal to the extension, and the first line
    // "Lang_‹extension›=" (exact, letter case included).
    bool remove(const QString& extension, QString* error);

    // The entry of an extension with its search flag replaced, engine and kind kept.
    static QString withSearchFlag(const QString& entry, bool searched);

    // The textual edits on their own, for a settings file's lines.
    static void DeleteFileTypeLines(QStringList& lines, const QString& extension, Match match = Match::Extension);
    static bool replaceEntryLine(QStringList& lines, const QString& extension, const QString& newLine,
                                 Match match = Match::Extension);

private:
    bool edit(const std::function<bool(IniDocument&, QString*)>& body, QString* error);

    SettingsStore& m_settings;
};

} // namespace tarvik
