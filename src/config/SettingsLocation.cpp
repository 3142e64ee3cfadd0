#include "config/SettingsLocation.h"

#include "config/AtomicFile.h"
#include "config/IniDocument.h"
#include "config/SettingsStore.h"
#include "config/NativePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef TARVIK_DEFAULT_SETTINGS_FROM_BIN
#define TARVIK_DEFAULT_SETTINGS_FROM_BIN "../share/tarvik"
#endif

namespace tarvik {

namespace {

const QString kFileName = QStringLiteral("Tarvik.ini");
constexpr qint64 kDefaultLimitBytes = 16 * 1024 * 1024; // what the settings store reads at most

QString fromNative(const QByteArray& value)
{
    return pathFromNative(std::string_view(value.constData(), static_cast<size_t>(value.size())));
}

// $HOME, else the user's home in the password database (a service or `env -i` may leave HOME
// unset); empty when neither names a folder. Qt would give "/" and the folders would be made at
// the root of the file system.
QString homeFolder()
{
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/'))
        return fromNative(home);
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir
        && found->pw_dir[0] == '/')
        return fromNative(QByteArray(found->pw_dir));
    return {};
}

// Empty when the variable is not an absolute path and there is no home to go by.
QString baseFolder(const char* variable, const QString& homeRelative)
{
    const QByteArray value = qgetenv(variable);
    if (value.startsWith('/'))
        return fromNative(value);
    const QString home = homeFolder();
    if (home.isEmpty())
        return {};
    return (home == u"/" ? QString() : home) + u'/' + homeRelative;
}

bool exists(const QString& path)
{
    struct stat st {};
    return ::stat(pathToNative(path).c_str(), &st) == 0;
}

// The installed default, copied in one atomic write: a second program starting at the same
// moment sees either no file or the whole copy.
bool copyDefault(const QString& from, const QString& to, QString* error)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("no default settings at %1: %2").arg(displayPath(from), source.errorString());
        return false;
    }
    const QByteArray bytes = source.read(kDefaultLimitBytes + 1);
    if (bytes.size() > kDefaultLimitBytes) {
        *error = QStringLiteral("the default settings %1 are too large").arg(displayPath(from));
        return false;
    }
    if (!makeUserFolders(QFileInfo(to).path(), error))
        return false;
    // A default that already names hosts carries their passwords: owner-only from the start.
    std::optional<QFileDevice::Permissions> mode;
    const IniDocument doc = IniDocument::fromBytes(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    if (!SettingsStore::profileValue(doc, QStringLiteral("FTP_Server"), QStringLiteral("FTP_List")).isEmpty())
        mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QString reason;
    if (!writeFileAtomically(to, bytes, &reason, mode)) {
        *error = QStringLiteral("cannot write %1: %2").arg(displayPath(to), reason);
        return false;
    }
    return true;
}

} // namespace

bool makeUserFolders(const QString& folder, QString* error)
{
    const std::string native = pathToNative(folder);
    for (size_t slash = native.find('/', 1);; slash = native.find('/', slash + 1)) {
        const std::string part = native.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            if (error)
                *error = QStringLiteral("cannot create %1: %2")
                             .arg(displayPath(pathFromNative(part)), QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        if (slash == std::string::npos)
            return true;
    }
}

UserFolders UserFolders::fromEnvironment()
{
    return {baseFolder("XDG_CONFIG_HOME", QStringLiteral(".config")),
            baseFolder("XDG_DATA_HOME", QStringLiteral(".local/share"))};
}

QString installedDefaultSettings(const QString& programDir)
{
    return QDir::cleanPath(programDir + QStringLiteral("/" TARVIK_DEFAULT_SETTINGS_FROM_BIN "/") + kFileName);
}

SettingsLocation locateSettings(const QString& programDir, const UserFolders& folders)
{
    SettingsLocation location;
    location.settingsPath = programDir + u'/' + kFileName;
    location.downloadRoot = programDir;
    if (exists(location.settingsPath))
        return location;
    // Without a home nothing is made at the root of the file system: the program goes on as
    // with no settings beside it, and says why.
    if (folders.configHome.isEmpty() || folders.dataHome.isEmpty()) {
        location.problem = QStringLiteral("no home folder for the settings: HOME is not set and the user has none "
                                          "in the password database");
        return location;
    }
    location.perUser = true;
    location.settingsPath = folders.configHome + QStringLiteral("/tarvik/") + kFileName;
    location.downloadRoot = folders.dataHome + QStringLiteral("/tarvik");
    if (!exists(location.settingsPath))
        copyDefault(installedDefaultSettings(programDir), location.settingsPath, &location.problem);
    return location;
}

} // namespace tarvik
