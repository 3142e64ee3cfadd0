#include "config/EngineRulesEditor.h"

#include "config/IniDocument.h"

namespace tarvik {

QStringList EngineRulesEditor::engines() const
{
    const QString names = m_settings.read(QStringLiteral("Engin"), QStringLiteral("Anr_Eng"));
    return names.isEmpty() ? QStringList() : names.split(u',');
}

std::vector<CommentSyntax> EngineRulesEditor::syntaxes(const QStringList& engines) const
{
    IniDocument doc;
    SettingsStore::loadDocument(m_settings.path(), doc, nullptr);
    std::vector<CommentSyntax> out;
    for (const QString& engine : engines)
        out.push_back(CommentSyntax::forEngine(doc, engine));
    return out;
}

bool EngineRulesEditor::save(const std::vector<std::pair<QString, CommentRules>>& engines, QString* error)
{
    IniDocument doc;
    QString reason;
    if (!SettingsStore::loadDocument(m_settings.path(), doc, &reason)) {
        if (error)
            *error = QStringLiteral("設定ファイルを読めませんでした。\n%1\n%2").arg(m_settings.path(), reason);
        return false;
    }
    bool changed = false;
    for (const auto& [engine, rules] : engines)
        changed = rules.writeTo(doc, engine) || changed;
    if (changed && !SettingsStore::saveDocument(m_settings.path(), doc, &reason)) {
        if (error)
            *error = QStringLiteral("設定ファイルを書き換えられませんでした。\n%1\n%2").arg(m_settings.path(), reason);
        return false;
    }
    return true;
}

} // namespace tarvik
