#include "intake/FileOpener.h"

#include "config/NativePath.h"

#include <QMimeDatabase>
#include <QProcess>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvik {

QString XdgLauncher::defaultApplication(const QString& mimeType)
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(5000) || query.exitStatus() != QProcess::NormalExit)
        return {};
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

bool XdgLauncher::launch(const QString& path)
{
    // QProcess would hand the argument over as UTF-8, which changes a name that is not: the
    // opener is started here, detached (its parent ends at once), with the path's own bytes.
    // A close-on-exec pipe tells whether the exec worked.
    const std::string program = pathToNative(m_opener);
    const std::string argument = pathToNative(path);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        const pid_t opener = ::fork();
        if (opener != 0)
            ::_exit(opener < 0 ? 1 : 0);
        ::execlp(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
        const int err = errno;
        [[maybe_unused]] ssize_t n = ::write(report[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    while ((n = ::read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

OpenFailure OpenWithAssociatedApplication(const QString& path, ApplicationLauncher& launcher)
{
    const std::string native = pathToNative(path);
    struct stat st {};
    if (path.isEmpty() || ::stat(native.c_str(), &st) != 0) {
        // Tell a missing file from a missing folder, as the user has to look for different things.
        const qsizetype slash = path.lastIndexOf(u'/');
        const std::string dir = slash < 0 ? std::string(".") : slash == 0 ? std::string("/") : pathToNative(path.left(slash));
        struct stat dst {};
        return ::stat(dir.c_str(), &dst) == 0 && S_ISDIR(dst.st_mode) ? OpenFailure::FileNotFound
                                                                       : OpenFailure::PathNotFound;
    }
    if (::access(native.c_str(), R_OK) != 0)
        return OpenFailure::AccessDenied;
    const QString mime = QMimeDatabase().mimeTypeForFile(path).name();
    if (launcher.defaultApplication(mime).isEmpty())
        return OpenFailure::NoAssociation;
    return launcher.launch(path) ? OpenFailure::None : OpenFailure::CannotOpen;
}

QString openFailureMessage(OpenFailure failure)
{
    switch (failure) {
    case OpenFailure::None:
        return {};
    case OpenFailure::FileNotFound:
        return QStringLiteral("ファイルが見つかりません。");
    case OpenFailure::PathNotFound:
        return QStringLiteral("パスが見つかりません。");
    case OpenFailure::AccessDenied:
        return QStringLiteral("アクセスは拒否されました。");
    case OpenFailure::NoAssociation:
        return QStringLiteral("関連付けが指定されていません。");
    case OpenFailure::CannotOpen:
        break;
    }
    return QStringLiteral("ファイルを開けません。");
}

} // namespace tarvik
