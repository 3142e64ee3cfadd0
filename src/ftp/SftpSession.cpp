#include "ftp/SftpSession.h"

#include "config/NativePath.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <curl/curl.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

namespace tarvik {

namespace {

const QString kNotConnected = QStringLiteral("not connected");

QString homeFolder()
{
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty())
        return QFile::decodeName(home);
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_dir ? QFile::decodeName(pw->pw_dir) : QDir::homePath();
}

// SSH asks for a user name; without one given, the local one, as ssh itself does.
QString localUserName()
{
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_name ? QString::fromLocal8Bit(pw->pw_name) : qEnvironmentVariable("USER");
}

// "/a/./b/../c//d" -> "/a/c/d": SFTP has no current directory of its own, so the session keeps
// one and must know it in one spelling.
QByteArray normalized(const QByteArray& path)
{
    QList<QByteArray> kept;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(part);
    }
    QByteArray out;
    for (const QByteArray& part : std::as_const(kept))
        out += '/' + part;
    return out.isEmpty() ? QByteArray("/") : out;
}

// The path part of an SFTP URL: every byte but "/" percent-encoded, "~" included, so that no
// folder is taken for the home directory that libcurl reads into "/~/".
QByteArray urlPath(const QByteArray& path)
{
    return path.toPercentEncoding("/", "~");
}

// A name that may stand alone in the current directory.
bool isPlainName(const QByteArray& name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('\0') && name != "." && name != "..";
}

} // namespace

SshHostKey SshHostKey::fromBlob(const QByteArray& blob)
{
    SshHostKey key;
    key.blob = blob;
    // The blob starts with its type, an SSH string: a 32-bit big-endian length and the bytes.
    if (blob.size() >= 4) {
        const auto* p = reinterpret_cast<const unsigned char*>(blob.constData());
        const quint32 length = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
        if (length <= quint32(blob.size() - 4))
            key.type = QString::fromLatin1(blob.mid(4, length));
    }
    QByteArray digest = QCryptographicHash::hash(blob, QCryptographicHash::Sha256).toBase64();
    while (digest.endsWith('='))
        digest.chop(1);
    key.fingerprint = QStringLiteral("SHA256:") + QString::fromLatin1(digest);
    return key;
}

QByteArray SshHostKey::knownHostsLine(const QByteArray& authority) const
{
    const qsizetype colon = authority.lastIndexOf(':');
    const QByteArray port = authority.mid(colon + 1);
    QByteArray host = authority.left(colon);
    if (port == "22" && host.startsWith('['))
        host = host.mid(1, host.size() - 2);
    else if (port != "22")
        host = (host.startsWith('[') ? host : '[' + host + ']') + ':' + port;
    return host + ' ' + type.toLatin1() + ' ' + blob.toBase64() + '\n';
}

struct SftpSession::Impl {
    using Sink = std::function<bool(const char*, size_t)>;

    CURL* curl = nullptr;
    bool connected = false;
    QByteArray authority; // "host:port"
    QByteArray baseUrl;   // "sftp://host:port"
    QByteArray cwd;       // absolute, normalized, raw bytes
    QHash<QString, QByteArray> rawNames;
    // The listing read to check a directory before changing to it, for the listing that follows.
    QByteArray listedPath;
    QByteArray listedData;
    Sink* sink = nullptr;
    QString error;
    char errorText[CURL_ERROR_SIZE] = {};
    // Host keys: the file they are checked against, the one the user accepted, and the one refused.
    QByteArray knownHosts;
    QByteArray accepted;
    std::optional<SshHostKey> refused;
    QString notRemembered; // why an accepted key could not be added to known_hosts

    ~Impl() { close(); }

    bool failWith(const QString& why)
    {
        error = why;
        return false;
    }

    void close()
    {
        if (curl)
            curl_easy_cleanup(curl);
        curl = nullptr;
        connected = false;
        cwd.clear();
        rawNames.clear();
        listedPath.clear();
        listedData.clear();
    }

    static size_t onWrite(char* data, size_t, size_t size, void* userp)
    {
        auto* self = static_cast<Impl*>(userp);
        return self->sink && (*self->sink)(data, size) ? size : 0;
    }

