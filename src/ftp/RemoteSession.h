#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <cstdint>
#include <memory>

namespace tarvik {

// One entry of a remote directory listing.
struct FtpEntry {
    static constexpr uint32_t kDirectory = 0x10;
    static constexpr uint32_t kNormal = 0x80;

    uint32_t attributes = 0; // kDirectory for a directory, kNormal for a file, 0 for an unparsed line
    QString name;            // decoded: UTF-8 when valid, else CP932
    QString shortName;       // never longer than 14 bytes; empty when the server gives none
    QByteArray rawName;      // the bytes the server sent, sent back when the name is used
};

// A listing in server order; lastIndex() is -1 when it is empty.
struct FtpListing {
    QList<FtpEntry> entries;
    qsizetype lastIndex() const { return entries.size() - 1; }
};

// How long the session waits on a server before the operation fails; nothing waits for ever.
struct FtpTimeouts {
    std::chrono::milliseconds connect{15000}; // the connection, greeting, handshake and login
    std::chrono::milliseconds accept{15000};  // the server connecting back for a transfer (active mode)
    std::chrono::seconds reply{30};           // the answer to a command
    std::chrono::seconds stall{30};           // a transfer during which no byte arrives
};

// A session with a server whose directories the browser walks and whose files it fetches: FTP
// (with or without TLS) or SFTP, chosen by the scheme of the server's name. Not thread-safe: one
// operation at a time, from any one thread.
class RemoteSession {
public:
    virtual ~RemoteSession() = default;

    // "host", "host:port", "[v6]:port", each optionally after a scheme ("ftps://", "sftp://").
    QString serverName;
    QString userName;
    QString password;
    // Read by every operation.
    FtpTimeouts timeouts;
    // The most a download may bring when the server does not tell the file's size; one that goes
    // on past it is refused. With a size, the download stops at that size.
    static constexpr qint64 kDefaultDownloadCeiling = qint64(1) << 30; // 1 GiB
    qint64 downloadCeiling = kDefaultDownloadCeiling;

    // Logs in; connected() tells whether it worked. No message here.
    virtual void ConnectServer() = 0;
    virtual bool connected() const = 0;
    // Makes `path` the current remote directory; false when the server refuses it (the current
    // directory then stays). Path components that came from a listing are sent as the bytes the
    // server gave.
    virtual bool ChangeRemoteDirectory(const QString& path) = 0;
    // The current remote directory as the server reports it, or "".
    virtual QString GetRemoteDirectory() = 0;
    // The entries of the current remote directory; empty on any failure.
    virtual FtpListing ListRemoteEntries() = 0;
    // Downloads `remoteName` (relative to the current directory) to `localPath`, overwriting it;
    // false when nothing was written (a partial file is never left behind).
    virtual bool FetchRemoteFile(const QString& remoteName, const QString& localPath) = 0;

    struct DisconnectResult {
        bool ftpClosed = true;      // false: "FTPの切断に失敗しました！"
        bool internetClosed = true; // false: "INTERNETの切断に失敗しました！"
    };
    // Closes the connection; does nothing for a session that is not connected.
    virtual DisconnectResult DisconnectServer() = 0;

    // Why the last operation failed, in libcurl's words or the session's own; empty when it worked.
    virtual QString lastError() const = 0;

    // The scheme of a server name, lower case ("ftp" when it has none).
    static QString schemeOf(const QString& serverName);
    // The session a server name asks for: SFTP for "sftp://", FTP otherwise.
    static std::unique_ptr<RemoteSession> forServer(const QString& serverName);
};

// Parses one line of a listing, in the Unix "ls -l" or the DOS/IIS format. A line that is
// neither gives attributes 0 and the whole line (decoded) as its name.
FtpEntry parseListLine(const QByteArray& line);

// What FTP and SFTP sessions share, besides the interface.
namespace remote {

// The URL authority ("host:port", "[v6]:port") of a server name with or without a scheme, the
// port defaulting to `defaultPort`; empty when the name is malformed.
QByteArray urlAuthority(const QString& serverName, int defaultPort);

// libcurl's global start, once per process.
void initCurlOnce();

// A server's text, UTF-8 when valid, else CP932.
QString decodeBytes(const QByteArray& bytes);
// A path decoded component by component, so that a UTF-8 name below a CP932 one still reads right.
QString decodePath(const QByteArray& raw);
// Names the server gave (a whole path or its components, found in `rawNames`) go back as its own
// bytes; anything else is sent as UTF-8.
QByteArray encodePath(const QString& path, const QHash<QString, QByteArray>& rawNames);

// The entries of a listing in the Unix "ls -l" or the DOS format, one per line. Each listed name
// is added to `rawNames` with the bytes to send back for it; two entries that read the same are
// sent under neither name, as which file was meant cannot be told (they map to a NUL, which no
// request can carry).
FtpListing parseListing(const QByteArray& data, QHash<QString, QByteArray>& rawNames);

// A sink that gathers a listing into `data`; it refuses to go past 64 MiB, as a listing that large
// is not a directory but a server that does not stop talking.
std::function<bool(const char*, size_t)> listingSink(QByteArray& data);

// Stands for a name that must not go to the server.
extern const QByteArray kUnsendable;

// A download into a new file beside its target, renamed over the target only once complete.
class TempDownload {
public:
    // Empty error() when the file could be made.
    explicit TempDownload(const QString& localPath);
    ~TempDownload(); // removes the file unless committed
    TempDownload(const TempDownload&) = delete;
    TempDownload& operator=(const TempDownload&) = delete;

    bool write(const char* bytes, size_t size); // false (with error()) when the disk refuses
    bool commit();                              // closes and renames; false with error()
    const QString& error() const { return m_error; }

private:
    std::string m_target, m_temp;
    int m_fd = -1;
    bool m_committed = false;
    QString m_error;
};

} // namespace remote

} // namespace tarvik
