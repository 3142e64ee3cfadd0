#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/ProgramIcons.h"
#include "app/QtTranslation.h"
#include "app/UserPrompter.h"
#include "config/SettingsLocation.h"
#include "intake/FileOpener.h"
#include "config/NativePath.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <iostream>

namespace {

QStringList arguments(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << tarvik::pathFromNative(argv[i]);
    return args;
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto status = tarvik::CommandLine::answerWithoutWindow(arguments(argc, argv), std::cout))
        return *status;
    QApplication app(argc, argv); // takes Qt's own options out of argv
    const auto paths = tarvik::CommandLine::paths(arguments(argc, argv), QDir::currentPath(), std::cerr);
    if (!paths)
        return 2;
    QApplication::setApplicationName(QStringLiteral("Tarvik"));
    tarvik::installQtJapanese(app);

    QApplication::setApplicationVersion(QStringLiteral(TARVIK_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(TARVIK_APP_ID));
    QApplication::setWindowIcon(tarvik::programIcon(QStringLiteral(TARVIK_APP_ID)));

    const tarvik::SettingsLocation location =
        tarvik::locateSettings(QCoreApplication::applicationDirPath(), tarvik::UserFolders::fromEnvironment());
    if (!location.problem.isEmpty())
        std::cerr << "tarvik: " << location.problem.toStdString() << "\n";
    tarvik::DialogPrompter prompter;
    tarvik::XdgLauncher launcher;
    tarvik::MainWindow window(location.settingsPath, prompter, launcher);
    window.setDownloadRoot(location.downloadRoot);
    window.setPerUserSettings(location.perUser);
    window.showRestored();
    // Once the window is on screen, so that a long folder search shows its busy pointer there.
    QTimer::singleShot(0, &window, [&window, &paths] { window.registerStartPaths(*paths); });
    return app.exec();
}
