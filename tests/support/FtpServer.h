#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tarvik::test {

// A real FTP or SFTP server process on 127.0.0.1 for the length of one object: one of the Python
// scripts beside this file (ftp_server.py: pyftpdlib serving a folder; hostile_ftp_server.py: a
// scripted server with a hostile listing; sftp_server.py: OpenSSH's sshd), run by the system Python. The script picks a free port and
// prints it; the server is killed when the object goes, and ends by itself should the test
// process die first (its standard input closes).
class FtpServer {
public:
    FtpServer(const QString& script, const QStringList& arguments);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    bool running() const { return m_port != 0; }
    // Why the script could not serve on this machine ("skip: …" instead of a port), or "".
    QString skipped() const { return m_skipped; }
    quint16 port() const { return m_port; }
    // "127.0.0.1:port", as the session's server name.
    QString address() const;
    // What the script printed since the last call (the scripted server: one line per command),
    // after waiting up to `waitMs` for it to arrive.
    QByteArray takeOutput(int waitMs = 100);

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_skipped;
};

// The lines of `bytes`, split at LF.
QList<QByteArray> outputLines(const QByteArray& bytes);

} // namespace tarvik::test
