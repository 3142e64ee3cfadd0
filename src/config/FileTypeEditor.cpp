#include "config/FileTypeEditor.h"

namespace tarvik {

namespace {

const QString kEngin = QStringLiteral("Engin");
const QString kList = QStringLiteral("List");
constexpr int kListLimitBytes = 499; // what a single-key read can return of List

QString entryLine(const QString& ext, const QString& engine, const QString& kind)
{
    return IniDocument::keyLineText(QStringLiteral("Lang_") + ext, engine + u',' + kind + QStringLiteral(",1"));
}

// The List as a single-key read gives it, refused when that read would have cut it: editing a
// cut list would silently drop the extensions beyond the cut.
bool readList(const IniDocument& doc, QStringList& list, QString* error)
{
    const QString raw = doc.value(kEngin, kList).value_or(QString());
    const QString read = SettingsStore::profileValue(doc, kEngin, kList);
    if (read != raw && !raw.startsWith(u'%')) {
        if (error)
            *error = QStringLiteral("拡張子の一覧が長すぎるため変更できません。");
        return false;
    }
    list = read.isEmpty() ? QStringList() : read.split(u',');
    return true;
}

bool writeList(IniDocument& doc, const QStringList& list, QString* error)
{
    const QString value = list.join(u',');
    if (value.toUtf8().size() > kListLimitBytes) {
        if (error)
            *error = QStringLiteral("登録できる拡張子の数を超えています。");
        return false;
    }
    doc.setValue(kEngin, kList, value);
    return true;
}

bool alreadyRegistered(const QString& ext, QString* error)
{
    if (error)
        *error = QStringLiteral("拡張子「%1」は既に登録されています。").arg(ext);
    return false;
}

bool checkInput(const QString& ext, const QString& kind, QString* error)
{
    if (ext.isEmpty()) {
        if (error)
            *error = QStringLiteral("拡張子に使える文字がありません。");
        return false;
    }
    if (kind.contains(u',') || ext.contains(u',')) {
        if (error)
            *error = QStringLiteral("ソース種別と拡張子に「,」(カンマ)は使えません。");
        return false;
    }
    return true;
}

} // namespace

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
    const QString ext = NormalizeExtension(typedExtension);
    if (!checkInput(ext, kind, error))
        return false;
    return edit(
        [&](IniDocument& doc, QString* why) {
            QStringList list;
            if (!readList(doc, list, why))
                return false;
            // A second entry line would never be read: the first one always wins.
            if (list.contains(ext) || doc.value(kEngin, QStringLiteral("Lang_") + ext).has_value())
                return alreadyRegistered(ext, why);
            if (!writeList(doc, list << ext, why))
                return false;
            QStringList lines = doc.lines();
            SettingsStore::insertAtEndOfSection(lines, kEngin, entryLine(ext, engine, kind));
            doc.setLines(lines);
            return true;
        },
        error);
}

bool FileTypeEditor::change(const QString& editedExtension, const QString& typedExtension, const QString& engine,
                            const QString& kind, QString* error)
{
    const QString ext = NormalizeExtension(typedExtension);
    if (!checkInput(ext, kind, error))
        return false;
    return edit(
        [&](IniDocument& doc, QString* why) {
            QStringList list;
            if (!readList(doc, list, why))
                return false;
            if (ext != editedExtension && list.contains(ext))
                return alreadyRegistered(ext, why);
            for (QString& element : list) {
                if (element == editedExtension)
                    element = ext;
            }
            if (!writeList(doc, list, why))
                return false;
            QStringList lines = doc.lines();
            replaceEntryLine(lines, editedExtension, entryLine(ext, engine, kind));
            doc.setLines(lines);
            return true;
        },
        error);
}

bool FileTypeEditor::remove(const QString& extension, QString* error)
{
    return edit(
        [&](IniDocument& doc, QString*) {
            QStringList lines = doc.lines();
            DeleteFileTypeLines(lines, extension);
            doc.setLines(lines);
            return true;
        },
        error);
}

void FileTypeEditor::DeleteFileTypeLines(QStringList& lines, const QString& extension)
{
    bool listDone = false;
    bool entryDone = false;
    const QString entryPrefix = QStringLiteral("Lang_") + extension + u'=';
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString& line = lines[i];
        if (!listDone && line.startsWith(QStringLiteral("List="))) {
            QStringList elements = line.mid(5).split(u',');
            const qsizetype at = elements.indexOf(extension);
            if (at >= 0) {
                elements.removeAt(at);
                line = QStringLiteral("List=") + elements.join(u',');
                listDone = true;
            }
        } else if (!entryDone && line.startsWith(entryPrefix)) {
            lines.removeAt(i--);
            entryDone = true;
        }
    }
}

bool FileTypeEditor::replaceEntryLine(QStringList& lines, const QString& extension, const QString& newLine)
{
    const QString prefix = QStringLiteral("Lang_") + extension + u'=';
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
