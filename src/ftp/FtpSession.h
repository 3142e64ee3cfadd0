#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "ftp/ServerCertificate.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

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
    std::chrono::milliseconds connect{15000}; // the control connection, greeting and login
    std::chrono::milliseconds accept{15000};  // the server connecting back for a transfer (active mode)
    std::chrono::seconds reply{30};           // the answer to a command
    std::chrono::seconds stall{30};           // a transfer during which no byte arrives
};

// The program's one FTP session: a single logged-in control connection (one libcurl easy
// handle kept for the whole session), active mode (PORT) unless passive is asked for, ASCII
// transfers; with "ftps://", FTP over explicit TLS. Not thread-safe: one operation at a time,
// from any one thread.
class FtpSession {
public:
    FtpSession();
    ~FtpSession();
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // Host name or address, optionally "host:port" (port 21 otherwise); "ftps://" before it asks
    // for TLS (AUTH TLS on that port), refused when the server cannot do it or its certificate
    // does not hold.
    QString serverName;
    QString userName;
    QString password;
    // Passive mode (EPSV, PASV): the data connections go from here to the server, as they must
    // behind NAT and most firewalls. Read when connecting.
    bool passive = false;
    // The certificates a TLS server's is checked against (PEM); empty for the system's store.
    QString caFile;
    // The public key the user trusts for this server ("sha256//…", a ServerCertificate's pin):
    // when set, the server's certificate is taken on that key alone, whatever its issuer, name
    // or dates, and any other key is refused.
    QByteArray trustedKey;
    // Read by every operation.
    FtpTimeouts timeouts;
    // The most a download may bring when the server does not tell the file's size (SIZE); one
    // that goes on past it is refused. With a size, the download stops at that size.
    static constexpr qint64 kDefaultDownloadCeiling = qint64(1) << 30; // 1 GiB
    qint64 downloadCeiling = kDefaultDownloadCeiling;

    // Whether the name asks for TLS ("ftps://host").
    static bool isTls(const QString& serverName);

    // Logs in; connected() tells whether it worked. No message here.
    void ConnectServer();
    bool connected() const;

    // Makes `path` the current remote directory; false when the server refuses it (the current
    // directory then stays). Path components that came from a listing are sent as the bytes the
    // server gave.
    bool ChangeRemoteDirectory(const QString& path);
    // The current remote directory as the server reports it, or "".
    QString GetRemoteDirectory();
    // The entries of the current remote directory (LIST, Unix and DOS formats); empty on any failure.
    FtpListing ListRemoteEntries();
    // Downloads `remoteName` (relative to the current directory) to `localPath`, overwriting it;
    // false when nothing was written (a partial file is never left behind).
    bool FetchRemoteFile(const QString& remoteName, const QString& localPath);

    struct DisconnectResult {
        bool ftpClosed = true;      // false: "FTPの切断に失敗しました！"
        bool internetClosed = true; // false: "INTERNETの切断に失敗しました！"
    };
    // Closes the connection; does nothing for a session that is not connected.
    DisconnectResult DisconnectServer();

    // After ConnectServer refused a TLS server for its certificate: that certificate, read on a
    // connection that ends with the TLS handshake (nothing is sent on it, the password least of
    // all), for the user to decide on.
    const std::optional<ServerCertificate>& refusedCertificate() const;

    // Why the last operation failed, in libcurl's words or the session's own
    // ("the server closed the control connection"); empty when it worked.
    QString lastError() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Parses one line of a LIST reply, in the Unix "ls -l" or the DOS/IIS format. A line that is
// neither gives attributes 0 and the whole line (decoded) as its name.
FtpEntry parseListLine(const QByteArray& line);

} // namespace tarvik
