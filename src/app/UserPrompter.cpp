#include "app/UserPrompter.h"

#include <QRegularExpression>

namespace tarvik {

namespace {

const QString kTitle = QStringLiteral("Tarvik");

QMessageBox::Icon toQt(UserPrompter::Icon icon)
{
    switch (icon) {
    case UserPrompter::Icon::Information:
        return QMessageBox::Information;
    case UserPrompter::Icon::Warning:
        return QMessageBox::Warning;
    case UserPrompter::Icon::Critical:
        return QMessageBox::Critical;
    case UserPrompter::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

std::unique_ptr<QMessageBox> box(QMessageBox::Icon icon, QWidget* parent, const QString& text,
                                 QMessageBox::StandardButtons buttons)
{
    auto b = std::make_unique<QMessageBox>(icon, kTitle, text, buttons, parent);
    // Messages carry names from disk and from servers; "<b>x</b>.c" is a name, not markup.
    b->setTextFormat(Qt::PlainText);
    return b;
}

// The extension of a filter's first pattern: "ログファイル (*.tvk)" gives "tvk"; none for "*".
QString suffixOf(const QString& nameFilter)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\(([^()]*)\\)\\s*$")).match(nameFilter);
    const QString patterns = m.hasMatch() ? m.captured(1) : nameFilter;
    const QString first = patterns.split(u' ', Qt::SkipEmptyParts).value(0);
    return first.startsWith(QStringLiteral("*.")) && first.indexOf(u'*', 1) < 0 ? first.mid(2) : QString();
}

} // namespace

std::unique_ptr<QMessageBox> DialogPrompter::messageBox(QWidget* parent, const QString& text, Icon icon)
{
    return box(toQt(icon), parent, text, QMessageBox::Ok);
}

std::unique_ptr<QMessageBox> DialogPrompter::yesNoBox(QWidget* parent, const QString& text, bool defaultYes)
{
    auto b = box(QMessageBox::Question, parent, text, QMessageBox::Yes | QMessageBox::No);
    b->setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    return b;
}

std::unique_ptr<QMessageBox> DialogPrompter::okCancelBox(QWidget* parent, const QString& text)
{
    // The print question shows no icon.
    return box(QMessageBox::NoIcon, parent, text, QMessageBox::Ok | QMessageBox::Cancel);
}

std::unique_ptr<QFileDialog> DialogPrompter::openFilesDialog(QWidget* parent, const QString& title,
                                                             const QString& directory, const QString& filter)
{
    auto dialog = std::make_unique<QFileDialog>(parent, title, directory, filter);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    return dialog;
}

std::unique_ptr<QFileDialog> DialogPrompter::folderDialog(QWidget* parent, const QString& title, const QString& directory)
{
    auto dialog = std::make_unique<QFileDialog>(parent, title, directory);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    return dialog;
}

std::unique_ptr<QFileDialog> DialogPrompter::saveFileDialog(QWidget* parent, const QString& title,
                                                            const QString& directory, const QString& filter)
{
    auto dialog = std::make_unique<QFileDialog>(parent, title, directory, filter);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension gets the chosen filter's one, before the dialog asks
    // whether to replace an existing file.
    QFileDialog* d = dialog.get();
    d->setDefaultSuffix(suffixOf(filter.split(QStringLiteral(";;")).value(0)));
    QObject::connect(d, &QFileDialog::filterSelected, d, [d](const QString& chosen) { d->setDefaultSuffix(suffixOf(chosen)); });
    return dialog;
}

void DialogPrompter::message(QWidget* parent, const QString& text, Icon icon)
{
    messageBox(parent, text, icon)->exec();
}

bool DialogPrompter::askYesNo(QWidget* parent, const QString& text, bool defaultYes)
{
    return yesNoBox(parent, text, defaultYes)->exec() == QMessageBox::Yes;
}

bool DialogPrompter::askOkCancel(QWidget* parent, const QString& text)
{
    return okCancelBox(parent, text)->exec() == QMessageBox::Ok;
}

QStringList DialogPrompter::openFiles(QWidget* parent, const QString& title, const QString& directory,
                                      const QString& filter)
{
    auto dialog = openFilesDialog(parent, title, directory, filter);
    return dialog->exec() == QDialog::Accepted ? dialog->selectedFiles() : QStringList();
}

QString DialogPrompter::chooseFolder(QWidget* parent, const QString& title, const QString& directory)
{
    auto dialog = folderDialog(parent, title, directory);
    return dialog->exec() == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
}

QString DialogPrompter::saveFile(QWidget* parent, const QString& title, const QString& directory, const QString& filter)
{
    auto dialog = saveFileDialog(parent, title, directory, filter);
    return dialog->exec() == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
}

void saveThroughDialog(UserPrompter& prompter, QWidget* parent, const QString& title, const QString& directory,
                       const QString& filter, const QString& failure,
                       const std::function<bool(const QString& path, QString* reason)>& save)
{
    // The dialog itself asks before replacing an existing file.
    const QString path = prompter.saveFile(parent, title, directory, filter);
    if (path.isEmpty())
        return;
    QString reason;
    if (!save(path, &reason))
        prompter.message(parent, failure + u'\n' + path + u'\n' + reason, UserPrompter::Icon::Warning);
}

} // namespace tarvik