    // Every key is held against known_hosts: a known one passes, a changed one is refused, and an
    // unknown one passes only when the user has accepted it (it is then added to known_hosts).
    static int onHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match, void* userp)
    {
        auto* self = static_cast<Impl*>(userp);
        if (match == CURLKHMATCH_OK)
            return CURLKHSTAT_FINE;
        const QByteArray blob = found->len > 0
            ? QByteArray(found->key, static_cast<qsizetype>(found->len))
            : QByteArray::fromBase64(QByteArray(found->key));
        SshHostKey key = SshHostKey::fromBlob(blob);
        if (match == CURLKHMATCH_MISSING && !self->accepted.isEmpty() && blob == self->accepted) {
            self->remember(key);
            return CURLKHSTAT_FINE;
        }
        key.changed = match == CURLKHMATCH_MISMATCH;
        self->refused = key;
        return CURLKHSTAT_REJECT;
    }

    // Appended, never rewritten: the file may hold lines of kinds we do not read.
    void remember(const SshHostKey& key)
    {
        const QByteArray line = key.knownHostsLine(authority);
        const QString folder = QFileInfo(QFile::decodeName(knownHosts)).absolutePath();
        if (!QDir().exists(folder) && QDir().mkpath(folder))
            ::chmod(QFile::encodeName(folder).constData(), 0700);
        const int fd = ::open(knownHosts.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            notRemembered = QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        // A last line without its line end would run into the new one.
        char last = '\n';
        const off_t size = ::lseek(fd, 0, SEEK_END);
        if (size > 0 && ::pread(fd, &last, 1, size - 1) != 1)
            last = '\n';
        const QByteArray text = last == '\n' ? line : '\n' + line;
        if (::write(fd, text.constData(), static_cast<size_t>(text.size())) != text.size())
            notRemembered = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
    }

    // One request: a listing when `path` ends in "/", a download otherwise, or the login alone
    // when there is no sink.
    bool perform(const QByteArray& path, Sink* bodySink)
    {
        const QByteArray url = baseUrl + urlPath(path);
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_NOBODY, bodySink ? 0L : 1L);
        sink = bodySink;
        errorText[0] = '\0';
        const CURLcode result = curl_easy_perform(curl);
        sink = nullptr;
        if (result == CURLE_OK) {
            error.clear();
            return true;
        }
        if (refused && refused->changed)
            error = QStringLiteral("the server's host key is not the one known_hosts holds for it (%1)")
                        .arg(refused->fingerprint);
        else if (refused)
            error = QStringLiteral("the server's host key is not in known_hosts (%1)").arg(refused->fingerprint);
        else if (errorText[0] != '\0')
            error = QString::fromUtf8(errorText);
        else
            error = QString::fromUtf8(curl_easy_strerror(result));
        return false;
    }

    void rememberNames(const QByteArray& path)
    {
        for (const QByteArray& part : path.split('/')) {
            if (!part.isEmpty())
                rawNames.insert(remote::decodeBytes(part), part);
        }
    }

    // The listing of the directory at `path` (absolute), into `data`; false when it cannot be listed.
    bool readListing(const QByteArray& path, QByteArray& data)
    {
        Sink sink = remote::listingSink(data);
        return perform(path == "/" ? path : path + '/', &sink);
    }

    QByteArray childOfCwd(const QByteArray& name) const { return QByteArray(cwd == "/" ? "" : cwd) + '/' + name; }
};

SftpSession::SftpSession()
    : m_impl(std::make_unique<Impl>())
{
}

SftpSession::~SftpSession() = default;

QString SftpSession::defaultKnownHostsFile()
{
    return homeFolder() + QStringLiteral("/.ssh/known_hosts");
}

void SftpSession::ConnectServer()
{
    m_impl->close();
    m_impl->refused.reset();
    m_impl->notRemembered.clear();
    remote::initCurlOnce();
    m_impl->authority = remote::urlAuthority(serverName, 22);
    if (m_impl->authority.isEmpty()) {
        m_impl->failWith(QStringLiteral("not a server name: ") + serverName);
        return;
    }
    CURL* curl = curl_easy_init();
    if (!curl) {
        m_impl->failWith(QStringLiteral("libcurl could not start"));
        return;
    }
    m_impl->curl = curl;
    m_impl->baseUrl = "sftp://" + m_impl->authority;
    m_impl->knownHosts = QFile::encodeName(knownHostsFile.isEmpty() ? defaultKnownHostsFile() : knownHostsFile);
    m_impl->accepted = acceptedHostKey;

    QString keyFile = privateKeyFile;
    if (keyFile.isEmpty()) {
        for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
            const QString candidate = homeFolder() + QStringLiteral("/.ssh/") + QLatin1String(name);
            if (QFileInfo::exists(candidate)) {
                keyFile = candidate;
                break;
            }
        }
    }
    long methods = CURLSSH_AUTH_AGENT;
    if (!keyFile.isEmpty())
        methods |= CURLSSH_AUTH_PUBLICKEY;
    if (!password.isEmpty())
        methods |= CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD;
    const QByteArray user = (userName.isEmpty() ? localUserName() : userName).toUtf8();
    const QByteArray pass = password.toUtf8();
    const QByteArray key = QFile::encodeName(keyFile);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "sftp");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, pass.constData());
    curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES, methods);
    if (!key.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_SSH_PRIVATE_KEYFILE, key.constData());
        curl_easy_setopt(curl, CURLOPT_SSH_PUBLIC_KEYFILE, ""); // libssh2 takes it from the private key
        curl_easy_setopt(curl, CURLOPT_KEYPASSWD, pass.constData());
    }
    curl_easy_setopt(curl, CURLOPT_SSH_KNOWNHOSTS, m_impl->knownHosts.constData());
    curl_easy_setopt(curl, CURLOPT_SSH_KEYFUNCTION, &Impl::onHostKey);
    curl_easy_setopt(curl, CURLOPT_SSH_KEYDATA, m_impl.get());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, m_impl->errorText);
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max<qint64>(timeouts.connect.count(), 1)));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(std::max<qint64>(timeouts.reply.count(), 1)));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max<qint64>(timeouts.stall.count(), 1)));
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXCONNECTS, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, m_impl.get());

    // The login alone; libcurl asks the server for the home directory on the way ("/~/").
    if (!m_impl->perform("/~/", nullptr)) {
        m_impl->close();
        return;
    }
    const char* entryPath = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_FTP_ENTRY_PATH, &entryPath) == CURLE_OK && entryPath)
        m_impl->cwd = normalized(entryPath);
    else
        m_impl->cwd = "/";
    m_impl->rememberNames(m_impl->cwd);
    m_impl->connected = true;
}

