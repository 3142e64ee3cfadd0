#include "app/DiffDialog.h"

#include "app/UserPrompter.h"
#include "config/NativePath.h"

#include <QDir>
#include <QGridLayout>
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
        grid->addWidget(label, r, 0);
        grid->addWidget(edit, r, 1);
        grid->addWidget(button, r, 2);
        connect(button, &QPushButton::clicked, this, [this, edit, caption] { choose(edit, caption); });
        return edit;
    };
    m_old = row(0, kOld, "Text1", "Command1");
    m_new = row(1, kNew, "Text2", "Command2");

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
    grid->addLayout(buttons, 2, 0, 1, 3);
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

void DiffDialog::accept()
{
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
