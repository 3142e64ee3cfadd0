#include "ftp/RemoteSession.h"

#include "config/NativePath.h"
#include "config/TextCodec.h"
#include "ftp/FtpSession.h"
#include "ftp/SftpSession.h"

#include <QRandomGenerator>
#include <QStringList>

#include <curl/curl.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarvik {

QString RemoteSession::schemeOf(const QString& serverName)
{
    const QString name = serverName.trimmed();
    const qsizetype end = name.indexOf(u"://");
    return end > 0 ? name.left(end).toLower() : QStringLiteral("ftp");
}

std::unique_ptr<RemoteSession> RemoteSession::forServer(const QString& serverName)
{
    if (schemeOf(serverName) == u"sftp")
        return std::make_unique<SftpSession>();
    return std::make_unique<FtpSession>();
}

namespace remote {

const QByteArray kUnsendable(1, '\0');

QByteArray urlAuthority(const QString& serverName, int defaultPort)
{
    QString name = serverName.trimmed();
    if (const qsizetype end = name.indexOf(u"://"); end > 0)
        name = name.mid(end + 3);
    QString host = name;
    QString port = QString::number(defaultPort);
    if (name.startsWith(u'[')) {
        const qsizetype close = name.indexOf(u']');
        if (close < 0)
            return {};
        host = name.mid(1, close - 1);
        const QString rest = name.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':'))
                return {};
            port = rest.mid(1);
        }
    } else if (name.count(u':') == 1) {
        host = name.section(u':', 0, 0);
        port = name.section(u':', 1);
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (host.isEmpty() || !ok || number == 0 || number > 65535)
        return {};
    for (QChar c : host) {
        if (c.isSpace() || QStringView(u"/@?#[]\\").contains(c))
            return {};
    }
    const QByteArray h = host.toUtf8();
    const QByteArray bracketed = host.contains(u':') ? QByteArray('[' + h + ']') : h;
    return bracketed + ':' + QByteArray::number(number);
}

QString decodeBytes(const QByteArray& bytes)
{
    return decodeText(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

QString decodePath(const QByteArray& raw)
{
    QStringList parts;
    for (const QByteArray& part : raw.split('/'))
        parts.append(decodeBytes(part));
    return parts.join(u'/');
}

QByteArray encodePath(const QString& path, const QHash<QString, QByteArray>& rawNames)
{
    if (const auto it = rawNames.constFind(path); it != rawNames.cend())
        return *it;
    QByteArray out;
    const QStringList parts = path.split(u'/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '/';
        const auto it = rawNames.constFind(parts[i]);
        out += it != rawNames.cend() ? *it : parts[i].toUtf8();
    }
    return out;
}

void initCurlOnce()
{
    // curl_global_init itself is not thread-safe; a function-local static runs it exactly once.
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)result;
}

namespace {

// "total 42", the block count some servers put before a listing.
bool isTotalLine(const QByteArray& line)
{
    if (!line.startsWith("total "))
        return false;
    bool ok = false;
    line.mid(6).toLongLong(&ok);
    return ok;
}

} // namespace

std::function<bool(const char*, size_t)> listingSink(QByteArray& data)
{
    return [&data](const char* bytes, size_t size) {
        constexpr qsizetype kMaxListingBytes = 64 * 1024 * 1024;
        if (data.size() + static_cast<qsizetype>(size) > kMaxListingBytes)
            return false;
        data.append(bytes, static_cast<qsizetype>(size));
        return true;
    };
}

FtpListing parseListing(const QByteArray& data, QHash<QString, QByteArray>& rawNames)
{
    FtpListing listing;
    QHash<QString, QByteArray> listed;
    for (QByteArray line : data.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || isTotalLine(line))
            continue;
        FtpEntry entry = parseListLine(line);
        if (!entry.name.isEmpty()) {
            const auto it = listed.constFind(entry.name);
            listed.insert(entry.name, it == listed.cend() || *it == entry.rawName ? entry.rawName : kUnsendable);
        }
        listing.entries.append(std::move(entry));
    }
    for (auto it = listed.cbegin(); it != listed.cend(); ++it)
        rawNames.insert(it.key(), it.value());
    return listing;
}

TempDownload::TempDownload(const QString& localPath)
    : m_target(pathToNative(localPath))
{
    const size_t slash = m_target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : m_target.substr(0, slash);
    for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
        m_temp = folder + "/.tarvik-" + QByteArray::number(QRandomGenerator::global()->generate64(), 16).toStdString()
            + ".part";
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
    }
    if (m_fd < 0)
        m_error = QStringLiteral("no free name for the temporary file");
}

TempDownload::~TempDownload()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temp.empty())
        ::unlink(m_temp.c_str());
}

bool TempDownload::write(const char* p, size_t left)
{
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC));
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

bool TempDownload::commit()
{
    if (m_fd < 0)
        return false;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 || std::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_committed = true;
    return true;
}

} // namespace remote

} // namespace tarvik
