#include "intake/FileOpener.h"

#include "intake/NativePath.h"

#include <QMimeDatabase>
#include <QProcess>

#include <sys/stat.h>
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
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
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
