#include "ftp/FtpSession.h"

#include "support/FtpServer.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::FtpServer;
using tarvik::test::TempDir;

namespace {

const QByteArray kCp932Dir("\x8e\x91\x97\xbf");              // 資料
const QByteArray kCp932File("\x83\x5c\x81\x5b\x83\x58.c");  // ソース.c, with a 0x5C byte
const QByteArray kLines("int a;\nint b;\n\n");

// Writes through raw bytes, since some of the names are not UTF-8.
void writeRaw(const QString& root, const QByteArray& relative, const QByteArray& content)
{
    const QByteArray path = QByteArray(QFile::encodeName(root) + '/' + relative);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, content.constData(), static_cast<size_t>(content.size())), content.size());
    ::close(fd);
}

void mkdirRaw(const QString& root, const QByteArray& relative)
{
    ASSERT_EQ(::mkdir(QByteArray(QFile::encodeName(root) + '/' + relative).constData(), 0755), 0);
}

QStringList names(const FtpListing& listing)
{
    QStringList result;
    for (const FtpEntry& e : listing.entries)
        result.append(e.name);
    return result;
}

quint16 closedPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(s);
    return ntohs(addr.sin_port);
}

} // namespace

// One pyftpdlib server for the suite, serving a tree that holds every case.
class FtpSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_tree = new TempDir;
        const QString root = s_tree->path();
        s_tree->write(QStringLiteral("top.txt"), "top\n");
        s_tree->write(QStringLiteral("src/lf.c"), kLines);
        s_tree->write(QStringLiteral("src/crlf.c"), "int a;\r\nint b;\r\n\r\n");
        s_tree->write(QStringLiteral("src/cr.c"), "int a;\rint b;\r\r");
        s_tree->write(QStringLiteral("src/deep/inner/x.c"), "x;\n");
        s_tree->mkdir(QStringLiteral("src/deep/say \"hi\""));
        s_tree->mkdir(QStringLiteral("empty"));
        s_tree->write(QStringLiteral("my docs/read me.txt"), "blanks\n");
        s_tree->write(QStringLiteral("locked/secret.c"), "secret\n");
        s_tree->write(QStringLiteral("日本語/ソース.c"), "utf-8\n");
        mkdirRaw(root, kCp932Dir);
        mkdirRaw(root, kCp932Dir + "/sub");
        writeRaw(root, kCp932Dir + '/' + kCp932File, "cp932\r\n");
        // Many short CR LF lines, so that some piece of the transfer ends between CR and LF.
        QByteArray big;
        for (int i = 0; big.size() < 300000; ++i)
            big += QByteArray(i % 7, 'x') + "\r\n";
        s_tree->write(QStringLiteral("src/big.c"), big);
        s_server = new FtpServer(QStringLiteral("ftp_server.py"),
                                 serverOptions({QStringLiteral("--perm"), QStringLiteral("locked=l")}));
    }

    static void TearDownTestSuite()
    {
        delete s_server;
        // QTemporaryDir cannot remove names that are not UTF-8.
        const QByteArray dir = QFile::encodeName(s_tree->path()) + '/' + kCp932Dir;
        ::unlink(QByteArray(dir + '/' + kCp932File).constData());
        ::rmdir(QByteArray(dir + "/sub").constData());
        ::rmdir(dir.constData());
        delete s_tree;
    }

    void SetUp() override { ASSERT_TRUE(s_server->running()); }

    // The tree served to alice, with further options of the server.
    static QStringList serverOptions(const QStringList& extra)
    {
        return QStringList{QStringLiteral("--root"), s_tree->path(), QStringLiteral("--user"), QStringLiteral("alice"),
                           QStringLiteral("--password"), QStringLiteral("s3cret")}
            + extra;
    }

    void connect(FtpSession& session, const QString& password = QStringLiteral("s3cret"))
    {
        connect(session, *s_server, password);
    }

    void connect(FtpSession& session, const FtpServer& server, const QString& password = QStringLiteral("s3cret"),
                 const QString& scheme = {})
    {
        session.serverName = scheme + server.address();
        session.userName = QStringLiteral("alice");
        session.password = password;
        session.ConnectServer();
    }

    static inline TempDir* s_tree = nullptr;
    static inline FtpServer* s_server = nullptr;
    TempDir m_local;
};

TEST_F(FtpSessionTest, ConnectsAndStartsInTheLoginDirectory)
{
    FtpSession session;
    connect(session);
    ASSERT_TRUE(session.connected());
    EXPECT_EQ(session.GetRemoteDirectory(), u"/");
}

