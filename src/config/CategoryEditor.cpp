#include "config/CategoryEditor.h"

#include "config/Categories.h"
#include "config/IniDocument.h"
#include "config/NativePath.h"
#include "intake/PathPatterns.h"

#include <QRegularExpression>

#include <optional>

namespace tarvik {

namespace {

const QString kSection = QStringLiteral("Category");

QString keyOf(int number) { return QStringLiteral("Cat_%1").arg(number); }

bool refuse(QString* error, int* at, int index, const QString& why)
{
    if (error)
        *error = why;
    if (at)
        *at = index;
    return false;
}

std::vector<CategoryEditor::Category> categoriesOf(const IniDocument& doc)
{
    std::vector<CategoryEditor::Category> out;
    for (int i = 1;; ++i) {
        const QString value = SettingsStore::profileValue(doc, kSection, keyOf(i));
        if (value.isEmpty())
            break;
        QStringList fields = value.split(u';');
        const QString name = fields.takeFirst().trimmed();
        if (!name.isEmpty())
            out.push_back({name, CategoryEditor::patternsOf(fields.join(u';'))});
    }
    return out;
}

std::optional<QString> sectionOf(const QString& line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = t.indexOf(u']');
    return t.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

// Drops the Cat_ keys numbered above `count` wherever they stand in the section, after a gap
// too, since a later edit that closes the gap would bring them back; the section goes with its
// last key. True when a line went.
bool removeKeysAbove(IniDocument& doc, int count)
{
    static const QRegularExpression catKey(QStringLiteral("^\\s*cat_(\\d+)\\s*="), QRegularExpression::CaseInsensitiveOption);
    QStringList lines = doc.lines();
    const qsizetype before = lines.size();
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const std::optional<QString> name = sectionOf(lines[i])) {
            inSection = name->compare(kSection, Qt::CaseInsensitive) == 0;
            continue;
        }
        const QRegularExpressionMatch m = catKey.match(lines[i]);
        if (inSection && m.hasMatch() && m.captured(1).toLongLong() > count)
            lines.removeAt(i--);
    }
    if (lines.size() == before)
        return false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<QString> name = sectionOf(lines[i]);
        if (!name || name->compare(kSection, Qt::CaseInsensitive) != 0)
            continue;
        bool empty = true;
        for (qsizetype end = i + 1; end < lines.size() && !sectionOf(lines[end]); ++end)
            empty = empty && lines[end].trimmed().isEmpty();
        if (empty)
            lines.removeAt(i--);
    }
    doc.setLines(lines);
    return true;
}

} // namespace

std::vector<CategoryEditor::Category> CategoryEditor::read() const
{
    IniDocument doc;
    SettingsStore::loadDocument(m_settings.path(), doc, nullptr);
    return categoriesOf(doc);
}

QStringList CategoryEditor::patternsOf(const QString& typed)
{
    QStringList out;
    for (const QString& p : typed.split(u';')) {
        if (!p.trimmed().isEmpty())
            out << p.trimmed();
    }
    return out;
}

bool CategoryEditor::check(const std::vector<Category>& categories, QString* error, int* at)
{
    for (int i = 0; i < static_cast<int>(categories.size()); ++i) {
        const QString name = categories[static_cast<size_t>(i)].name.trimmed();
        if (name.isEmpty())
            return refuse(error, at, i, QStringLiteral("%1 行目のカテゴリに名前がありません。").arg(i + 1));
        if (name == Categories::kMain)
            return refuse(error, at, i,
                          QStringLiteral("「%1」はどのカテゴリにも当たらないファイルの集計名です。別の名前にして下さい。").arg(name));
        if (name.contains(u';'))
            return refuse(error, at, i, QStringLiteral("カテゴリ名「%1」に「;」は使えません。").arg(name));
        // A value beginning with "%" is read with the environment's names expanded.
        if (name.startsWith(u'%'))
            return refuse(error, at, i, QStringLiteral("カテゴリ名「%1」を「%」で始めることはできません。").arg(name));
        for (int j = 0; j < i; ++j) {
            if (categories[static_cast<size_t>(j)].name.trimmed() == name)
                return refuse(error, at, i, QStringLiteral("カテゴリ名「%1」が2回使われています。").arg(name));
        }
        for (const QString& pattern : categories[static_cast<size_t>(i)].patterns) {
            if (pattern.contains(u';') || !PathPatterns::valid(pathToNative(pattern.trimmed())))
                return refuse(error, at, i,
                              QStringLiteral("カテゴリ「%1」のパターン「%2」に一致するパスはありません。").arg(name, pattern));
        }
    }
    return true;
}

bool CategoryEditor::save(const std::vector<Category>& categories, QString* error, int* at)
{
    if (!check(categories, error, at))
        return false;
    IniDocument doc;
    QString reason;
    if (!SettingsStore::loadDocument(m_settings.path(), doc, &reason)) {
        if (error)
            *error = QStringLiteral("設定ファイルを読めませんでした。\n%1\n%2").arg(m_settings.path(), reason);
        return false;
    }
    std::vector<Category> stored;
    bool changed = false;
    for (int i = 0; i < static_cast<int>(categories.size()); ++i) {
        const Category& c = categories[static_cast<size_t>(i)];
        stored.push_back({c.name.trimmed(), patternsOf(patternsText(c.patterns))});
        const QString value = Categories::settingsValue(stored.back().name, stored.back().patterns);
        // A value that already says the same stays as the user wrote it.
        if (doc.value(kSection, keyOf(i + 1)) != value) {
            doc.setValue(kSection, keyOf(i + 1), value);
            changed = true;
        }
    }
    changed = removeKeysAbove(doc, static_cast<int>(categories.size())) || changed;
    if (!changed)
        return true;
    // What the file will read back as, compared before anything is written: a line that is too
    // long for a value is cut when read.
    const std::vector<Category> readBack = categoriesOf(IniDocument::fromBytes(doc.toBytes().toStdString()));
    for (size_t i = 0; i < stored.size(); ++i) {
        if (i >= readBack.size() || !(readBack[i] == stored[i]))
            return refuse(error, at, static_cast<int>(i),
                          QStringLiteral("カテゴリ「%1」は長すぎて設定ファイルに保存できません。").arg(stored[i].name));
    }
    if (!SettingsStore::saveDocument(m_settings.path(), doc, &reason)) {
        if (error)
            *error = QStringLiteral("設定ファイルを書き換えられませんでした。\n%1\n%2").arg(m_settings.path(), reason);
        return false;
    }
    return true;
}

} // namespace tarvik
