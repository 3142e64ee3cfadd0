#include "app/DiffDialog.h"

#include "app/UserPrompter.h"
#include "config/NativePath.h"
#include "config/SettingsStore.h"
#include "git/GitRevision.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QRadioButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <sys/stat.h>

namespace tarvik {

namespace {

const QString kOld = QStringLiteral("旧バージョン");
const QString kNew = QStringLiteral("新バージョン");

bool isFolder(const QString& path)
{
    struct stat st {};
    return ::stat(pathToNative(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

DiffDialog::DiffDialog(UserPrompter& prompter, QString directory, QWidget* parent)
    : QDialog(parent), m_prompter(prompter), m_directory(std::move(directory))
{
    setObjectName(QStringLiteral("FormDiff"));
    setWindowTitle(QStringLiteral("差分解析"));
    auto* grid = new QGridLayout(this);
    m_folders = new QRadioButton(QStringLiteral("フォルダ"), this);
    m_folders->setObjectName(QStringLiteral("Option1"));
    m_folders->setChecked(true);
    m_revisions = new QRadioButton(QStringLiteral("Gitリポジトリ"), this);
    m_revisions->setObjectName(QStringLiteral("Option2"));
    auto* sources = new QHBoxLayout;
    sources->addWidget(m_folders);
    sources->addWidget(m_revisions);
    sources->addStretch();
    grid->addLayout(sources, 0, 0, 1, 3);
    auto row = [&](int r, const QString& caption, const char* field, const char* chooser) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QStringLiteral("Label%1").arg(r + 1));
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(field));
        edit->setMinimumWidth(360);
        label->setBuddy(edit);
        auto* button = new QPushButton(QStringLiteral("..."), this);
        button->setObjectName(QString::fromLatin1(chooser));
        button->setAutoDefault(false);
        button->setFixedWidth(button->fontMetrics().horizontalAdvance(button->text()) + 24);
        grid->addWidget(label, r + 1, 0);
        grid->addWidget(edit, r + 1, 1);
        grid->addWidget(button, r + 1, 2);
        m_folderRows << label << edit << button;
        connect(button, &QPushButton::clicked, this, [this, edit, caption] { choose(edit, caption); });
        return edit;
    };
    m_old = row(0, kOld, "Text1", "Command1");
    m_new = row(1, kNew, "Text2", "Command2");

    auto* repoLabel = new QLabel(QStringLiteral("リポジトリ"), this);
    m_repository = new QLineEdit(this);
    m_repository->setObjectName(QStringLiteral("Text3"));
    repoLabel->setBuddy(m_repository);
    auto* repoButton = new QPushButton(QStringLiteral("..."), this);
    repoButton->setObjectName(QStringLiteral("Command5"));
    repoButton->setAutoDefault(false);
    repoButton->setFixedWidth(repoButton->fontMetrics().horizontalAdvance(repoButton->text()) + 24);
    grid->addWidget(repoLabel, 3, 0);
    grid->addWidget(m_repository, 3, 1);
    grid->addWidget(repoButton, 3, 2);
    m_revisionRows << repoLabel << m_repository << repoButton;
    auto revisionRow = [&](int r, const QString& caption, const char* name) {
        auto* label = new QLabel(caption, this);
        auto* combo = new QComboBox(this);
        combo->setObjectName(QString::fromLatin1(name));
        combo->setEditable(true); // any revision git understands, not only the names offered
        combo->setInsertPolicy(QComboBox::NoInsert);
        label->setBuddy(combo);
        grid->addWidget(label, r, 0);
        grid->addWidget(combo, r, 1, 1, 2);
        m_revisionRows << label << combo;
        return combo;
    };
    m_oldRevision = revisionRow(4, kOld, "Combo1");
    m_newRevision = revisionRow(5, kNew, "Combo2");
    connect(repoButton, &QPushButton::clicked, this, &DiffDialog::chooseRepository);
    connect(m_repository, &QLineEdit::editingFinished, this, &DiffDialog::offerRevisions);
    connect(m_revisions, &QRadioButton::toggled, this, &DiffDialog::showSource);
    showSource();

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Command3"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel->setObjectName(QStringLiteral("Command4"));
    cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 6, 0, 1, 3);
    connect(ok, &QPushButton::clicked, this, &DiffDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &DiffDialog::reject);
}

// A typed relative path is taken from the program's current folder, as the command line does.
QString DiffDialog::oldFolder() const { return QDir::cleanPath(QDir::current().absoluteFilePath(m_old->text())); }
QString DiffDialog::newFolder() const { return QDir::cleanPath(QDir::current().absoluteFilePath(m_new->text())); }

void DiffDialog::choose(QLineEdit* field, const QString& version)
{
    const QString start = field->text().isEmpty() ? m_directory : field->text();
    const QString folder = m_prompter.chooseFolder(this, version + QStringLiteral("のディレクトリを開く"), start);
    if (!folder.isEmpty())
        field->setText(folder);
}

bool DiffDialog::comparesRevisions() const { return m_revisions->isChecked(); }
QString DiffDialog::repositoryFolder() const
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(m_repository->text()));
}
QString DiffDialog::oldRevision() const { return m_oldRevision->currentText().trimmed(); }
QString DiffDialog::newRevision() const { return m_newRevision->currentText().trimmed(); }

