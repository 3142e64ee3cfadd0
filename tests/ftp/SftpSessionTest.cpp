#include "ftp/SftpSession.h"

#include "support/FtpServer.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::FtpServer;
using tarvik::test::TempDir;

namespace {

const QByteArray kCrlf("int a;\r\nint b;\r\n");
const QString kCp932Name = QStringLiteral("ソース.c");

QByteArray run(const QString& program, const QStringList& arguments, int* exitCode = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(20000);
    if (exitCode)
        *exitCode = process.exitCode();
    return process.readAllStandardOutput();
}

QStringList names(const FtpListing& listing)
{
    QStringList result;
    for (const FtpEntry& e : listing.entries)
        result.append(e.name);
    return result;
}

class SftpSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Nothing of the developer's own: no keys, no agent, no known_hosts.
        savedHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qunsetenv("SSH_AUTH_SOCK");
        for (const char* key : {"hostA", "hostB", "user"})
            run(QStringLiteral("ssh-keygen"), {u"-q"_qs, u"-t"_qs, u"ed25519"_qs, u"-N"_qs, u""_qs, u"-f"_qs, dir.path(QLatin1String(key))});
        QFile::copy(dir.path(QStringLiteral("user.pub")), dir.path(QStringLiteral("authorized_keys")));
        dir.write(QStringLiteral("root/a.c"), kCrlf);
        dir.write(QStringLiteral("root/sub/b.h"), "int b;\n");
        // A CP932 name, as bytes on disk.
        const QByteArray cp932 = QFile::encodeName(dir.path(QStringLiteral("root"))) + "/\x83\x5c\x81\x5b\x83\x58.c";
        const int fd = ::open(cp932.constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "x;\n", 3), 3);
        ::close(fd);
    }

    void TearDown() override { qputenv("HOME", savedHome); }

    std::unique_ptr<FtpServer> start(const QString& hostKey, const QString& password = {})
    {
        QStringList arguments{u"--root"_qs, dir.path(QStringLiteral("root")), u"--host-key"_qs, dir.path(hostKey),
                              u"--authorized-keys"_qs, dir.path(QStringLiteral("authorized_keys"))};
        if (!password.isEmpty())
            arguments << u"--password"_qs << password;
        return std::make_unique<FtpServer>(QStringLiteral("sftp_server.py"), arguments);
    }

    // A session that trusts what known_hosts says and logs in by the user's key.
    void prepare(SftpSession& session, const FtpServer& server, bool byKey = true)
    {
        session.serverName = QStringLiteral("sftp://127.0.0.1:%1").arg(server.port());
        session.knownHostsFile = dir.path(QStringLiteral("known_hosts"));
        session.privateKeyFile = byKey ? dir.path(QStringLiteral("user")) : QString();
        session.timeouts.connect = std::chrono::seconds(10);
    }

    QByteArray knownLine(const FtpServer& server, const QString& hostKey)
    {
        return QStringLiteral("[127.0.0.1]:%1 ").arg(server.port()).toUtf8() + dir.read(hostKey + u".pub");
    }

    TempDir dir, home;
    QByteArray savedHome;
};

#define START_OR_SKIP(server, ...)                                                                     \
    const auto server = start(__VA_ARGS__);                                                             \
    if (!server->skipped().isEmpty())                                                                  \
        GTEST_SKIP() << server->skipped().toStdString();                                               \
    ASSERT_TRUE(server->running())

// As OpenSSH writes them: the bare host on port 22, "[host]:port" elsewhere.
TEST(SshHostKeyTest, KnownHostsLinesNameTheHostAsOpenSshLooksItUp)
{
    const SshHostKey key = SshHostKey::fromBlob(QByteArray("\0\0\0\x0bssh-ed25519\0\0\0\x01k", 20));
    EXPECT_EQ(key.type, u"ssh-ed25519");
    const std::pair<const char*, const char*> cases[] = {
        {"example.org:22", "example.org"}, {"[::1]:22", "::1"}, {"example.org:2222", "[example.org]:2222"},
        {"[::1]:2222", "[::1]:2222"}};
    for (const auto& [authority, host] : cases)
        EXPECT_EQ(key.knownHostsLine(authority), QByteArray(host) + " ssh-ed25519 " + key.blob.toBase64() + '\n');
}

TEST_F(SftpSessionTest, AnUnknownHostKeyIsRefusedUntilAcceptedAndThenAddedToKnownHosts)
{
    START_OR_SKIP(server, QStringLiteral("hostA"));
    // Someone else's line, without its line end: it must stay, and not run into ours.
    const QByteArray before = "other.example " + dir.read(QStringLiteral("hostB.pub")).trimmed();
    dir.write(QStringLiteral("known_hosts"), before);
    SftpSession session;
    prepare(session, *server);
    session.ConnectServer();
    ASSERT_FALSE(session.connected());
    ASSERT_TRUE(session.refusedHostKey());
    const SshHostKey key = *session.refusedHostKey();
    EXPECT_FALSE(key.changed);
    EXPECT_EQ(key.type, u"ssh-ed25519");
    const QByteArray shown = run(QStringLiteral("ssh-keygen"), {u"-l"_qs, u"-f"_qs, dir.path(QStringLiteral("hostA.pub"))});
    EXPECT_EQ(shown.split(' ').value(1), key.fingerprint.toUtf8());
    EXPECT_EQ(dir.read(QStringLiteral("known_hosts")), before);

    session.acceptedHostKey = key.blob;
    session.ConnectServer();
    ASSERT_TRUE(session.connected()) << session.lastError().toStdString();
    // The public key file ends in a comment, which known_hosts lines need not have.
    const QList<QByteArray> added = knownLine(*server, QStringLiteral("hostA")).trimmed().split(' ');
    EXPECT_EQ(dir.read(QStringLiteral("known_hosts")), before + '\n' + added[0] + ' ' + added[1] + ' ' + added[2] + '\n');
    int found = -1;
    run(QStringLiteral("ssh-keygen"),
        {u"-F"_qs, QStringLiteral("[127.0.0.1]:%1").arg(server->port()), u"-f"_qs, dir.path(QStringLiteral("known_hosts"))}, &found);
    EXPECT_EQ(found, 0);

    // Debian's ssh hashes the names in known_hosts.
    run(QStringLiteral("ssh-keygen"), {u"-H"_qs, u"-f"_qs, dir.path(QStringLiteral("known_hosts"))});
    SftpSession again;
    prepare(again, *server);
    again.ConnectServer();
    EXPECT_TRUE(again.connected()) << again.lastError().toStdString();
}

