#include "app/MainWindow.h"
#include "app/UserPrompter.h"
#include "config/SettingsLocation.h"
#include "intake/FileOpener.h"

#include <QApplication>

#include <iostream>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvik"));
    const tarvik::SettingsLocation location =
        tarvik::locateSettings(QCoreApplication::applicationDirPath(), tarvik::UserFolders::fromEnvironment());
    if (!location.problem.isEmpty())
        std::cerr << "tarvik: " << location.problem.toStdString() << "\n";
    tarvik::DialogPrompter prompter;
    tarvik::XdgLauncher launcher;
    tarvik::MainWindow window(location.settingsPath, prompter, launcher);
    window.setDownloadRoot(location.downloadRoot);
    window.showRestored();
    return app.exec();
}