void DiffDialog::showSource()
{
    for (QWidget* w : std::as_const(m_folderRows))
        w->setEnabled(!comparesRevisions());
    for (QWidget* w : std::as_const(m_revisionRows))
        w->setEnabled(comparesRevisions());
}

void DiffDialog::chooseRepository()
{
    const QString start = m_repository->text().isEmpty() ? m_directory : m_repository->text();
    const QString folder = m_prompter.chooseFolder(this, QStringLiteral("リポジトリのディレクトリを開く"), start);
    if (folder.isEmpty())
        return;
    m_repository->setText(folder);
    offerRevisions();
}

// The names offered follow the repository; what was typed stays.
void DiffDialog::offerRevisions()
{
    QString error;
    const std::unique_ptr<GitRepository> repo = GitRepository::open(repositoryFolder(), &error);
    const QStringList names = repo ? repo->revisionNames() : QStringList();
    for (QComboBox* combo : {m_oldRevision, m_newRevision}) {
        const QString typed = combo->currentText();
        combo->clear();
        combo->addItems(names);
        combo->setCurrentText(typed);
    }
    // The usual question: what changed from the previous release to the latest, always forward:
    // the newest version and the tag it follows on its own history.
    if (!names.isEmpty() && m_oldRevision->currentText().isEmpty() && m_newRevision->currentText().isEmpty()) {
        const QString previous = repo->previousTag(names[0]);
        if (!previous.isEmpty()) {
            m_oldRevision->setCurrentText(previous);
            m_newRevision->setCurrentText(names[0]);
        }
    }
}

DiffChoice DiffChoice::read(SettingsStore& settings)
{
    const QString section = QStringLiteral("Diff");
    auto value = [&](const char* key) { return settings.read(section, QString::fromLatin1(key)); };
    return {value("Source") == u"git", value("Old"), value("New"), value("Repository"), value("Old_Rev"),
            value("New_Rev")};
}

void DiffChoice::write(SettingsStore& settings) const
{
    const QString section = QStringLiteral("Diff");
    auto put = [&](const char* key, const QString& value) {
        if (settings.read(section, QString::fromLatin1(key)) != value)
            settings.WriteSetting(section, QString::fromLatin1(key), value);
    };
    put("Source", revisions ? QStringLiteral("git") : QStringLiteral("folder"));
    // The other source's fields stay as they were, for when the user switches back.
    if (revisions) {
        put("Repository", repository);
        put("Old_Rev", oldRevision);
        put("New_Rev", newRevision);
    } else {
        put("Old", oldFolder);
        put("New", newFolder);
    }
}

void DiffDialog::restore(const DiffChoice& choice)
{
    m_old->setText(choice.oldFolder);
    m_new->setText(choice.newFolder);
    m_repository->setText(choice.repository);
    m_oldRevision->setCurrentText(choice.oldRevision);
    m_newRevision->setCurrentText(choice.newRevision);
    (choice.revisions ? m_revisions : m_folders)->setChecked(true);
    if (!choice.repository.isEmpty())
        offerRevisions();
}

DiffChoice DiffDialog::choice() const
{
    return {comparesRevisions(), oldFolder(), newFolder(), repositoryFolder(), oldRevision(), newRevision()};
}

void DiffDialog::accept()
{
    if (comparesRevisions()) {
        QString error;
        const std::unique_ptr<GitRepository> repo = GitRepository::open(repositoryFolder(), &error);
        if (m_repository->text().isEmpty() || !repo) {
            m_prompter.message(this, QStringLiteral("Gitリポジトリが見つかりません：\n") + m_repository->text(),
                               UserPrompter::Icon::Warning);
            m_repository->setFocus();
            return;
        }
        for (auto [combo, version] : {std::pair{m_oldRevision, kOld}, std::pair{m_newRevision, kNew}}) {
            const QString revision = combo->currentText().trimmed();
            if (revision.isEmpty() || !repo->hasRevision(revision)) {
                m_prompter.message(this,
                                   revision.isEmpty() ? QString(version + QStringLiteral("のリビジョンを指定して下さい"))
                                                      : QString(version + QStringLiteral("のリビジョンが見つかりません：\n") + revision),
                                   UserPrompter::Icon::Warning);
                combo->setFocus();
                return;
            }
        }
        QDialog::accept();
        return;
    }
    for (auto [field, version] : {std::pair{m_old, kOld}, std::pair{m_new, kNew}}) {
        const QString path = field->text();
        QString problem;
        if (path.isEmpty())
            problem = version + QStringLiteral("のディレクトリを指定して下さい");
        else if (!isFolder(path))
            problem = version + QStringLiteral("のディレクトリが見つかりません：\n") + path;
        if (!problem.isEmpty()) {
            m_prompter.message(this, problem, UserPrompter::Icon::Warning);
            field->setFocus();
            return;
        }
    }
    QDialog::accept();
}

} // namespace tarvik