bool SftpSession::connected() const
{
    return m_impl->connected;
}

bool SftpSession::ChangeRemoteDirectory(const QString& path)
{
    if (!m_impl->connected)
        return m_impl->failWith(kNotConnected);
    if (path.isEmpty())
        return m_impl->failWith(QStringLiteral("no directory given"));
    const QByteArray given = remote::encodePath(path, m_impl->rawNames);
    if (given.contains('\0'))
        return m_impl->failWith(QStringLiteral("the name cannot go to the server"));
    const QByteArray target = normalized(given.startsWith('/') ? given : m_impl->cwd + '/' + given);
    // SFTP has no directory to change to: a directory is one the server lists.
    QByteArray data;
    if (!m_impl->readListing(target, data))
        return false;
    m_impl->cwd = target;
    m_impl->rememberNames(target);
    m_impl->listedPath = target;
    m_impl->listedData = std::move(data);
    return true;
}

QString SftpSession::GetRemoteDirectory()
{
    return m_impl->connected ? remote::decodePath(m_impl->cwd) : QString();
}

FtpListing SftpSession::ListRemoteEntries()
{
    if (!m_impl->connected) {
        m_impl->failWith(kNotConnected);
        return {};
    }
    QByteArray data;
    if (m_impl->listedPath == m_impl->cwd) {
        data = std::exchange(m_impl->listedData, {});
        m_impl->listedPath.clear();
    } else {
        if (!m_impl->readListing(m_impl->cwd, data))
            return {};
    }
    return remote::parseListing(data, m_impl->rawNames);
}

bool SftpSession::FetchRemoteFile(const QString& remoteName, const QString& localPath)
{
    if (!m_impl->connected)
        return m_impl->failWith(kNotConnected);
    if (remoteName.isEmpty() || localPath.isEmpty())
        return m_impl->failWith(QStringLiteral("no file given"));
    const QByteArray name = remote::encodePath(remoteName, m_impl->rawNames);
    if (!isPlainName(name))
        return m_impl->failWith(QStringLiteral("the name cannot go to the server"));
    remote::TempDownload file(localPath);
    if (!file.error().isEmpty())
        return m_impl->failWith(file.error());
    // SFTP tells the size before the transfer, and libcurl refuses a file larger than the ceiling
    // then and a transfer that ends short of its size; the count here bounds a file of no size.
    const qint64 ceiling = std::max<qint64>(downloadCeiling, 0);
    curl_easy_setopt(m_impl->curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(ceiling));
    qint64 received = 0;
    QString refused;
    Impl::Sink sink = [&](const char* bytes, size_t size) {
        received += static_cast<qint64>(size);
        if (received > ceiling) {
            refused = QStringLiteral("the file is larger than %1 bytes").arg(ceiling);
            return false;
        }
        if (file.write(bytes, size))
            return true;
        refused = file.error();
        return false;
    };
    const bool ok = m_impl->perform(m_impl->childOfCwd(name), &sink);
    curl_easy_setopt(m_impl->curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(0));
    if (!ok) {
        if (!refused.isEmpty())
            m_impl->error = refused;
        return false;
    }
    return file.commit() || m_impl->failWith(file.error());
}

SftpSession::DisconnectResult SftpSession::DisconnectServer()
{
    if (m_impl->connected)
        m_impl->close();
    return {};
}

QString SftpSession::lastError() const
{
    return m_impl->error;
}

const std::optional<SshHostKey>& SftpSession::refusedHostKey() const
{
    return m_impl->refused;
}

QString SftpSession::hostKeyNotRemembered() const
{
    return m_impl->notRemembered;
}

} // namespace tarvik
