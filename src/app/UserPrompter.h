#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

namespace tarvik {

// Every message box, question and file or folder dialog of the program goes through this, so
// that tests can answer them and never block on a modal window. Titles of message boxes are
// always the product name "Tarvik".
class UserPrompter {
public:
    enum class Icon { None, Information, Warning, Critical };

    virtual ~UserPrompter() = default;

    virtual void message(QWidget* parent, const QString& text, Icon icon = Icon::None) = 0;
    // Yes/No; No is the default button unless `defaultYes`.
    virtual bool askYesNo(QWidget* parent, const QString& text, bool defaultYes = false) = 0;
    // OK/Cancel.
    virtual bool askOkCancel(QWidget* parent, const QString& text) = 0;
    // Several files may be chosen; an empty list means the dialog was cancelled.
    virtual QStringList openFiles(QWidget* parent, const QString& title, const QString& directory,
                                  const QString& filter) = 0;
    // Empty when cancelled.
    virtual QString chooseFolder(QWidget* parent, const QString& title, const QString& directory) = 0;
    // Empty when cancelled. The dialog itself asks before overwriting.
    virtual QString saveFile(QWidget* parent, const QString& title, const QString& directory,
                             const QString& filter) = 0;
};

// A save command: asks for the file with `title` and `filter`, saves through `save` (false with
// the reason), and shows a failure as `failure`, the file and the reason. Cancelling does nothing.
void saveThroughDialog(UserPrompter& prompter, QWidget* parent, const QString& title, const QString& directory,
                       const QString& filter, const QString& failure,
                       const std::function<bool(const QString& path, QString* reason)>& save);

// The real dialogs.
class DialogPrompter : public UserPrompter {
public:
    void message(QWidget* parent, const QString& text, Icon icon) override;
    bool askYesNo(QWidget* parent, const QString& text, bool defaultYes) override;
    bool askOkCancel(QWidget* parent, const QString& text) override;
    QStringList openFiles(QWidget* parent, const QString& title, const QString& directory,
                          const QString& filter) override;
    QString chooseFolder(QWidget* parent, const QString& title, const QString& directory) override;
    QString saveFile(QWidget* parent, const QString& title, const QString& directory, const QString& filter) override;

    // The boxes and dialogs above as they are shown, built apart so that what they say can be
    // looked at without showing them.
    static std::unique_ptr<QMessageBox> messageBox(QWidget* parent, const QString& text, Icon icon);
    static std::unique_ptr<QMessageBox> yesNoBox(QWidget* parent, const QString& text, bool defaultYes);
    static std::unique_ptr<QMessageBox> okCancelBox(QWidget* parent, const QString& text);
    static std::unique_ptr<QFileDialog> openFilesDialog(QWidget* parent, const QString& title, const QString& directory,
                                                        const QString& filter);
    static std::unique_ptr<QFileDialog> folderDialog(QWidget* parent, const QString& title, const QString& directory);
    static std::unique_ptr<QFileDialog> saveFileDialog(QWidget* parent, const QString& title, const QString& directory,
                                                       const QString& filter);
};

} // namespace tarvik
