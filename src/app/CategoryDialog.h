#pragma once

#include "config/CategoryEditor.h"

#include <QDialog>

class QTableWidget;

namespace tarvik {

class UserPrompter;

// FormCategory: the categories in their order, the first that matches a file winning. Edited in
// the table (a name, then patterns parted by ";") and stored together by OK; キャンセル stores
// nothing.
class CategoryDialog : public QDialog {
    Q_OBJECT
public:
    CategoryDialog(CategoryEditor& editor, UserPrompter& prompter, QWidget* parent = nullptr);

    std::vector<CategoryEditor::Category> shownCategories() const;

private:
    void addRow(const CategoryEditor::Category& category);
    void addCategory();
    void removeCategory();
    void moveCategory(int by);
    void confirm();

    CategoryEditor& m_editor;
    UserPrompter& m_prompter;
    QTableWidget* m_table;
};

} // namespace tarvik
