#pragma once

#include "config/CommentSyntax.h"
#include "config/SettingsStore.h"

#include <QString>

#include <utility>
#include <vector>

namespace tarvik {

// Edits of the engines' rules (section Anryze_Rule) in the settings file, read once and written
// back once, atomically. Only rules that are set have keys: an engine whose rules are all unset
// has none, and an edit that changes no engine's rules leaves the file untouched.
class EngineRulesEditor {
public:
    explicit EngineRulesEditor(SettingsStore& settings) : m_settings(settings) {}

    // The engines offered for editing (Engin/Anr_Eng), and their tokens and rules.
    QStringList engines() const;
    std::vector<CommentSyntax> syntaxes(const QStringList& engines) const;

    // Stores the rules of each engine given; false with the reason in `error` when the file cannot
    // be read or written (it is then unchanged).
    bool save(const std::vector<std::pair<QString, CommentRules>>& engines, QString* error);

private:
    SettingsStore& m_settings;
};

} // namespace tarvik
