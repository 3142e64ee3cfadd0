#include "app/BasicSettingsDialog.h"

#include "app/CategoryDialog.h"
#include "app/DialogRunner.h"
#include "app/EngineRulesDialog.h"
#include "app/FileTypeEditorDialog.h"
#include "app/UserPrompter.h"
#include "app/WindowGeometry.h"
#include "config/CategoryEditor.h"
#include "config/EngineRulesEditor.h"
#include "config/ExcludeSettings.h"
#include "config/FileTypeEditor.h"
#include "config/FileTypeTable.h"
#include "config/SettingsStore.h"
#include "intake/PathPatterns.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>

#include <algorithm>
#include <functional>

namespace tarvik {

namespace {
const QString kDir = QStringLiteral("DIR");
const QString kDefDir = QStringLiteral("Def_Dir");
} // namespace

BasicSettingsDialog::BasicSettingsDialog(SettingsStore& settings, UserPrompter& prompter, DialogRunner& dialogs,
                                         Hooks hooks, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_prompter(prompter), m_dialogs(dialogs), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Tarvik"));
    auto* layout = new QGridLayout(this);
    auto* label1 = new QLabel(QStringLiteral("ファイルタイプ別解析エンジン登録"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    m_grid = new QTableWidget(0, 3, this);
    m_grid->setObjectName(QStringLiteral("MSFlexGrid1"));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_grid->verticalHeader()->hide();
    auto button = [this](const char* name, const QString& caption, void (BasicSettingsDialog::*slot)()) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto* label2 = new QLabel(QStringLiteral("デフォルトディレクトリ登録"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    m_directory = new QLineEdit(this);
    m_directory->setObjectName(QStringLiteral("Text1"));

    layout->addWidget(label1, 0, 0, 1, 4);
    layout->addWidget(m_grid, 1, 0, 1, 4);
    auto* settingButtons = new QHBoxLayout;
    settingButtons->addWidget(button("Command6", QStringLiteral("解析エンジン設定"), &BasicSettingsDialog::Command6_Click));
    settingButtons->addWidget(button("CommandCategory", QStringLiteral("カテゴリ設定..."), &BasicSettingsDialog::CommandCategory_Click));
    layout->addLayout(settingButtons, 2, 0);
    layout->addWidget(button("Command1", QStringLiteral("追加"), &BasicSettingsDialog::Command1_Click), 2, 1);
    layout->addWidget(button("Command2", QStringLiteral("変更"), &BasicSettingsDialog::Command2_Click), 2, 2);
    layout->addWidget(button("Command4", QStringLiteral("削除"), &BasicSettingsDialog::Command4_Click), 2, 3);
    layout->addWidget(label2, 3, 0, 1, 4);
    layout->addWidget(m_directory, 4, 0, 1, 3);
    layout->addWidget(button("Command5", QStringLiteral("..."), &BasicSettingsDialog::Command5_Click), 4, 3);
    auto* label3 = new QLabel(QStringLiteral("ディレクトリ検索の除外パターン（1行に1つ、.gitignore形式）"), this);
    label3->setObjectName(QStringLiteral("Label3"));
    m_excludes = new QPlainTextEdit(this);
    m_excludes->setObjectName(QStringLiteral("Text2"));
    m_excludes->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_excludes->setTabChangesFocus(true);
    m_excludes->setFixedHeight(m_excludes->fontMetrics().lineSpacing() * 5 + 2 * m_excludes->frameWidth() + 8);
    layout->addWidget(label3, 5, 0, 1, 4);
    layout->addWidget(m_excludes, 6, 0, 1, 4);
    layout->addWidget(button("Command3", QStringLiteral("終了"), &BasicSettingsDialog::Command3_Click), 7, 3);
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, [this] { Command2_Click(); });

    m_directory->setText(m_settings.read(kDir, kDefDir));
    const QStringList patterns = readExcludePatterns(m_settings.path());
    m_excludes->setPlainText(patterns.isEmpty() ? QString() : patterns.join(u'\n') + u'\n');
    LoadFileTypeGrid();
    // Wide enough for the three columns beside a vertical scroll bar.
    const QMargins margins = layout->contentsMargins();
    const int gridWidth = m_grid->horizontalHeader()->length() + 2 * m_grid->frameWidth()
                          + m_grid->verticalScrollBar()->sizeHint().width();
    resize(std::max(sizeHint().width(), gridWidth + margins.left() + margins.right()), sizeHint().height());
}

void BasicSettingsDialog::LoadFileTypeGrid()
{
    m_grid->clearContents();
    m_grid->setRowCount(0);
    m_grid->setHorizontalHeaderLabels({QStringLiteral("拡張子"), QStringLiteral("種類"), QStringLiteral("解析エンジン")});
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    const double dpi = screen() ? screen()->logicalDotsPerInchX() : 96.0;
    const int widths[] = {1500, 2000, 3000};
    for (int c = 0; c < 3; ++c)
        m_grid->setColumnWidth(c, WindowGeometry::toPixels(widths[c], dpi));
    IniDocument doc;
    SettingsStore::loadDocument(m_settings.path(), doc, nullptr);
    const FileTypeTable table = FileTypeTable::fromDocument(doc);
    // Extensions as ever, then the types by file name, then those by "#!" interpreter; each row
    // keeps how it types files and what it is called in the settings file.
    for (const QList<FileTypeEntry>* entries : {&table.entries(), &table.nameEntries(), &table.interpreterEntries()}) {
        for (const FileTypeEntry& e : *entries) {
            const int row = m_grid->rowCount();
            m_grid->insertRow(row);
            auto* first = new QTableWidgetItem(e.match == FileTypeEntry::Match::Interpreter ? QStringLiteral("#!") + e.extension
                                                                                           : e.extension);
            first->setData(kMatchRole, static_cast<int>(e.match));
            first->setData(kTextRole, e.extension);
            m_grid->setItem(row, 0, first);
            m_grid->setItem(row, 1, new QTableWidgetItem(e.sourceKind));
            m_grid->setItem(row, 2, new QTableWidgetItem(e.engine));
        }
    }
}

FileTypeEntry::Match BasicSettingsDialog::matchOf(int row) const
{
    const QTableWidgetItem* item = m_grid->item(row, 0);
    return item ? static_cast<FileTypeEntry::Match>(item->data(kMatchRole).toInt()) : FileTypeEntry::Match::Extension;
}

QString BasicSettingsDialog::textOf(int row) const
{
    const QTableWidgetItem* item = m_grid->item(row, 0);
    return item ? item->data(kTextRole).toString() : QString();
}

QStringList BasicSettingsDialog::engineNames()
{
    const QString names = m_settings.read(QStringLiteral("Engin"), QStringLiteral("Anr_Eng"));
    return names.isEmpty() ? QStringList() : names.split(u',');
}

void BasicSettingsDialog::selectionRows(int& cursor, int& otherEnd) const
{
    cursor = m_grid->currentRow();
    otherEnd = cursor;
    for (const QTableWidgetSelectionRange& range : m_grid->selectedRanges()) {
        if (range.topRow() <= cursor && cursor <= range.bottomRow())
            otherEnd = range.topRow() == cursor ? range.bottomRow() : range.topRow();
    }
}

void BasicSettingsDialog::runEditor(const std::function<void(FileTypeEditorDialog&)>& prepare)
{
    FileTypeEditor editor(m_settings);
    FileTypeEditorDialog form3(editor, m_prompter, [this] {
        LoadFileTypeGrid();
        if (m_hooks.rebuildFileTypeMenu)
            m_hooks.rebuildFileTypeMenu();
    }, this);
    prepare(form3);
    m_dialogs.run(form3);
    LoadFileTypeGrid();
}

void BasicSettingsDialog::Command1_Click()
{
    runEditor([this](FileTypeEditorDialog& form3) { form3.prepareAdd(engineNames()); });
}

void BasicSettingsDialog::Command2_Click()
{
    int cursor, row;
    selectionRows(cursor, row);
    if (row < 0 || row >= m_grid->rowCount())
        return;
    auto cell = [this, row](int c) { return m_grid->item(row, c) ? m_grid->item(row, c)->text() : QString(); };
    EditedExtension = textOf(row);
    EditedEngine = cell(2);
    const FileTypeEntry::Match match = matchOf(row);
    const QStringList engines = engineNames();
    // The last equal name wins; none equal selects the first.
    const int engineIndex = std::max<int>(0, static_cast<int>(engines.lastIndexOf(EditedEngine)));
    const QString kind = cell(1);
    runEditor([&](FileTypeEditorDialog& form3) { form3.prepareChange(engines, engineIndex, EditedExtension, kind, match); });
}

void BasicSettingsDialog::Command4_Click()
{
    // Exactly the rows shown as selected (the current one when none is), from the bottom up.
    QList<int> rows;
    for (const QModelIndex& index : m_grid->selectionModel()->selectedRows())
        rows << index.row();
    if (rows.isEmpty() && m_grid->currentRow() >= 0)
        rows << m_grid->currentRow();
    std::sort(rows.begin(), rows.end(), std::greater<>());
    FileTypeEditor editor(m_settings);
    for (int row : std::as_const(rows)) {
        if (m_grid->rowCount() == 1) {
            m_prompter.message(this, QStringLiteral("すべての解析を無効にする事はできません！"));
            break;
        }
        QString error;
        if (!editor.remove(matchOf(row), textOf(row), &error)) {
            m_prompter.message(this, error, UserPrompter::Icon::Warning);
            break;
        }
        m_grid->removeRow(row);
    }
    LoadFileTypeGrid();
    if (m_hooks.rebuildFileTypeMenu)
        m_hooks.rebuildFileTypeMenu();
}

void BasicSettingsDialog::Command6_Click()
{
    // The engine of the row the cursor is on comes first.
    const int row = m_grid->currentRow();
    const QString engine = row >= 0 && m_grid->item(row, 2) ? m_grid->item(row, 2)->text() : QString();
    EngineRulesEditor editor(m_settings);
    EngineRulesDialog rules(editor, m_prompter, this);
    rules.selectEngine(engine);
    m_dialogs.run(rules);
}

void BasicSettingsDialog::CommandCategory_Click()
{
    CategoryEditor editor(m_settings);
    CategoryDialog categories(editor, m_prompter, this);
    m_dialogs.run(categories);
    if (categories.result() == QDialog::Accepted && m_hooks.categoriesChanged)
        m_hooks.categoriesChanged();
}

void BasicSettingsDialog::Command5_Click()
{
    const QString folder = m_prompter.chooseFolder(this, QString(), m_directory->text());
    if (!folder.isEmpty())
        m_directory->setText(folder);
}

void BasicSettingsDialog::Command3_Click()
{
    // The patterns are checked first: a typing error keeps the dialog open with the text as typed.
    QStringList patterns;
    for (const QString& line : m_excludes->toPlainText().split(u'\n')) {
        if (line.trimmed().isEmpty())
            continue;
        // A line starting with "#" is the user's note and is kept as it is.
        if (!line.trimmed().startsWith(u'#') && !PathPatterns::valid(line.toStdString())) {
            m_prompter.message(this, QStringLiteral("除外パターン「%1」に一致するパスはありません。").arg(line),
                               UserPrompter::Icon::Warning);
            return;
        }
        patterns << line;
    }
    if (patterns != readExcludePatterns(m_settings.path())) {
        QString error;
        if (!writeExcludePatterns(m_settings.path(), patterns, &error)) {
            m_prompter.message(this, QStringLiteral("除外パターンを保存できませんでした。\n%1").arg(error),
                               UserPrompter::Icon::Warning);
            return;
        }
    }
    m_settings.WriteSetting(kDir, kDefDir, m_directory->text());
    if (m_hooks.setDefaultDirectory)
        m_hooks.setDefaultDirectory(m_settings.read(kDir, kDefDir));
    accept();
}

} // namespace tarvik
