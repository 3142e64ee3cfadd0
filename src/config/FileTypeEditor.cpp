#include "config/FileTypeEditor.h"

#include <QRegularExpression>

namespace tarvik {

namespace {

using Match = FileTypeEntry::Match;

const QString kEngin = QStringLiteral("Engin");
constexpr int kListLimitBytes = 499; // what a single-key read can return of List

QString listKey(Match match)
{
    return match == Match::Name ? QStringLiteral("Name_List") : match == Match::Interpreter ? QStringLiteral("Shebang_List")
                                                                                             : QStringLiteral("List");
}
QString entryPrefix(Match match)
{
    return match == Match::Name ? QStringLiteral("Name_") : match == Match::Interpreter ? QStringLiteral("Shebang_")
                                                                                         : QStringLiteral("Lang_");
}
// The messages name what is typed; an extension's keep their words.
QString say(Match match, const QString& text)
{
    if (match == Match::Extension)
        return text;
    QString out = text;
    return out.replace(QStringLiteral("拡張子"), match == Match::Name ? QStringLiteral("ファイル名") : QStringLiteral("インタプリタ"));
}

QString entryLine(Match match, const QString& ext, const QString& engine, const QString& kind)
{
    return IniDocument::keyLineText(entryPrefix(match) + ext, engine + u',' + kind + QStringLiteral(",1"));
}

// The list as single-key reads give it, refused when a read would have cut a piece: editing a
// cut list would silently drop the types beyond the cut.
bool readList(const IniDocument& doc, Match match, QStringList& list, QString* error)
{
    list.clear();
    for (int piece = 1; piece == 1 || doc.value(kEngin, typeListKey(listKey(match), piece)); ++piece) {
        const QString key = typeListKey(listKey(match), piece);
        const QString raw = doc.value(kEngin, key).value_or(QString());
        const QString read = SettingsStore::profileValue(doc, kEngin, key);
        if (read != raw && !raw.startsWith(u'%')) {
            if (error)
                *error = say(match, QStringLiteral("拡張子の一覧が長すぎるため変更できません。"));
            return false;
        }
        if (!read.isEmpty())
            list << read.split(u',');
    }
    return true;
}

// Fills the list key up to what one read returns, then its continuation keys in turn; those no
// longer needed are removed.
bool writeList(IniDocument& doc, Match match, const QStringList& list, QString* error)
{
    QStringList pieces{QString()};
    for (const QString& type : list) {
        QString& last = pieces.last();
        const QString joined = last.isEmpty() ? type : last + u',' + type;
        if (joined.toUtf8().size() <= kListLimitBytes) {
            last = joined;
            continue;
        }
        if (type.toUtf8().size() > kListLimitBytes) {
            if (error)
                *error = say(match, QStringLiteral("登録できる拡張子の数を超えています。"));
            return false;
        }
        pieces << type;
    }
    for (qsizetype i = 0; i < pieces.size(); ++i)
        doc.setValue(kEngin, typeListKey(listKey(match), static_cast<int>(i) + 1), pieces[i]);
    QStringList lines = doc.lines();
    for (int piece = static_cast<int>(pieces.size()) + 1; doc.value(kEngin, typeListKey(listKey(match), piece)); ++piece) {
        const QString prefix = typeListKey(listKey(match), piece) + u'=';
        lines.removeIf([&](const QString& line) { return line.startsWith(prefix, Qt::CaseInsensitive); });
    }
    doc.setLines(lines);
    return true;
}

bool alreadyRegistered(Match match, const QString& ext, QString* error)
{
    if (error)
        *error = say(match, QStringLiteral("拡張子「%1」は既に登録されています。")).arg(ext);
    return false;
}

bool checkInput(Match match, const QString& ext, const QString& kind, QString* error)
{
    if (ext.isEmpty()) {
        if (error)
            *error = say(match, QStringLiteral("拡張子に使える文字がありません。"));
        return false;
    }
    if (kind.contains(u',') || ext.contains(u',')) {
        if (error)
            *error = say(match, QStringLiteral("ソース種別と拡張子に「,」(カンマ)は使えません。"));
        return false;
    }
    // A file name is the last component of a path: with a "/" it could never match.
    if (match == Match::Name && ext.contains(u'/')) {
        if (error)
            *error = QStringLiteral("ファイル名に「/」は使えません。");
        return false;
    }
    return true;
}

} // namespace

QString FileTypeEditor::normalize(Match match, const QString& typed)
{
    if (match == Match::Extension)
        return NormalizeExtension(typed);
    QString text = typed.trimmed();
    if (match == Match::Interpreter) {
        if (text.startsWith(QStringLiteral("#!")))
            text = text.mid(2).trimmed();
        text = text.mid(text.lastIndexOf(u'/') + 1);
    }
    return text;
}

QString NormalizeExtension(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            u = static_cast<char16_t>(u - 0xFEE0);
        else if (u == 0x3000)
            u = u' ';
        if (u == u'.' || u == u' ')
            continue;
        out += QChar(u);
    }
    return out.toLower();
}

