#include "cli/CountCommand.h"
#include "config/AtomicFile.h"
#include "config/NativePath.h"
#include "config/SettingsLocation.h"
#include "config/SettingsStore.h"

#include <QCoreApplication>

#include <climits>
#include <csignal>
#include <iostream>
#include <thread>
#include <unistd.h>

namespace {

// An interrupted run leaves no temporary file of its -o output behind; the status is the
// shell's for a process ended by the signal.
void endOnSignal(int signal)
{
    tarvik::removePendingTemporaries();
    ::_exit(128 + signal);
}

void removeTemporariesOnInterrupt()
{
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction action {};
        // A signal ignored by whoever started us (nohup, a background job) stays ignored.
        if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN)
            continue;
        action.sa_handler = endOnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace

int main(int argc, char** argv)
{
    removeTemporariesOnInterrupt();
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
