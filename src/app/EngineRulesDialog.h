#pragma once

#include "config/CommentSyntax.h"

#include <QDialog>
#include <QHash>
#include <QStringList>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace tarvik {

class EngineRulesEditor;
class UserPrompter;

// FormRule: the comment rules of the analysis engines beyond their three tokens. One engine is
// shown at a time; edits of several engines are kept until OK stores them together. Only the
// rules that are set are stored, so an engine left without rules keeps no keys.
class EngineRulesDialog : public QDialog {
    Q_OBJECT
public:
    EngineRulesDialog(EngineRulesEditor& editor, UserPrompter& prompter, QWidget* parent = nullptr);

    // Shows `engine` (the first engine when it is not one of them).
    void selectEngine(const QString& engine);

private:
    void showEngine(int index);
    void keepShown();
    void confirm();

    EngineRulesEditor& m_editor;
    UserPrompter& m_prompter;
    QStringList m_engines;
    std::vector<CommentSyntax> m_stored; // per engine, as the file holds it
    QHash<QString, QStringList> m_typed; // the texts of every engine shown, in CommentRules::ruleNames order
    int m_shown = -1;
    QComboBox* m_engine;
    QLabel* m_tokens;
    QLineEdit* m_lineTokens;
    QLineEdit* m_lineStart;
    QLineEdit* m_blocks;
    QCheckBox* m_nested;
    QLineEdit* m_escape;
    QLineEdit* m_multiline;
    QCheckBox* m_docstrings;
};

} // namespace tarvik
