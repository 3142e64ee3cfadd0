#include "app/MainWindow.h"
#include "app/QtTranslation.h"
#include "app/UserPrompter.h"
#include "config/SettingsStore.h"
#include "intake/FileOpener.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvik"));
    tarvik::installQtJapanese(app);
    tarvik::DialogPrompter prompter;
    tarvik::XdgLauncher launcher;
    tarvik::MainWindow window(tarvik::SettingsStore::defaultPath(), prompter, launcher);
    window.showRestored();
    return app.exec();
}
