#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace tarvik {

class UserPrompter;

// Asks for the two versions to compare: an old and a new folder, each typed or chosen with
// "...". OK is accepted only when both name existing folders.
class DiffDialog : public QDialog {
    Q_OBJECT
public:
    // `directory` is where the folder dialogs open while a field is empty.
    DiffDialog(UserPrompter& prompter, QString directory, QWidget* parent = nullptr);

    QString oldFolder() const;
    QString newFolder() const;

    void accept() override;

private:
    void choose(QLineEdit* field, const QString& version);

    UserPrompter& m_prompter;
    QString m_directory;
    QLineEdit* m_old = nullptr;
    QLineEdit* m_new = nullptr;
};

} // namespace tarvik
