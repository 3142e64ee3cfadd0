#include "intake/FileOpener.h"

#include "config/NativePath.h"

#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

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

bool XdgLauncher::launch(const QString& path, Finished finished)
{
    // QProcess hands its arguments over as UTF-8, which would change a name that is not: the
    // name goes to a shell as octal escapes that printf turns back into its bytes (the "/"
    // behind them keeps line breaks at the name's end from being dropped).
    const QString program = QStandardPaths::findExecutable(m_opener);
    if (program.isEmpty())
        return false;
    QString escaped;
    for (unsigned char byte : pathToNative(path))
        escaped += QStringLiteral("\\0%1").arg(byte, 3, 8, QLatin1Char('0'));
    auto* opener = new QProcess(&m_running);
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, finished](int exitCode, QProcess::ExitStatus status) {
                         opener->deleteLater();
                         if (finished)
                             finished(status == QProcess::NormalExit ? exitCode : -1);
                     });
    opener->start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("p=$(printf '%b/' \"$1\") && exec \"$0\" \"${p%/}\""), program,
                   escaped});
    if (!opener->waitForStarted()) {
        delete opener;
        return false;
    }
    return true;
}

OpenFailure OpenWithAssociatedApplication(const QString& path, ApplicationLauncher& launcher,
                                          std::function<void(OpenFailure)> later)
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
    const bool started = launcher.launch(path, [later](int exitStatus) {
        const OpenFailure failure = openerFailure(exitStatus);
        if (failure != OpenFailure::None && later)
            later(failure);
    });
    return started ? OpenFailure::None : OpenFailure::CannotOpen;
}

OpenFailure openerFailure(int exitStatus)
{
    switch (exitStatus) {
    case 0:
        return OpenFailure::None;
    case 2:
        return OpenFailure::FileNotFound;
    case 3:
        return OpenFailure::NoAssociation;
    default:
        return OpenFailure::CannotOpen;
    }
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