TEST_F(FtpSessionTest, WrongPasswordOrClosedPortDoNotConnect)
{
    QElapsedTimer timer;
    timer.start();
    FtpSession session;
    connect(session, QStringLiteral("wrong"));
    EXPECT_FALSE(session.connected());
    session.serverName = QStringLiteral("127.0.0.1:%1").arg(closedPort());
    session.password = QStringLiteral("s3cret");
    session.ConnectServer();
    EXPECT_FALSE(session.connected());
    EXPECT_LT(timer.elapsed(), 3000);

    EXPECT_EQ(session.GetRemoteDirectory(), u"");
    EXPECT_EQ(session.ListRemoteEntries().lastIndex(), -1);
    EXPECT_FALSE(session.ChangeRemoteDirectory(QStringLiteral("/src")));
    EXPECT_FALSE(session.FetchRemoteFile(QStringLiteral("top.txt"), m_local.path(QStringLiteral("top.txt"))));
    const FtpSession::DisconnectResult closed = session.DisconnectServer();
    EXPECT_TRUE(closed.ftpClosed && closed.internetClosed);
}

TEST_F(FtpSessionTest, ListsTheCurrentDirectoryInServerOrder)
{
    FtpSession session;
    connect(session);
    const FtpListing listing = session.ListRemoteEntries();
    EXPECT_EQ(names(listing), (QStringList{QStringLiteral("empty"), QStringLiteral("locked"), QStringLiteral("my docs"),
                                           QStringLiteral("src"), QStringLiteral("top.txt"), QStringLiteral("日本語"),
                                           QStringLiteral("資料")}));
    ASSERT_EQ(listing.lastIndex(), 6);
    EXPECT_EQ(listing.entries[0].attributes, FtpEntry::kDirectory);
    EXPECT_EQ(listing.entries[4].attributes, FtpEntry::kNormal);
    EXPECT_EQ(listing.entries[6].rawName, kCp932Dir);

    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//empty")));
    EXPECT_EQ(session.ListRemoteEntries().lastIndex(), -1);
}

TEST_F(FtpSessionTest, GoesDownFromTheRootWithTwoSlashesAndBackUp)
{
    FtpSession session;
    connect(session);
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//src")));
    EXPECT_EQ(session.GetRemoteDirectory(), u"/src");
    EXPECT_EQ(names(session.ListRemoteEntries()),
              (QStringList{QStringLiteral("big.c"), QStringLiteral("cr.c"), QStringLiteral("crlf.c"),
                           QStringLiteral("deep"), QStringLiteral("lf.c")}));
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("/src/deep")));
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("inner")));
    EXPECT_EQ(session.GetRemoteDirectory(), u"/src/deep/inner");
    EXPECT_EQ(names(session.ListRemoteEntries()), QStringList{QStringLiteral("x.c")});
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("/src/deep/")));
    EXPECT_EQ(session.GetRemoteDirectory(), u"/src/deep");
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("/")));
    EXPECT_EQ(session.GetRemoteDirectory(), u"/");
    EXPECT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("/")));
}

// The server's 257 reply doubles the quotes in a directory's name; they come back single.
TEST_F(FtpSessionTest, ADirectoryNameWithQuotes)
{
    FtpSession session;
    connect(session);
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("/src/deep/say \"hi\"")));
    EXPECT_EQ(session.GetRemoteDirectory(), u"/src/deep/say \"hi\"");
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("/src/deep/")));
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("say \"hi\"")));
    EXPECT_EQ(session.GetRemoteDirectory(), u"/src/deep/say \"hi\"");
}

TEST_F(FtpSessionTest, RefusedChangeKeepsTheDirectory)
{
    FtpSession session;
    connect(session);
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//src")));
    EXPECT_FALSE(session.ChangeRemoteDirectory(QStringLiteral("//nowhere")));
    EXPECT_FALSE(session.ChangeRemoteDirectory(QStringLiteral("/locked")));   // no permission to enter
    EXPECT_FALSE(session.ChangeRemoteDirectory(QStringLiteral("crlf.c")));    // a file
    EXPECT_EQ(session.GetRemoteDirectory(), u"/src");
    EXPECT_EQ(session.ListRemoteEntries().lastIndex(), 4);
    EXPECT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("deep")));
}

