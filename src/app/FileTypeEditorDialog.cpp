#include "app/FileTypeEditorDialog.h"

#include "app/UserPrompter.h"
#include "config/FileTypeEditor.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace tarvik {

FileTypeEditorDialog::FileTypeEditorDialog(FileTypeEditor& editor, UserPrompter& prompter,
                                           std::function<void()> changed, QWidget* parent)
    : QDialog(parent), m_editor(editor), m_prompter(prompter), m_changed(std::move(changed))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Tarvik"));
    auto* grid = new QGridLayout(this);
    auto label = [this, grid](const char* name, const QString& text, int row) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        grid->addWidget(l, row, 0);
    };
    label("Label1", QStringLiteral("拡張子"), 0);
    label("Label2", QStringLiteral("ソース種別"), 1);
    label("Label3", QStringLiteral("解析エンジン"), 2);
    m_extension = new QLineEdit(this);
    m_extension->setObjectName(QStringLiteral("Text1"));
    m_extension->setMaxLength(5);
    m_kind = new QLineEdit(this);
    m_kind->setObjectName(QStringLiteral("Text2"));
    m_engines = new QComboBox(this);
    m_engines->setObjectName(QStringLiteral("Combo1"));
    m_engines->setEditable(false);
    m_match = new QComboBox(this);
    m_match->setObjectName(QStringLiteral("Combo2"));
    m_match->addItems({QStringLiteral("拡張子"), QStringLiteral("ファイル名"), QStringLiteral("#!インタプリタ")});
    // An extension keeps its old limit; a name or interpreter may be longer.
    connect(m_match, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_extension->setMaxLength(index == 0 ? 5 : 255); });
    grid->addWidget(m_extension, 0, 1);
    grid->addWidget(m_match, 0, 2);
    grid->addWidget(m_kind, 1, 1);
    grid->addWidget(m_engines, 2, 1);
    // Two buttons in one place: the user always sees a single "OK".
    m_addOk = new QPushButton(QStringLiteral("OK"), this);
    m_addOk->setObjectName(QStringLiteral("Command1"));
    m_changeOk = new QPushButton(QStringLiteral("OK"), this);
    m_changeOk->setObjectName(QStringLiteral("Command2"));
    grid->addWidget(m_addOk, 3, 1, Qt::AlignRight);
    grid->addWidget(m_changeOk, 3, 1, Qt::AlignRight);
    connect(m_extension, &QLineEdit::textChanged, this, &FileTypeEditorDialog::updateOk);
    connect(m_kind, &QLineEdit::textChanged, this, &FileTypeEditorDialog::updateOk);
    connect(m_addOk, &QPushButton::clicked, this, &FileTypeEditorDialog::confirm);
    connect(m_changeOk, &QPushButton::clicked, this, &FileTypeEditorDialog::confirm);
}

void FileTypeEditorDialog::setMatch(FileTypeEntry::Match match) { m_match->setCurrentIndex(static_cast<int>(match)); }

FileTypeEntry::Match FileTypeEditorDialog::match() const
{
    return static_cast<FileTypeEntry::Match>(std::max(0, m_match->currentIndex()));
}

void FileTypeEditorDialog::prepareAdd(const QStringList& engines, FileTypeEntry::Match match, const QString& text)
{
    m_mode = Mode::Add;
    m_engines->clear();
    m_engines->addItems(engines);
    m_engines->setCurrentIndex(engines.isEmpty() ? -1 : 0);
    setMatch(match);
    m_extension->setText(text);
    m_kind->clear();
    m_changeOk->hide();
    m_addOk->show();
    updateOk();
}

void FileTypeEditorDialog::prepareChange(const QStringList& engines, int engineIndex, const QString& editedExtension,
                                         const QString& kind, FileTypeEntry::Match match)
{
    m_mode = Mode::Change;
    m_editedExtension = editedExtension;
    m_editedMatch = match;
    setMatch(match);
    m_engines->clear();
    m_engines->addItems(engines);
    m_engines->setCurrentIndex(engines.isEmpty() ? -1 : engineIndex);
    m_extension->setText(editedExtension);
    m_kind->setText(kind);
    m_addOk->hide();
    m_changeOk->show();
    updateOk();
}

void FileTypeEditorDialog::updateOk()
{
    // Raw texts decide, before normalising; without an engine there is nothing to store.
    const bool ready = !m_extension->text().isEmpty() && !m_kind->text().isEmpty() && m_engines->currentIndex() >= 0;
    (m_mode == Mode::Add ? m_addOk : m_changeOk)->setEnabled(ready);
}

void FileTypeEditorDialog::confirm()
{
    QString error;
    bool stored = false;
    if (m_mode == Mode::Add) {
        stored = m_editor.add(match(), m_extension->text(), m_engines->currentText(), m_kind->text(), &error);
    } else if (match() == m_editedMatch) {
        stored = m_editor.change(match(), m_editedExtension, m_extension->text(), m_engines->currentText(),
                                 m_kind->text(), &error);
    } else {
        // Another way of typing: the new type first, so a refusal leaves the old one in place.
        stored = m_editor.add(match(), m_extension->text(), m_engines->currentText(), m_kind->text(), &error)
                 && m_editor.remove(m_editedMatch, m_editedExtension, &error);
    }
    if (!stored) {
        m_prompter.message(this, error, UserPrompter::Icon::Warning);
        return; // the input stays for the user to correct
    }
    if (m_changed)
        m_changed();
    accept();
}

} // namespace tarvik
