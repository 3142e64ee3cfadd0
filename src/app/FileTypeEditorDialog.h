#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarvik {

class FileTypeEditor;
class UserPrompter;

// Form3: adds or changes one file type. The visible "OK" is enabled only while both text boxes
// (and the engine list) hold something; on OK the entry is stored and `changed` runs.
class FileTypeEditorDialog : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Add, Change };

    FileTypeEditorDialog(FileTypeEditor& editor, UserPrompter& prompter, std::function<void()> changed,
                         QWidget* parent = nullptr);

    // Add mode: empty boxes, the first engine selected.
    void prepareAdd(const QStringList& engines);
    // Change mode: the row's values, `engineIndex` selected.
    void prepareChange(const QStringList& engines, int engineIndex, const QString& editedExtension,
                       const QString& kind);

private:
    void updateOk();
    void confirm();

    FileTypeEditor& m_editor;
    UserPrompter& m_prompter;
    std::function<void()> m_changed;
    Mode m_mode = Mode::Add;
    QString m_editedExtension;
    QLineEdit* m_extension;
    QLineEdit* m_kind;
    QComboBox* m_engines;
    QPushButton* m_addOk;
    QPushButton* m_changeOk;
};

} // namespace tarvik