TEST_F(FtpSessionTest, DownloadsOverwriteAndArriveWithLocalLineEnds)
{
    FtpSession session;
    connect(session);
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//src")));
    const QString lf = m_local.write(QStringLiteral("lf.c"), "an older, longer local copy\n\n\n");
    ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("lf.c"), lf));
    EXPECT_EQ(m_local.read(QStringLiteral("lf.c")), kLines);
    ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("crlf.c"), m_local.path(QStringLiteral("crlf.c"))));
    EXPECT_EQ(m_local.read(QStringLiteral("crlf.c")), kLines);
    // Lone CRs (old Mac files) end lines for the counter, and arrive as LF.
    ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("cr.c"), m_local.path(QStringLiteral("cr.c"))));
    EXPECT_EQ(m_local.read(QStringLiteral("cr.c")), kLines);

    ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("big.c"), m_local.path(QStringLiteral("big.c"))));
    QByteArray big = s_tree->read(QStringLiteral("src/big.c"));
    EXPECT_EQ(m_local.read(QStringLiteral("big.c")), big.replace("\r\n", "\n"));
    EXPECT_EQ(QDir(m_local.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

TEST_F(FtpSessionTest, FailedDownloadLeavesNoFile)
{
    FtpSession session;
    connect(session);
    EXPECT_FALSE(session.FetchRemoteFile(QStringLiteral("locked/secret.c"), m_local.path(QStringLiteral("secret.c"))));
    EXPECT_FALSE(session.FetchRemoteFile(QStringLiteral("missing.c"), m_local.path(QStringLiteral("missing.c"))));
    EXPECT_FALSE(session.FetchRemoteFile(QStringLiteral("src"), m_local.path(QStringLiteral("src"))));
    EXPECT_FALSE(session.FetchRemoteFile(QStringLiteral("top.txt"), m_local.path(QStringLiteral("no/such/dir.txt"))));
    EXPECT_TRUE(QDir(m_local.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    // An existing local copy survives a failed download untouched.
    m_local.write(QStringLiteral("missing.c"), "kept\n");
    EXPECT_FALSE(session.FetchRemoteFile(QStringLiteral("missing.c"), m_local.path(QStringLiteral("missing.c"))));
    EXPECT_EQ(m_local.read(QStringLiteral("missing.c")), "kept\n");
    // The session goes on after the refusals.
    EXPECT_TRUE(session.FetchRemoteFile(QStringLiteral("top.txt"), m_local.path(QStringLiteral("top.txt"))));
}

TEST_F(FtpSessionTest, NamesWithBlanks)
{
    FtpSession session;
    connect(session);
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//my docs")));
    EXPECT_EQ(session.GetRemoteDirectory(), u"/my docs");
    EXPECT_EQ(names(session.ListRemoteEntries()), QStringList{QStringLiteral("read me.txt")});
    ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("read me.txt"), m_local.path(QStringLiteral("read me.txt"))));
    EXPECT_EQ(m_local.read(QStringLiteral("read me.txt")), "blanks\n");
}

TEST_F(FtpSessionTest, JapaneseNamesGoBackAsTheServersBytes)
{
    FtpSession session;
    connect(session);
    session.ListRemoteEntries();
    // CP932 on the server: shown decoded, sent back as the original bytes.
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//資料")));
    EXPECT_EQ(session.GetRemoteDirectory(), u"/資料");
    FtpListing listing = session.ListRemoteEntries();
    EXPECT_EQ(names(listing), (QStringList{QStringLiteral("sub"), QStringLiteral("ソース.c")}));
    ASSERT_EQ(listing.lastIndex(), 1);
    EXPECT_EQ(listing.entries[1].rawName, kCp932File);
    ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("ソース.c"), m_local.path(QStringLiteral("ソース.c"))));
    EXPECT_EQ(m_local.read(QStringLiteral("ソース.c")), "cp932\n");
    // Down and up again through the directory the server reported.
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("/資料/sub")));
    EXPECT_EQ(session.GetRemoteDirectory(), u"/資料/sub");
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("/資料/")));
    EXPECT_EQ(session.GetRemoteDirectory(), u"/資料");

    // UTF-8 on the server: the same file name, now the UTF-8 bytes of the latest listing.
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("/日本語")));
    EXPECT_EQ(names(session.ListRemoteEntries()), QStringList{QStringLiteral("ソース.c")});
    ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("ソース.c"), m_local.path(QStringLiteral("ソース.c"))));
    EXPECT_EQ(m_local.read(QStringLiteral("ソース.c")), "utf-8\n");
}

