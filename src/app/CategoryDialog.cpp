#include "app/CategoryDialog.h"

#include "app/UserPrompter.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tarvik {

CategoryDialog::CategoryDialog(CategoryEditor& editor, UserPrompter& prompter, QWidget* parent)
    : QDialog(parent), m_editor(editor), m_prompter(prompter)
{
    setObjectName(QStringLiteral("FormCategory"));
    setWindowTitle(QStringLiteral("カテゴリ設定"));
    auto* grid = new QGridLayout(this);
    auto* hint = new QLabel(QStringLiteral("ファイルは上のカテゴリから順に照らし、最初に一致したカテゴリに入ります。"
                                           "どれにも一致しないファイルは「本体」です。\n"
                                           "パターンは .gitignore 形式で、複数あるときは「;」で区切ります（例: test/;tests/;*_test.*）。"),
                            this);
    hint->setObjectName(QStringLiteral("Label1"));
    hint->setWordWrap(true);
    grid->addWidget(hint, 0, 0, 1, 2);
    m_table = new QTableWidget(0, 2, this);
    m_table->setObjectName(QStringLiteral("CategoryTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("カテゴリ名"), QStringLiteral("パターン")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(0, 160);
    m_table->setMinimumWidth(520);
    grid->addWidget(m_table, 1, 0);

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    auto* side = new QVBoxLayout;
    QPushButton* add = button("CommandAdd", QStringLiteral("追加"));
    QPushButton* remove = button("CommandRemove", QStringLiteral("削除"));
    QPushButton* up = button("CommandUp", QStringLiteral("上へ"));
    QPushButton* down = button("CommandDown", QStringLiteral("下へ"));
    for (QPushButton* b : {add, remove, up, down})
        side->addWidget(b);
    side->addStretch();
    grid->addLayout(side, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* ok = button("CommandOK", QStringLiteral("OK"));
    QPushButton* cancel = button("CommandCancel", QStringLiteral("キャンセル"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(add, &QPushButton::clicked, this, &CategoryDialog::addCategory);
    connect(remove, &QPushButton::clicked, this, &CategoryDialog::removeCategory);
    connect(up, &QPushButton::clicked, this, [this] { moveCategory(-1); });
    connect(down, &QPushButton::clicked, this, [this] { moveCategory(1); });
    connect(ok, &QPushButton::clicked, this, &CategoryDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    for (const CategoryEditor::Category& c : m_editor.read())
        addRow(c);
    if (m_table->rowCount() > 0)
        m_table->selectRow(0);
}

void CategoryDialog::addRow(const CategoryEditor::Category& category)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    m_table->setItem(row, 0, new QTableWidgetItem(category.name));
    m_table->setItem(row, 1, new QTableWidgetItem(CategoryEditor::patternsText(category.patterns)));
}

std::vector<CategoryEditor::Category> CategoryDialog::shownCategories() const
{
    std::vector<CategoryEditor::Category> out;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        auto text = [&](int column) { return m_table->item(row, column) ? m_table->item(row, column)->text() : QString(); };
        out.push_back({text(0), CategoryEditor::patternsOf(text(1))});
    }
    return out;
}

void CategoryDialog::addCategory()
{
    addRow({});
    const int row = m_table->rowCount() - 1;
    m_table->selectRow(row);
    m_table->setCurrentCell(row, 0);
    m_table->editItem(m_table->item(row, 0));
}

void CategoryDialog::removeCategory()
{
    const int row = m_table->currentRow();
    if (row < 0)
        return;
    m_table->removeRow(row);
    if (m_table->rowCount() > 0)
        m_table->selectRow(std::min(row, m_table->rowCount() - 1));
}

void CategoryDialog::moveCategory(int by)
{
    const int row = m_table->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= m_table->rowCount())
        return;
    for (int column = 0; column < 2; ++column) {
        QTableWidgetItem* moving = m_table->takeItem(row, column);
        m_table->setItem(row, column, m_table->takeItem(to, column));
        m_table->setItem(to, column, moving);
    }
    m_table->selectRow(to);
}

void CategoryDialog::confirm()
{
    // A cell still being typed in counts as typed: moving the cursor hands its text to the table.
    const int row = m_table->currentRow(), column = m_table->currentColumn();
    m_table->setCurrentCell(-1, -1);
    m_table->setCurrentCell(row, column);
    QString error;
    int at = -1;
    if (!m_editor.save(shownCategories(), &error, &at)) {
        if (at >= 0)
            m_table->selectRow(at);
        m_prompter.message(this, error, UserPrompter::Icon::Warning);
        return; // the list stays for the user to correct
    }
    accept();
}

} // namespace tarvik
