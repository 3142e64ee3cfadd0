#pragma once

#include "config/FileTypeTable.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarvik {

class FileTypeEditor;
class UserPrompter;

// Form3: adds or changes one file type, by extension, whole file name or "#!" interpreter (the
// selector beside the text box). The visible "OK" is enabled only while both text boxes (and the
// engine list) hold something; on OK the entry is stored and `changed` runs.
class FileTypeEditorDialog : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Add, Change };

    FileTypeEditorDialog(FileTypeEditor& editor, UserPrompter& prompter, std::function<void()> changed,
                         QWidget* parent = nullptr);

    // Add mode: the first engine selected, the box empty or holding `text` as a type of `match`.
    void prepareAdd(const QStringList& engines, FileTypeEntry::Match match = FileTypeEntry::Match::Extension,
                    const QString& text = {});
    // Change mode: the row's values, `engineIndex` selected.
    void prepareChange(const QStringList& engines, int engineIndex, const QString& editedExtension,
                       const QString& kind, FileTypeEntry::Match match = FileTypeEntry::Match::Extension);

private:
    void updateOk();
    void confirm();
    void setMatch(FileTypeEntry::Match match);
    FileTypeEntry::Match match() const;

    FileTypeEditor& m_editor;
    UserPrompter& m_prompter;
    std::function<void()> m_changed;
    Mode m_mode = Mode::Add;
    QString m_editedExtension;
    FileTypeEntry::Match m_editedMatch = FileTypeEntry::Match::Extension;
    QLineEdit* m_extension;
    QComboBox* m_match; // 拡張子, ファイル名, #!インタプリタ: the order of FileTypeEntry::Match
    QLineEdit* m_kind;
    QComboBox* m_engines;
    QPushButton* m_addOk;
    QPushButton* m_changeOk;
};

} // namespace tarvik