TEST_F(FtpSessionTest, DisconnectClosesTheSession)
{
    FtpSession session;
    connect(session);
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//src")));
    FtpSession::DisconnectResult closed = session.DisconnectServer();
    EXPECT_TRUE(closed.ftpClosed && closed.internetClosed);
    EXPECT_FALSE(session.connected());
    EXPECT_EQ(session.GetRemoteDirectory(), u"");
    EXPECT_EQ(session.ListRemoteEntries().lastIndex(), -1);
    closed = session.DisconnectServer();
    EXPECT_TRUE(closed.ftpClosed && closed.internetClosed);
    // A new connect starts over in the login directory.
    session.ConnectServer();
    ASSERT_TRUE(session.connected());
    EXPECT_EQ(session.GetRemoteDirectory(), u"/");
}

TEST_F(FtpSessionTest, StaysInItsDirectoryWhenTheServerDropsAnIdleConnection)
{
    FtpServer impatient(QStringLiteral("ftp_server.py"),
                        serverOptions({QStringLiteral("--idle-timeout"), QStringLiteral("0.3")}));
    ASSERT_TRUE(impatient.running());
    FtpSession session;
    connect(session, impatient);
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//src")));
    ::usleep(600 * 1000);
    // libcurl logs in anew, which starts in the login directory; the session goes back to /src.
    EXPECT_EQ(session.ListRemoteEntries().lastIndex(), 4);
    ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("lf.c"), m_local.path(QStringLiteral("lf.c"))));
    EXPECT_EQ(m_local.read(QStringLiteral("lf.c")), kLines);
    EXPECT_EQ(session.GetRemoteDirectory(), u"/src");
}

// The scripted server: a hostile listing, and a record of every command it received.
class FtpHostileServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.running());
        m_session.serverName = m_server.address();
        m_session.userName = QStringLiteral("bob");
        m_session.password = QStringLiteral("pw");
        m_session.ConnectServer();
        ASSERT_TRUE(m_session.connected());
    }

    FtpServer m_server{QStringLiteral("hostile_ftp_server.py"), {}};
    FtpSession m_session;
    TempDir m_local;
};

TEST_F(FtpHostileServerTest, ListedNamesArriveUnchanged)
{
    const FtpListing listing = m_session.ListRemoteEntries();
    EXPECT_EQ(names(listing), (QStringList{QStringLiteral("../../x.c"), QStringLiteral("a/b.c"),
                                           QStringLiteral("sub/../../evil.c"), QStringLiteral("ソース.c"),
                                           QStringLiteral("dos dir")}));
    ASSERT_EQ(listing.lastIndex(), 4);
    EXPECT_EQ(listing.entries[0].attributes, FtpEntry::kNormal);
    EXPECT_EQ(listing.entries[3].rawName, kCp932File);
    EXPECT_EQ(listing.entries[4].attributes, FtpEntry::kDirectory);
}

TEST_F(FtpHostileServerTest, OneLoginAndTheServersBytesOnTheWire)
{
    m_session.ListRemoteEntries();
    EXPECT_FALSE(m_session.ChangeRemoteDirectory(QStringLiteral("//missing")));
    ASSERT_TRUE(m_session.FetchRemoteFile(QStringLiteral("ソース.c"), m_local.path(QStringLiteral("a.c"))));
    EXPECT_EQ(m_local.read(QStringLiteral("a.c")), "RETR " + kCp932File + '\n');
    ASSERT_TRUE(m_session.FetchRemoteFile(QStringLiteral("../../x.c"), m_local.path(QStringLiteral("b.c"))));
    EXPECT_EQ(m_local.read(QStringLiteral("b.c")), "RETR ../../x.c\n");
    ASSERT_TRUE(m_session.ChangeRemoteDirectory(QStringLiteral("//dos dir")));
    m_session.DisconnectServer();

    const QList<QByteArray> commands = test::outputLines(m_server.takeOutput());
    EXPECT_EQ(commands.count("USER bob"), 1);
    EXPECT_TRUE(commands.contains("CWD //missing"));
    EXPECT_TRUE(commands.contains("CWD //dos dir"));
    EXPECT_TRUE(commands.contains("PASS ***"));
    EXPECT_TRUE(commands.contains("QUIT"));
    EXPECT_FALSE(commands.contains("PASV") || commands.contains("EPSV"));
}