TEST_F(SftpSessionTest, AChangedHostKeyIsRefusedEvenWhenOffered)
{
    START_OR_SKIP(server, QStringLiteral("hostA"));
    const QByteArray known = knownLine(*server, QStringLiteral("hostB"));
    dir.write(QStringLiteral("known_hosts"), known);
    SftpSession session;
    prepare(session, *server);
    for (int attempt = 0; attempt < 2; ++attempt) {
        session.ConnectServer();
        ASSERT_FALSE(session.connected());
        ASSERT_TRUE(session.refusedHostKey());
        EXPECT_TRUE(session.refusedHostKey()->changed);
        EXPECT_TRUE(session.lastError().contains(session.refusedHostKey()->fingerprint)) << session.lastError().toStdString();
        session.acceptedHostKey = session.refusedHostKey()->blob; // only an unknown key may be accepted
    }
    EXPECT_EQ(dir.read(QStringLiteral("known_hosts")), known);
}

TEST_F(SftpSessionTest, BrowsesAndFetchesFilesAsStored)
{
    START_OR_SKIP(server, QStringLiteral("hostA"));
    dir.write(QStringLiteral("known_hosts"), knownLine(*server, QStringLiteral("hostA")));
    SftpSession session;
    prepare(session, *server);
    session.ConnectServer();
    ASSERT_TRUE(session.connected()) << session.lastError().toStdString();
    const QString root = QDir(dir.path(QStringLiteral("root"))).canonicalPath();
    EXPECT_EQ(session.GetRemoteDirectory(), root);
    EXPECT_TRUE(names(session.ListRemoteEntries()).contains(kCp932Name));

    EXPECT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("sub")));
    EXPECT_EQ(session.GetRemoteDirectory(), root + u"/sub");
    EXPECT_TRUE(names(session.ListRemoteEntries()).contains(u"b.h"_qs));
    EXPECT_FALSE(session.ChangeRemoteDirectory(QStringLiteral("missing")));
    EXPECT_FALSE(session.ChangeRemoteDirectory(root + u"/a.c")); // a file is no directory
    EXPECT_EQ(session.GetRemoteDirectory(), root + u"/sub");
    EXPECT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("..")));
    EXPECT_EQ(session.GetRemoteDirectory(), root);

    TempDir local;
    ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("a.c"), local.path(QStringLiteral("a.c")))) << session.lastError().toStdString();
    EXPECT_EQ(local.read(QStringLiteral("a.c")), kCrlf);
    ASSERT_TRUE(session.FetchRemoteFile(kCp932Name, local.path(QStringLiteral("s.c")))) << session.lastError().toStdString();
    EXPECT_EQ(local.read(QStringLiteral("s.c")), "x;\n");
    EXPECT_FALSE(session.FetchRemoteFile(QStringLiteral("missing.c"), local.path(QStringLiteral("m.c"))));
    session.downloadCeiling = kCrlf.size() - 1;
    EXPECT_FALSE(session.FetchRemoteFile(QStringLiteral("a.c"), local.path(QStringLiteral("big.c"))));
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{u"a.c"_qs, u"s.c"_qs}));
}

TEST_F(SftpSessionTest, LogsInByTheAgentOrByPassword)
{
    START_OR_SKIP(server, QStringLiteral("hostA"), QStringLiteral("pw-Tarvik-1"));
    dir.write(QStringLiteral("known_hosts"), knownLine(*server, QStringLiteral("hostA")));
    SftpSession session;
    prepare(session, *server, false);
    session.password = QStringLiteral("wrong");
    session.ConnectServer();
    EXPECT_FALSE(session.connected());
    session.password = QStringLiteral("pw-Tarvik-1");
    session.ConnectServer();
    EXPECT_TRUE(session.connected()) << session.lastError().toStdString();

    // The agent holds the key; no key file and no password.
    QProcess agent;
    const QString socket = dir.path(QStringLiteral("agent.sock"));
    agent.start(QStringLiteral("ssh-agent"), {u"-D"_qs, u"-a"_qs, socket});
    ASSERT_TRUE(agent.waitForStarted());
    for (int i = 0; i < 100 && !QFile::exists(socket); ++i)
        QThread::msleep(20);
    qputenv("SSH_AUTH_SOCK", QFile::encodeName(socket));
    int added = -1;
    run(QStringLiteral("ssh-add"), {u"-q"_qs, dir.path(QStringLiteral("user"))}, &added);
    ASSERT_EQ(added, 0);
    SftpSession byAgent;
    prepare(byAgent, *server, false);
    byAgent.ConnectServer();
    EXPECT_TRUE(byAgent.connected()) << byAgent.lastError().toStdString();
    agent.terminate();
    agent.waitForFinished();
}

} // namespace
