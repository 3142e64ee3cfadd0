#pragma once

#include "config/FileTypeTable.h"

#include <QDialog>

#include <functional>

class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

namespace tarvik {

class DialogRunner;
class FileTypeEditorDialog;
class SettingsStore;
class UserPrompter;

// Form2: the file-type table (add, change, delete), the engines' comment rules, the categories,
// the default directory and what the folder searches leave out.
class BasicSettingsDialog : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> rebuildFileTypeMenu;            // the main window's menu
        std::function<void(const QString&)> setDefaultDirectory; // the file dialogs' start
        std::function<void()> categoriesChanged;                 // stored by the categories' dialog
    };

    BasicSettingsDialog(SettingsStore& settings, UserPrompter& prompter, DialogRunner& dialogs, Hooks hooks,
                        QWidget* parent = nullptr);

    void LoadFileTypeGrid();
    void Command1_Click(); // add
    void Command2_Click(); // change the selected row
    void Command4_Click(); // delete the selected rows
    void Command5_Click(); // choose the default directory
    void Command6_Click(); // the comment rules of the engines
    void CommandCategory_Click(); // the categories
    void Command3_Click(); // 終了: store the default directory and the patterns, and close

    QString EditedExtension;
    QString EditedEngine;

private:
    QStringList engineNames();
    // How the row's type is matched, and its extension, name or interpreter as stored.
    static constexpr int kMatchRole = Qt::UserRole;
    static constexpr int kTextRole = Qt::UserRole + 1;
    FileTypeEntry::Match matchOf(int row) const;
    QString textOf(int row) const;
    void runEditor(const std::function<void(FileTypeEditorDialog&)>& prepare);
    // The rows between the cursor row and the other end of the selection, and the latter.
    void selectionRows(int& cursor, int& otherEnd) const;

    SettingsStore& m_settings;
    UserPrompter& m_prompter;
    DialogRunner& m_dialogs;
    Hooks m_hooks;
    QTableWidget* m_grid;
    QLineEdit* m_directory;
    QPlainTextEdit* m_excludes; // one pattern a line
};

} // namespace tarvik