TEST(FtpSession, EmptyCredentialsAreSentEmpty)
{
    FtpServer server(QStringLiteral("hostile_ftp_server.py"), {});
    ASSERT_TRUE(server.running());
    FtpSession session;
    session.serverName = server.address();
    session.ConnectServer();
    EXPECT_TRUE(session.connected());
    const QList<QByteArray> commands = test::outputLines(server.takeOutput());
    ASSERT_GE(commands.size(), 2);
    EXPECT_EQ(commands[0], "USER ");
    EXPECT_EQ(commands[1], "PASS ");
}

TEST(FtpSession, ServerNamesWithPorts)
{
    FtpServer server(QStringLiteral("hostile_ftp_server.py"), {});
    ASSERT_TRUE(server.running());
    FtpSession session;
    const QString port = QString::number(server.port());
    // The bracketed IPv6 form, with an IPv4-mapped address so that the traffic stays on 127.0.0.1.
    const QStringList good{QStringLiteral("127.0.0.1:") + port, u" 127.0.0.1:" + port + u' ',
                           u"[::ffff:127.0.0.1]:" + port};
    for (const QString& name : good) {
        session.serverName = name;
        session.ConnectServer();
        EXPECT_TRUE(session.connected()) << name.toStdString();
        EXPECT_EQ(session.ListRemoteEntries().lastIndex(), 4) << name.toStdString();
    }
    const QStringList malformed{QStringLiteral("127.0.0.1:0"), QStringLiteral("127.0.0.1:x"), QStringLiteral("[::1"),
                                QString(), u"a/b:" + port, QStringLiteral("[127.0.0.1]x")};
    for (const QString& name : malformed) {
        session.serverName = name;
        session.ConnectServer();
        EXPECT_FALSE(session.connected()) << name.toStdString();
    }
}

// A server some way off: every reply and every data connection comes 20 ms late. A row of
// downloads, the way a registration of several files runs, brings each file whole.
TEST_F(FtpSessionTest, ASlowServerSendsEveryFileWhole)
{
    FtpServer slow(QStringLiteral("ftp_server.py"), serverOptions({QStringLiteral("--delay"), QStringLiteral("20")}));
    ASSERT_TRUE(slow.running());
    FtpSession session;
    connect(session, slow);
    ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//src")));
    for (int round = 0; round < 4; ++round) {
        for (const char* name : {"lf.c", "crlf.c", "cr.c"}) {
            const QString file = QString::fromLatin1(name);
            EXPECT_TRUE(session.FetchRemoteFile(file, m_local.path(file))) << name << " round " << round;
            EXPECT_EQ(m_local.read(file), kLines) << name << " round " << round;
        }
    }
}

TEST_F(FtpSessionTest, PassiveAndActiveModeBringTheSameFiles)
{
    for (bool passive : {false, true}) {
        FtpSession session;
        session.passive = passive;
        connect(session);
        ASSERT_TRUE(session.connected()) << passive;
        ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//src")));
        EXPECT_TRUE(names(session.ListRemoteEntries()).contains(u"big.c"_qs)) << passive;
        ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("big.c"), m_local.path(QStringLiteral("big.c"))));
        QByteArray big = s_tree->read(QStringLiteral("src/big.c"));
        EXPECT_EQ(m_local.read(QStringLiteral("big.c")), big.replace("\r\n", "\n")) << passive;
    }
}

// FTP over TLS: certificates of a test CA made for the suite, each served by a server of its own.
class FtpsSessionTest : public FtpSessionTest {
protected:
    static void SetUpTestSuite()
    {
        FtpSessionTest::SetUpTestSuite();
        s_certs = new TempDir;
        QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral(TARVIK_SOURCE_DIR "/tests/support/make_tls_certs.py"), s_certs->path()});
    }
    static void TearDownTestSuite()
    {
        delete s_certs;
        FtpSessionTest::TearDownTestSuite();
    }

    static std::unique_ptr<FtpServer> tlsServer(const QString& certificate)
    {
        return std::make_unique<FtpServer>(QStringLiteral("ftp_server.py"),
                                           serverOptions({QStringLiteral("--tls"), s_certs->path(certificate + u".pem")}));
    }
    static QString ca() { return s_certs->path(QStringLiteral("ca.pem")); }

    static inline TempDir* s_certs = nullptr;
};