bool FileTypeEditor::edit(const std::function<bool(IniDocument&, QString*)>& body, QString* error)
{
    IniDocument doc;
    QString reason;
    if (!SettingsStore::loadDocument(m_settings.path(), doc, &reason)) {
        if (error)
            *error = QStringLiteral("設定ファイルを読めませんでした。\n%1\n%2").arg(m_settings.path(), reason);
        return false;
    }
    if (!body(doc, error))
        return false;
    if (!SettingsStore::saveDocument(m_settings.path(), doc, &reason)) {
        if (error)
            *error = QStringLiteral("設定ファイルを書き換えられませんでした。\n%1\n%2").arg(m_settings.path(), reason);
        return false;
    }
    return true;
}

bool FileTypeEditor::add(const QString& typedExtension, const QString& engine, const QString& kind, QString* error)
{
    return add(Match::Extension, typedExtension, engine, kind, error);
}

bool FileTypeEditor::add(Match match, const QString& typed, const QString& engine, const QString& kind, QString* error)
{
    const QString ext = normalize(match, typed);
    if (!checkInput(match, ext, kind, error))
        return false;
    return edit(
        [&](IniDocument& doc, QString* why) {
            QStringList list;
            if (!readList(doc, match, list, why))
                return false;
            // A second entry line would never be read: the first one always wins.
            if (list.contains(ext) || doc.value(kEngin, entryPrefix(match) + ext).has_value())
                return alreadyRegistered(match, ext, why);
            if (!writeList(doc, match, list << ext, why))
                return false;
            QStringList lines = doc.lines();
            SettingsStore::insertAtEndOfSection(lines, kEngin, entryLine(match, ext, engine, kind));
            doc.setLines(lines);
            return true;
        },
        error);
}

bool FileTypeEditor::change(const QString& editedExtension, const QString& typedExtension, const QString& engine,
                            const QString& kind, QString* error)
{
    return change(Match::Extension, editedExtension, typedExtension, engine, kind, error);
}

bool FileTypeEditor::change(Match match, const QString& edited, const QString& typed, const QString& engine,
                            const QString& kind, QString* error)
{
    const QString ext = normalize(match, typed);
    if (!checkInput(match, ext, kind, error))
        return false;
    return edit(
        [&](IniDocument& doc, QString* why) {
            QStringList list;
            if (!readList(doc, match, list, why))
                return false;
            if (ext != edited && list.contains(ext))
                return alreadyRegistered(match, ext, why);
            for (QString& element : list) {
                if (element == edited)
                    element = ext;
            }
            if (!writeList(doc, match, list, why))
                return false;
            QStringList lines = doc.lines();
            replaceEntryLine(lines, edited, entryLine(match, ext, engine, kind), match);
            doc.setLines(lines);
            return true;
        },
        error);
}

bool FileTypeEditor::remove(const QString& extension, QString* error) { return remove(Match::Extension, extension, error); }

bool FileTypeEditor::remove(Match match, const QString& text, QString* error)
{
    return edit(
        [&](IniDocument& doc, QString*) {
            QStringList lines = doc.lines();
            DeleteFileTypeLines(lines, text, match);
            doc.setLines(lines);
            return true;
        },
        error);
}

void FileTypeEditor::DeleteFileTypeLines(QStringList& lines, const QString& extension, Match match)
{
    bool listDone = false;
    bool entryDone = false;
    const QString entryPrefix = tarvik::entryPrefix(match) + extension + u'=';
    // The list key or one of its continuations.
    const QRegularExpression listLine(QStringLiteral("^%1(_[0-9]+)?=").arg(QRegularExpression::escape(listKey(match))));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString& line = lines[i];
        const QRegularExpressionMatch listMatch = listDone ? QRegularExpressionMatch() : listLine.match(line);
        if (listMatch.hasMatch()) {
            const QString listPrefix = listMatch.captured(0);
            QStringList elements = line.mid(listPrefix.size()).split(u',');
            const qsizetype at = elements.indexOf(extension);
            if (at >= 0) {
                elements.removeAt(at);
                line = listPrefix + elements.join(u',');
                listDone = true;
                // Settings without name or interpreter types have no such list. A continuation
                // stays, even empty: the ones after it are read only up to the first missing.
                if (elements.isEmpty() && match != Match::Extension && listMatch.captured(1).isEmpty())
                    lines.removeAt(i--);
            }
        } else if (!entryDone && line.startsWith(entryPrefix)) {
            lines.removeAt(i--);
            entryDone = true;
        }
    }
}

bool FileTypeEditor::replaceEntryLine(QStringList& lines, const QString& extension, const QString& newLine, Match match)
{
    const QString prefix = entryPrefix(match) + extension + u'=';
    for (QString& line : lines) {
        if (line.startsWith(prefix)) {
            line = newLine;
            return true;
        }
    }
    return false;
}

QString FileTypeEditor::withSearchFlag(const QString& entry, bool searched)
{
    const QStringList fields = entry.split(u',');
    return fields.value(0) + u',' + fields.value(1) + u',' + (searched ? u'1' : u'0');
}

} // namespace tarvik
