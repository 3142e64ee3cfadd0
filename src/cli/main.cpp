#include "cli/CountCommand.h"
#include "config/NativePath.h"
#include "config/SettingsLocation.h"
#include "config/SettingsStore.h"

#include <QCoreApplication>

#include <climits>
#include <iostream>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << tarvik::pathFromNative(argv[i]);

    char cwd[PATH_MAX];
    tarvik::CountCommand::Environment env;
    env.currentDirectory = ::getcwd(cwd, sizeof cwd) ? tarvik::pathFromNative(cwd) : QStringLiteral(".");
    env.progressToErr = ::isatty(STDERR_FILENO) == 1;
    env.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    env.cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

    std::ios::sync_with_stdio(false);
    tarvik::CountCommand command(env);
    command.setSettingsFinder([] {
        const tarvik::SettingsLocation location =
            tarvik::locateSettings(QCoreApplication::applicationDirPath(), tarvik::UserFolders::fromEnvironment());
        if (!location.problem.isEmpty())
            std::cerr << "tarvik-count: " << location.problem.toStdString() << "\n";
        return location.settingsPath;
    });
    return command.execute(args, std::cout, std::cerr);
}