TEST_F(FtpsSessionTest, ListsAndDownloadsOverTlsInBothModes)
{
    ASSERT_TRUE(QFile::exists(ca()));
    const auto server = tlsServer(QStringLiteral("valid"));
    const bool activeWorks = curl_version_info(CURLVERSION_NOW)->version_num >= 0x080000;
    for (bool passive : {true, false}) {
        FtpSession session;
        session.caFile = ca();
        session.passive = passive;
        connect(session, *server, u"s3cret"_qs, u"ftps://"_qs);
        if (!passive && !activeWorks) { // said at once, not after a transfer's timeout
            EXPECT_FALSE(session.connected());
            EXPECT_TRUE(session.lastError().startsWith(u"active mode over TLS needs libcurl 8.0"_qs));
            continue;
        }
        ASSERT_TRUE(session.connected()) << session.lastError().toStdString();
        ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//src")));
        EXPECT_TRUE(names(session.ListRemoteEntries()).contains(u"lf.c"_qs)) << passive;
        ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("lf.c"), m_local.path(QStringLiteral("lf.c"))));
        EXPECT_EQ(m_local.read(QStringLiteral("lf.c")), kLines);
    }
}

TEST_F(FtpsSessionTest, ACertificateThatDoesNotHoldIsRefusedWithItsReason)
{
    const struct {
        const char16_t* certificate;
        bool trustTestCa;
        const char* reason;
    } cases[] = {
        {u"selfsigned", true, "self-signed certificate"},
        {u"wronghost", true, "no alternative certificate subject name matches"},
        {u"expired", true, "certificate has expired"},
        {u"valid", false, "unable to get local issuer certificate"}, // the system's store does not know the test CA
    };
    for (const auto& c : cases) {
        const auto server = tlsServer(QString::fromUtf16(c.certificate));
        FtpSession session;
        if (c.trustTestCa)
            session.caFile = ca();
        session.passive = true;
        connect(session, *server, u"s3cret"_qs, u"ftps://"_qs);
        EXPECT_FALSE(session.connected());
        EXPECT_TRUE(session.lastError().contains(QLatin1String(c.reason))) << session.lastError().toStdString();
    }
    // A server without TLS is not sent the password in clear.
    FtpSession session;
    session.passive = true;
    connect(session, *s_server, u"s3cret"_qs, u"ftps://"_qs);
    EXPECT_FALSE(session.connected());
    EXPECT_TRUE(session.lastError().contains(u"SSL"_qs)) << session.lastError().toStdString();
}

TEST_F(FtpsSessionTest, ACertificateTheUserTrustsIsTakenOnItsKeyAlone)
{
    QByteArray firstKey;
    for (const QString& certificate : {u"selfsigned"_qs, u"expired"_qs, u"wronghost"_qs}) {
        const auto server = tlsServer(certificate);
        FtpSession session;
        session.passive = true;
        connect(session, *server, u"s3cret"_qs, u"ftps://"_qs);
        ASSERT_FALSE(session.connected());
        const std::optional<ServerCertificate> seen = session.refusedCertificate();
        ASSERT_TRUE(seen) << certificate.toStdString();
        EXPECT_TRUE(seen->pin.startsWith("sha256//"));
        EXPECT_EQ(seen->sha256.size(), 32 * 3 - 1);
        EXPECT_TRUE(seen->subject.contains(certificate == u"wronghost" ? u"elsewhere.example"_qs : u"127.0.0.1"_qs))
            << seen->subject.toStdString();
        session.trustedKey = seen->pin;
        connect(session, *server, u"s3cret"_qs, u"ftps://"_qs);
        ASSERT_TRUE(session.connected()) << session.lastError().toStdString();
        EXPECT_FALSE(session.refusedCertificate());
        ASSERT_TRUE(session.ChangeRemoteDirectory(QStringLiteral("//src")));
        ASSERT_TRUE(session.FetchRemoteFile(QStringLiteral("lf.c"), m_local.path(QStringLiteral("lf.c"))));
        EXPECT_EQ(m_local.read(QStringLiteral("lf.c")), kLines);
        if (firstKey.isEmpty())
            firstKey = seen->pin;
    }
    // Another key than the one trusted is refused, even from a certificate the CA vouches for.
    const auto server = tlsServer(u"valid"_qs);
    FtpSession session;
    session.passive = true;
    session.caFile = ca();
    session.trustedKey = firstKey;
    connect(session, *server, u"s3cret"_qs, u"ftps://"_qs);
    EXPECT_FALSE(session.connected());
    EXPECT_TRUE(session.lastError().contains(u"public key does not match"_qs)) << session.lastError().toStdString();
    ASSERT_TRUE(session.refusedCertificate());
    EXPECT_NE(session.refusedCertificate()->pin, firstKey);
}
