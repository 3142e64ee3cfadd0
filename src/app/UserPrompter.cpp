#include "app/UserPrompter.h"

#include <QFileDialog>
#include <QMessageBox>

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

} // namespace

void DialogPrompter::message(QWidget* parent, const QString& text, Icon icon)
{
    QMessageBox box(toQt(icon), kTitle, text, QMessageBox::Ok, parent);
    // Messages carry names from disk and from servers; "<b>x</b>.c" is a name, not markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool DialogPrompter::askYesNo(QWidget* parent, const QString& text, bool defaultYes)
{
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool DialogPrompter::askOkCancel(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Ok;
}

QStringList DialogPrompter::openFiles(QWidget* parent, const QString& title, const QString& directory,
                                      const QString& filter)
{
    return QFileDialog::getOpenFileNames(parent, title, directory, filter);
}

QString DialogPrompter::chooseFolder(QWidget* parent, const QString& title, const QString& directory)
{
    return QFileDialog::getExistingDirectory(parent, title, directory);
}

QString DialogPrompter::saveFile(QWidget* parent, const QString& title, const QString& directory, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, title, directory, filter);
}

} // namespace tarvik
