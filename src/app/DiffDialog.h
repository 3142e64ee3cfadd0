#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace tarvik {

class SettingsStore;
class UserPrompter;

// What 差分解析 was last asked to compare, offered again the next time ([Diff] in the settings).
struct DiffChoice {
    bool revisions = false;
    QString oldFolder, newFolder;
    QString repository, oldRevision, newRevision;

    static DiffChoice read(SettingsStore& settings);
    void write(SettingsStore& settings) const;
};

// Asks for the two versions to compare: an old and a new folder, each typed or chosen with
// "...", or a git repository and two of its revisions (its tags and branches offered, newest
// first). OK is accepted only when both versions are there.
class DiffDialog : public QDialog {
    Q_OBJECT
public:
    // `directory` is where the folder dialogs open while a field is empty.
    DiffDialog(UserPrompter& prompter, QString directory, QWidget* parent = nullptr);

    QString oldFolder() const;
    QString newFolder() const;

    bool comparesRevisions() const;
    QString repositoryFolder() const;
    QString oldRevision() const;
    QString newRevision() const;

    void accept() override;

    // Fills the dialog with an earlier choice: its source, folders, repository and revisions.
    void restore(const DiffChoice& choice);
    DiffChoice choice() const;

private:
    void choose(QLineEdit* field, const QString& version);
    void chooseRepository();
    void offerRevisions();
    void showSource();

    UserPrompter& m_prompter;
    QString m_directory;
    QLineEdit* m_old = nullptr;
    QLineEdit* m_new = nullptr;
    QRadioButton* m_folders = nullptr;
    QRadioButton* m_revisions = nullptr;
    QLineEdit* m_repository = nullptr;
    QComboBox* m_oldRevision = nullptr;
    QComboBox* m_newRevision = nullptr;
    QList<QWidget*> m_folderRows, m_revisionRows;
};

} // namespace tarvik
