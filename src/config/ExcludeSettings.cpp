#include "config/ExcludeSettings.h"

#include "config/IniDocument.h"
#include "config/SettingsStore.h"

namespace tarvik {

namespace {

const QString kSection = QStringLiteral("Exclude");

QString patternKey(qsizetype number) { return QStringLiteral("Pattern_%1").arg(number); }

bool isSectionHeader(const QString& line, QString* name)
{
    const QString t = line.trimmed();
    if (!t.startsWith(u'['))
        return false;
    const qsizetype close = t.indexOf(u']');
    *name = t.mid(1, close < 0 ? -1 : close - 1).trimmed();
    return true;
}

} // namespace

QStringList readExcludePatterns(const QString& iniPath)
{
    IniDocument doc;
    SettingsStore::loadDocument(iniPath, doc, nullptr);
    return readExcludePatterns(doc);
}

QStringList readExcludePatterns(const IniDocument& doc)
{
    QStringList patterns;
    // Read as written: no length cut and no %NAME% expansion, which would change a pattern.
    for (qsizetype n = 1;; ++n) {
        const std::optional<QString> value = doc.value(kSection, patternKey(n));
        if (!value)
            break;
        if (!value->trimmed().isEmpty())
            patterns << *value;
    }
    return patterns;
}

bool writeExcludePatterns(const QString& iniPath, const QStringList& patterns, QString* error)
{
    SettingsStore store(iniPath);
    return store.rewriteLines(
        [&](const QStringList& lines) {
            // The old section goes (its blank lines stay, keeping the file's spacing); the new
            // one is put at the end.
            QStringList kept;
            bool inSection = false;
            for (const QString& line : lines) {
                QString name;
                if (isSectionHeader(line, &name))
                    inSection = name.compare(kSection, Qt::CaseInsensitive) == 0;
                if (!inSection || line.trimmed().isEmpty())
                    kept << line;
            }
            QStringList section;
            for (const QString& p : patterns) {
                if (!p.trimmed().isEmpty())
                    section << IniDocument::keyLineText(patternKey(section.size() + 1), p);
            }
            if (section.isEmpty())
                return kept;
            while (!kept.isEmpty() && kept.back().trimmed().isEmpty())
                kept.removeLast();
            if (!kept.isEmpty())
                kept << QString();
            return kept << u'[' + kSection + u']' << section;
        },
        error);
}

} // namespace tarvik
