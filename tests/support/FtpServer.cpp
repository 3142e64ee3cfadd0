#include "support/FtpServer.h"

#include <QDeadlineTimer>

namespace tarvik::test {

FtpServer::FtpServer(const QString& script, const QStringList& arguments)
{
    // Debian's Python has pyftpdlib; UTF-8 mode makes the file names on disk plain bytes to it.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    QStringList{QStringLiteral("-X"), QStringLiteral("utf8"),
                                QStringLiteral(TARVIK_SOURCE_DIR "/tests/support/") + script}
                        + arguments);
    if (!m_process.waitForStarted(5000))
        return;
    QDeadlineTimer deadline(10000);
    while (!m_process.canReadLine() && !deadline.hasExpired() && m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    if (m_process.canReadLine()) {
        const QByteArray line = m_process.readLine().trimmed();
        if (line.startsWith("skip: "))
            m_skipped = QString::fromUtf8(line.mid(6));
        else
            m_port = static_cast<quint16>(line.toUInt());
    }
}

FtpServer::~FtpServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        // Asked first, so that a server with processes of its own (sshd) can end them.
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

QString FtpServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QByteArray FtpServer::takeOutput(int waitMs)
{
    if (m_process.waitForReadyRead(waitMs)) {
        while (m_process.waitForReadyRead(20)) {
        }
    }
    return m_process.readAllStandardOutput();
}

QList<QByteArray> outputLines(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace tarvik::test
