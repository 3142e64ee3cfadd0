#pragma once

#include "ftp/RemoteSession.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace tarvik {

// A server's SSH host key as the user is shown it before accepting it.
struct SshHostKey {
    QString type;        // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa"…
    QByteArray blob;     // the key as the server sent it
    QString fingerprint; // "SHA256:…", as OpenSSH shows it
    // True when known_hosts holds another key for the server: it is refused, never asked about.
    bool changed = false;

    static SshHostKey fromBlob(const QByteArray& blob);
    // The known_hosts line for the server at `authority` ("host:port"): OpenSSH's "[host]:port"
    // unless the port is 22.
    QByteArray knownHostsLine(const QByteArray& authority) const;
};

// An SFTP session ("sftp://host[:port]", port 22 otherwise) on one SSH connection kept by a libcurl
// handle. The server's key must be in known_hosts, or be the one the user accepted (which is
// then added there); a key other than the one known_hosts holds is refused. Login by the user's
// key file, the SSH agent, then the password. Files arrive as stored (no line-end conversion).
class SftpSession : public RemoteSession {
public:
    SftpSession();
    ~SftpSession() override;
    SftpSession(const SftpSession&) = delete;
    SftpSession& operator=(const SftpSession&) = delete;

    // Empty for ~/.ssh/known_hosts.
    QString knownHostsFile;
    // Empty for the first of ~/.ssh/id_ed25519, id_ecdsa and id_rsa that exists. The password,
    // when given, also opens a key that has a passphrase.
    QString privateKeyFile;
    // The key the user accepted for a server that known_hosts does not know (a blob, as in
    // unknownHostKey()): the next connection takes it and adds it to known_hosts.
    QByteArray acceptedHostKey;

    void ConnectServer() override;
    bool connected() const override;
    bool ChangeRemoteDirectory(const QString& path) override;
    QString GetRemoteDirectory() override;
    FtpListing ListRemoteEntries() override;
    bool FetchRemoteFile(const QString& remoteName, const QString& localPath) override;
    DisconnectResult DisconnectServer() override;
    QString lastError() const override;

    // After ConnectServer refused the server's key: that key, unknown or changed.
    const std::optional<SshHostKey>& refusedHostKey() const;
    // After a connection that took the accepted key: why it could not be added to known_hosts
    // (the user will be asked again next time), or "".
    QString hostKeyNotRemembered() const;

    static QString defaultKnownHostsFile();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tarvik
