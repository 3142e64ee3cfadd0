#include "app/EngineRulesDialog.h"

#include "app/UserPrompter.h"
#include "config/EngineRulesEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tarvik {

namespace {

// The places of the rules in CommentRules::ruleNames.
enum Rule { kLine, kLineStart, kBlock, kNest, kEscape, kMultiline, kDocstring, kRules };

QString tokensText(const CommentSyntax& s)
{
    auto token = [](const std::string& t) { return t.empty() ? QStringLiteral("なし") : QString::fromStdString(t); };
    return QStringLiteral("行コメント %1　ブロックコメント %2 %3")
        .arg(token(s.lineToken), token(s.blockStart), token(s.blockEnd));
}

} // namespace

EngineRulesDialog::EngineRulesDialog(EngineRulesEditor& editor, UserPrompter& prompter, QWidget* parent)
    : QDialog(parent), m_editor(editor), m_prompter(prompter)
{
    setObjectName(QStringLiteral("FormRule"));
    setWindowTitle(QStringLiteral("Tarvik"));
    auto* grid = new QGridLayout(this);
    int row = 0;
    auto label = [&](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        grid->addWidget(l, row, 0);
        return l;
    };
    auto field = [&](const char* labelName, const QString& caption, const char* name, const QString& example) {
        label(labelName, caption);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setPlaceholderText(example);
        grid->addWidget(edit, row++, 1);
        return edit;
    };
    auto check = [&](const char* name, const QString& caption) {
        auto* box = new QCheckBox(caption, this);
        box->setObjectName(QString::fromLatin1(name));
        grid->addWidget(box, row++, 0, 1, 2);
        return box;
    };

    label("Label1", QStringLiteral("解析エンジン"));
    m_engine = new QComboBox(this);
    m_engine->setObjectName(QStringLiteral("Combo1"));
    m_engine->setEditable(false);
    grid->addWidget(m_engine, row++, 1);
    label("Label2", QStringLiteral("コメント"));
    m_tokens = new QLabel(this);
    m_tokens->setObjectName(QStringLiteral("Label3"));
    grid->addWidget(m_tokens, row++, 1);
    m_lineTokens = field("Label4", QStringLiteral("追加の行コメント"), "Text1", QStringLiteral("例: #"));
    m_lineStart = field("Label5", QStringLiteral("行頭のみの行コメント"), "Text2", QStringLiteral("例: REM,rem,::"));
    m_blocks = field("Label6", QStringLiteral("追加のブロックコメント"), "Text3", QStringLiteral("例: (* *), --[==[ ]==]"));
    m_nested = check("Check1", QStringLiteral("ブロックコメントの入れ子"));
    m_escape = field("Label7", QStringLiteral("エスケープ文字"), "Text4", QStringLiteral("例: \\"));
    m_multiline = field("Label8", QStringLiteral("複数行の文字列"), "Text5", QStringLiteral("例: \"\"\",'''"));
    m_docstrings = check("Check2", QStringLiteral("ドキュメント文字列をコメントとする"));
    auto* hint = new QLabel(QStringLiteral("複数あるときは「,」で区切り、開始と終了は空白で区切ります。\n"
                                           "何も指定しない解析エンジンは、これまでどおり数えます。"),
                            this);
    hint->setObjectName(QStringLiteral("Label9"));
    grid->addWidget(hint, row++, 0, 1, 2);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, row++, 0, 1, 2);
    connect(ok, &QPushButton::clicked, this, &EngineRulesDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_engines = m_editor.engines();
    m_stored = m_editor.syntaxes(m_engines);
    m_engine->addItems(m_engines);
    connect(m_engine, &QComboBox::currentIndexChanged, this, &EngineRulesDialog::showEngine);
    ok->setEnabled(!m_engines.isEmpty());
    showEngine(m_engine->currentIndex());
}

void EngineRulesDialog::selectEngine(const QString& engine)
{
    const qsizetype at = m_engines.indexOf(engine);
    m_engine->setCurrentIndex(at < 0 ? (m_engines.isEmpty() ? -1 : 0) : static_cast<int>(at));
}

void EngineRulesDialog::keepShown()
{
    if (m_shown < 0 || m_shown >= m_engines.size())
        return;
    QStringList texts(kRules);
    texts[kLine] = m_lineTokens->text();
    texts[kLineStart] = m_lineStart->text();
    texts[kBlock] = m_blocks->text();
    texts[kNest] = m_nested->isChecked() ? QStringLiteral("1") : QString();
    texts[kEscape] = m_escape->text();
    texts[kMultiline] = m_multiline->text();
    texts[kDocstring] = m_docstrings->isChecked() ? QStringLiteral("1") : QString();
    m_typed.insert(m_engines[m_shown], texts);
}

void EngineRulesDialog::showEngine(int index)
{
    keepShown();
    m_shown = index;
    const bool valid = index >= 0 && index < m_engines.size();
    for (QWidget* w : std::initializer_list<QWidget*>{m_lineTokens, m_lineStart, m_blocks, m_nested, m_escape,
                                                      m_multiline, m_docstrings})
        w->setEnabled(valid);
    if (!valid) {
        m_tokens->clear();
        return;
    }
    const CommentSyntax& stored = m_stored[static_cast<size_t>(index)];
    QStringList texts = m_typed.value(m_engines[index]);
    if (texts.isEmpty()) {
        for (const QString& rule : CommentRules::ruleNames())
            texts << stored.rules.ruleText(rule);
    }
    m_tokens->setText(tokensText(stored));
    m_lineTokens->setText(texts[kLine]);
    m_lineStart->setText(texts[kLineStart]);
    m_blocks->setText(texts[kBlock]);
    m_nested->setChecked(!texts[kNest].isEmpty());
    m_escape->setText(texts[kEscape]);
    m_multiline->setText(texts[kMultiline]);
    m_docstrings->setChecked(!texts[kDocstring].isEmpty());
}

void EngineRulesDialog::confirm()
{
    keepShown();
    std::vector<std::pair<QString, CommentRules>> changed;
    for (int i = 0; i < m_engines.size(); ++i) {
        const QString& engine = m_engines[i];
        if (!m_typed.contains(engine))
            continue;
        CommentRules rules;
        const QStringList texts = m_typed.value(engine);
        for (int r = 0; r < kRules; ++r) {
            QString error;
            if (!rules.setRule(CommentRules::ruleNames()[r], texts[r], &error)) {
                m_engine->setCurrentIndex(i);
                m_prompter.message(this, QStringLiteral("解析エンジン「%1」: %2").arg(engine, error),
                                   UserPrompter::Icon::Warning);
                return; // the input stays for the user to correct
            }
        }
        if (!(rules == m_stored[static_cast<size_t>(i)].rules))
            changed.emplace_back(engine, rules);
    }
    QString error;
    if (!changed.empty() && !m_editor.save(changed, &error)) {
        m_prompter.message(this, error, UserPrompter::Icon::Warning);
        return;
    }
    accept();
}

} // namespace tarvik
