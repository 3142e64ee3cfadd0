#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "ftp/RemoteSession.h"
#include "ftp/ServerCertificate.h"

#include <memory>
#include <optional>

namespace tarvik {

// The program's one FTP session: a single logged-in control connection (one libcurl easy
// handle kept for the whole session), active mode (PORT) unless passive is asked for, ASCII
// transfers; with "ftps://", FTP over explicit TLS. Not thread-safe: one operation at a time,
// from any one thread.
class FtpSession : public RemoteSession {
public:
    FtpSession();
    ~FtpSession() override;
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // serverName: host name or address, optionally "host:port" (port 21 otherwise); "ftps://"
    // before it asks for TLS (AUTH TLS on that port), refused when the server cannot do it or its
    // certificate does not hold.

    // Passive mode (EPSV, PASV): the data connections go from here to the server, as they must
    // behind NAT and most firewalls. Read when connecting.
    bool passive = false;
    // The certificates a TLS server's is checked against (PEM); empty for the system's store.
    QString caFile;
    // The public key the user trusts for this server ("sha256//…", a ServerCertificate's pin):
    // when set, the server's certificate is taken on that key alone, whatever its issuer, name
    // or dates, and any other key is refused.
    QByteArray trustedKey;

    // Whether the name asks for TLS ("ftps://host").
    static bool isTls(const QString& serverName);

    void ConnectServer() override;
    bool connected() const override;
    bool ChangeRemoteDirectory(const QString& path) override;
    QString GetRemoteDirectory() override;
    // LIST, in the Unix and DOS formats.
    FtpListing ListRemoteEntries() override;
    // An ASCII transfer, bounded by the size SIZE tells (or by downloadCeiling).
    bool FetchRemoteFile(const QString& remoteName, const QString& localPath) override;
    DisconnectResult DisconnectServer() override;

    // After ConnectServer refused a TLS server for its certificate: that certificate, read on a
    // connection that ends with the TLS handshake (nothing is sent on it, the password least of
    // all), for the user to decide on.
    const std::optional<ServerCertificate>& refusedCertificate() const;

    // In libcurl's words or the session's own ("the server closed the control connection").
    QString lastError() const override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tarvik
