// The session against a scripted server that lies, stalls, hangs up and floods: every operation
// ends with the failure result, nothing partial is left on disk, and nothing unsafe goes back.
#include "ftp/FtpSession.h"

#include "support/FtpServer.h"
#include "support/QtPrinters.h"
#include "support/SmallFileSystem.h"
#include "support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cctype>
#include <chrono>

using namespace tarvik;
using namespace std::chrono_literals;
using tarvik::test::FtpServer;
using tarvik::test::TempDir;

namespace {

// The program's own timeouts, with the wait that a stalled server is meant to meet made short:
// no other wait can run out on a loaded machine, so only the stall itself ends an operation.
enum class Wait { Connect, Accept, Reply, Stall };
FtpTimeouts shortFor(Wait wait)
{
    FtpTimeouts t;
    if (wait == Wait::Connect)
        t.connect = 2000ms;
    if (wait == Wait::Accept)
        t.accept = 2000ms;
    if (wait == Wait::Reply)
        t.reply = 2s;
    if (wait == Wait::Stall)
        t.stall = 2s;
    return t;
}

// Proves an operation gave up by the session's timeouts, not by a built-in one of a minute.
constexpr qint64 kGaveUpWellBeforeDefaultsMs = 10000;

// A scripted server and a session for it, with the program's timeouts.
struct Hostile {
    explicit Hostile(const QStringList& arguments)
        : server(QStringLiteral("hostile_ftp_server.py"), arguments)
    {
        session.serverName = server.address();
        session.userName = QStringLiteral("bob");
        session.password = QStringLiteral("pw");
    }
    bool connect()
    {
        session.ConnectServer();
        return session.connected();
    }
    QList<QByteArray> commands() { return test::outputLines(server.takeOutput()); }

    FtpServer server;
    FtpSession session;
};

QStringList allFiles(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

const QByteArray kUnixPrefix = "-rw-r--r--   1 owner    group          10 Jan 26 10:15 ";

} // namespace

// Silence where an answer or data is due: each operation fails by the session's timeouts, and
// the session is still usable afterwards (it logs in anew).
enum class Step { Connect, List, Fetch, Change };
struct Stall {
    const char* on; // the server's misbehaviour, once
    Step step;      // the operation that meets it
    Wait wait;      // the timeout that ends it
};
void PrintTo(const Stall& stall, std::ostream* out) { *out << stall.on; }
class StalledServer : public ::testing::TestWithParam<Stall> {};

TEST_P(StalledServer, TimesOutAndTheSessionGoesOn)
{
    const Stall c = GetParam();
    Hostile hostile({QStringLiteral("--on"), QString::fromLatin1(c.on), QStringLiteral("--once")});
    ASSERT_TRUE(hostile.server.running());
    TempDir local;
    const QString target = local.write(QStringLiteral("kept.c"), "old copy\n");
    // Logged in with the program's timeouts; only the stalled operation has a short one.
    if (c.step != Step::Connect) {
        ASSERT_TRUE(hostile.connect());
    }
    hostile.session.timeouts = shortFor(c.wait);
    QElapsedTimer timer;
    timer.start();
    switch (c.step) {
    case Step::Connect:
        EXPECT_FALSE(hostile.connect());
        break;
    case Step::List:
        EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), -1);
        break;
    case Step::Fetch:
        EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
        break;
    case Step::Change:
        EXPECT_FALSE(hostile.session.ChangeRemoteDirectory(QStringLiteral("/src")));
        break;
    }
    const qint64 failedAfter = timer.elapsed();
    EXPECT_LT(failedAfter, kGaveUpWellBeforeDefaultsMs);
    EXPECT_EQ(allFiles(local.path()), QStringList{QStringLiteral("kept.c")});
    EXPECT_EQ(local.read(QStringLiteral("kept.c")), "old copy\n");

    // The misbehaviour was once; the same session goes on, with the program's timeouts again.
    hostile.session.timeouts = FtpTimeouts{};
    if (c.step == Step::Connect) {
        ASSERT_TRUE(hostile.connect());
    }
    EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
    EXPECT_TRUE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
    EXPECT_EQ(local.read(QStringLiteral("kept.c")), "RETR kept.c\n");
    timer.restart();
    hostile.session.DisconnectServer();
    EXPECT_LT(timer.elapsed(), kGaveUpWellBeforeDefaultsMs);
    std::printf("  %s failed after %lld ms\n", c.on, static_cast<long long>(failedAfter));
}

INSTANTIATE_TEST_SUITE_P(FtpHostileSession, StalledServer,
                         ::testing::Values(Stall{"CONNECT=silent", Step::Connect, Wait::Connect},
                                           Stall{"PASS=silent", Step::Connect, Wait::Connect},
                                           Stall{"LIST=silent", Step::List, Wait::Reply},
                                           Stall{"LIST=no-connect", Step::List, Wait::Accept},
                                           Stall{"LIST=stall-data", Step::List, Wait::Stall},
                                           Stall{"LIST=no-final", Step::List, Wait::Reply},
                                           Stall{"RETR=silent", Step::Fetch, Wait::Reply},
                                           Stall{"RETR=no-connect", Step::Fetch, Wait::Accept},
                                           Stall{"RETR=stall-data", Step::Fetch, Wait::Stall},
                                           Stall{"RETR=no-final", Step::Fetch, Wait::Reply},
                                           Stall{"CWD=silent", Step::Change, Wait::Reply}),
                         [](const ::testing::TestParamInfo<Stall>& info) {
                             std::string name = info.param.on;
                             for (char& ch : name)
                                 ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

// libcurl ends an active-mode transfer at once, successful and empty, when it finds the 150 the
// moment it sends the command: it then never waits for the data connection. On a busy machine
// that happens now and then; a server that sends the 150 early makes it happen every time (on a
// connection's second transfer, when libcurl sends no TYPE after the EPRT). Such a transfer is
// made again on a new connection.
TEST(FtpHostileSession, ATransferEndedBeforeItsDataConnectionIsMadeAgain)
{
    for (const bool listing : {true, false}) {
        Hostile hostile({QStringLiteral("--on"), QStringLiteral("EPRT=early-150@2"), QStringLiteral("--on"),
                         QStringLiteral("PORT=early-150@2")});
        ASSERT_TRUE(hostile.connect());
        TempDir local;
        const QString target = local.write(QStringLiteral("kept.c"), "old copy\n");
        if (listing)
            ASSERT_TRUE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
        else
            ASSERT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
        hostile.commands();

        if (listing) {
            EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
        } else {
            local.write(QStringLiteral("kept.c"), "old copy\n");
            EXPECT_TRUE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
            EXPECT_EQ(local.read(QStringLiteral("kept.c")), "RETR kept.c\n");
            EXPECT_EQ(allFiles(local.path()), QStringList{QStringLiteral("kept.c")});
        }
        // Once sent without waiting for the data, then again after a new login.
        const QList<QByteArray> sent = hostile.commands();
        EXPECT_EQ(sent.count(listing ? QByteArray("LIST") : QByteArray("RETR kept.c")), 2);
        EXPECT_EQ(sent.count(QByteArray("USER bob")), 1);
    }
}

// A server that never answers QUIT does not hold up the close for long.
TEST(FtpHostileSession, DisconnectFromASilentServerEnds)
{
    Hostile hostile({QStringLiteral("--on"), QStringLiteral("QUIT=silent")});
    // libcurl closes with the timeouts the connection was last used with.
    hostile.session.timeouts = shortFor(Wait::Reply);
    ASSERT_TRUE(hostile.connect());
    QElapsedTimer timer;
    timer.start();
    hostile.session.DisconnectServer();
    EXPECT_LT(timer.elapsed(), kGaveUpWellBeforeDefaultsMs);
    EXPECT_FALSE(hostile.session.connected());
}

// A server that sent 150 and never connected back may answer nothing more on that connection:
// neither the next operation nor the close waits for its answer to QUIT.
TEST(FtpHostileSession, AConnectionLeftOutOfStepIsNotWaitedOn)
{
    for (bool closeAtOnce : {false, true}) {
        Hostile hostile({QStringLiteral("--on"), QStringLiteral("LIST=no-connect"), QStringLiteral("--once")});
        ASSERT_TRUE(hostile.connect());
        hostile.session.timeouts = shortFor(Wait::Accept);
        EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), -1);
        hostile.session.timeouts = FtpTimeouts{};
        QElapsedTimer timer;
        timer.start();
        if (!closeAtOnce) {
            EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
        }
        hostile.session.DisconnectServer();
        EXPECT_LT(timer.elapsed(), kGaveUpWellBeforeDefaultsMs);
    }
}

// The server hangs up: after login, in the middle of a command, in the middle of a download,
// or for good. Every later operation fails cleanly (or works on a new login where the server
// lets it), and nothing partial stays on disk.
TEST(FtpHostileSession, ClosedControlConnection)
{
    TempDir local;
    const QString target = local.write(QStringLiteral("kept.c"), "old copy\n");
    auto expectOnlyTheOldCopy = [&] {
        EXPECT_EQ(allFiles(local.path()), QStringList{QStringLiteral("kept.c")});
        EXPECT_EQ(local.read(QStringLiteral("kept.c")), "old copy\n");
    };
    {
        SCOPED_TRACE("every login is closed after PWD");
        Hostile hostile({QStringLiteral("--on"), QStringLiteral("PWD=reply-close")});
        // The login itself may fail already, when libcurl reads the close with the last reply.
        hostile.connect();
        EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), -1);
        EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
        EXPECT_FALSE(hostile.session.ChangeRemoteDirectory(QStringLiteral("/src")));
        hostile.session.DisconnectServer();
        expectOnlyTheOldCopy();
    }
    {
        SCOPED_TRACE("closed on LIST");
        Hostile hostile({QStringLiteral("--on"), QStringLiteral("LIST=close")});
        ASSERT_TRUE(hostile.connect());
        EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), -1);
        EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), -1);
        // RETR is answered: the session logs in anew and fetches.
        EXPECT_TRUE(hostile.session.FetchRemoteFile(QStringLiteral("x.c"), local.path(QStringLiteral("x.c"))));
        EXPECT_EQ(local.read(QStringLiteral("x.c")), "RETR x.c\n");
        QFile::remove(local.path(QStringLiteral("x.c")));
    }
    {
        SCOPED_TRACE("closed in the middle of a download");
        Hostile hostile({QStringLiteral("--on"), QStringLiteral("RETR=close-data"), QStringLiteral("--retr-bytes"),
                         QStringLiteral("100000")});
        ASSERT_TRUE(hostile.connect());
        EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
        expectOnlyTheOldCopy();
        EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
    }
    {
        SCOPED_TRACE("the server is gone");
        auto server = std::make_unique<FtpServer>(QStringLiteral("hostile_ftp_server.py"), QStringList{});
        ASSERT_TRUE(server->running());
        FtpSession session;
        session.serverName = server->address();
        session.ConnectServer();
        ASSERT_TRUE(session.connected());
        server.reset(); // killed under a logged-in session; nothing listens on the port any more
        EXPECT_EQ(session.ListRemoteEntries().lastIndex(), -1);
        EXPECT_FALSE(session.FetchRemoteFile(QStringLiteral("kept.c"), target));
        EXPECT_FALSE(session.ChangeRemoteDirectory(QStringLiteral("/src")));
        session.DisconnectServer();
        expectOnlyTheOldCopy();
    }
}

// A transfer cut short. With a failure reply it fails. With a success reply libcurl cannot tell
// in an ASCII transfer (it neither asks SIZE nor trusts the 150 reply's size, as line ends
// change on the way); the session asks SIZE in binary mode and refuses a file that came short.
TEST(FtpHostileSession, TransfersCutShort)
{
    TempDir local;
    const QString target = local.write(QStringLiteral("kept.c"), "old copy\n");
    auto expectOnlyTheOldCopy = [&] {
        EXPECT_EQ(allFiles(local.path()), QStringList{QStringLiteral("kept.c")});
        EXPECT_EQ(local.read(QStringLiteral("kept.c")), "old copy\n");
    };
    for (const char* on : {"RETR=abort-data", "RETR=short-data"}) {
        SCOPED_TRACE(on);
        Hostile hostile({QStringLiteral("--on"), QString::fromLatin1(on), QStringLiteral("--retr-bytes"),
                         QStringLiteral("100000"), QStringLiteral("--once")});
        ASSERT_TRUE(hostile.connect());
        EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
        expectOnlyTheOldCopy();
        // The whole file passes the same check.
        ASSERT_TRUE(hostile.session.FetchRemoteFile(QStringLiteral("whole.c"), local.path(QStringLiteral("whole.c"))));
        QByteArray whole = QByteArray("int x;\r\n").repeated(100000 / 8);
        EXPECT_EQ(local.read(QStringLiteral("whole.c")), whole.replace("\r\n", "\n"));
        QFile::remove(local.path(QStringLiteral("whole.c")));
        hostile.session.DisconnectServer();
        const QList<QByteArray> commands = hostile.commands();
        const qsizetype size = commands.indexOf("SIZE kept.c");
        ASSERT_GE(size, 1);
        EXPECT_EQ(commands[size - 1], "TYPE I");
        EXPECT_EQ(commands.value(size + 1), "TYPE A");
    }
    {
        // A server without SIZE: a short file with a success reply is all there is to know.
        Hostile hostile({QStringLiteral("--on"), QStringLiteral("RETR=short-data")});
        ASSERT_TRUE(hostile.connect());
        EXPECT_TRUE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
        EXPECT_EQ(local.read(QStringLiteral("kept.c")), "RETR k");
        EXPECT_EQ(allFiles(local.path()), QStringList{QStringLiteral("kept.c")});
    }
    {
        // The listing likewise: what arrived before a 426 is not taken as the directory.
        Hostile hostile({QStringLiteral("--on"), QStringLiteral("LIST=abort-data")});
        ASSERT_TRUE(hostile.connect());
        EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), -1);
    }
}

// A failed operation tells why; one that works leaves nothing to tell.
TEST(FtpHostileSession, AFailureTellsWhy)
{
    Hostile hostile({QStringLiteral("--on"), QStringLiteral("RETR=short-data"), QStringLiteral("--retr-bytes"),
                     QStringLiteral("100")});
    ASSERT_TRUE(hostile.connect());
    TempDir local;
    EXPECT_FALSE(hostile.session.ChangeRemoteDirectory(QStringLiteral("/missing")));
    EXPECT_EQ(hostile.session.lastError(), QStringLiteral("550 no such directory"));
    EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("x.c"), local.path(QStringLiteral("x.c"))));
    EXPECT_EQ(hostile.session.lastError(), QStringLiteral("the file arrived shorter than its size on the server"));
    EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
    EXPECT_TRUE(hostile.session.lastError().isEmpty());
}

// Control characters and overlong names in a listing: shown as the listing record holds them
// (up to a NUL, at most 260 bytes), and never a way to put a command on the control connection.
TEST(FtpHostileSession, NamesWithControlCharactersAndOverlongNames)
{
    const QByteArray n255 = QByteArray(253, 'n') + ".c";
    const QByteArray n260 = QByteArray(258, 'm') + ".c";
    const QByteArray n300 = QByteArray(298, 'l') + ".c";
    const QByteArray utf8 = QStringLiteral("あ").toUtf8().repeated(100);      // 300 bytes
    const QByteArray cp932 = QByteArray("\x82\xa0").repeated(150);              // あ × 150 in CP932
    const QList<QByteArray> listed{"tab\there.c", "esc\x1b[31mred.c", "cr\rDELE x.c", QByteArray("nul\0cut.c", 9),
                                   "split\r\nDELE y.c", n255, n260, n300, utf8, cp932};
    TempDir local;
    QByteArray listing;
    for (const QByteArray& name : listed)
        listing += kUnixPrefix + name + "\r\n";
    const QString listingFile = local.write(QStringLiteral("listing"), listing);

    Hostile hostile({QStringLiteral("--listing"), listingFile});
    ASSERT_TRUE(hostile.connect());
    const FtpListing entries = hostile.session.ListRemoteEntries();
    QStringList names;
    for (const FtpEntry& e : entries.entries)
        names << e.name;
    EXPECT_EQ(names, (QStringList{QStringLiteral("tab\there.c"), QStringLiteral("esc\x1b[31mred.c"),
                                  QStringLiteral("cr"), QStringLiteral("DELE x.c"), QString::fromLatin1("nul\0cut.c", 9),
                                  QStringLiteral("split"),
                                  QStringLiteral("DELE y.c"), QString::fromLatin1(n255), QString::fromLatin1(n260),
                                  QString::fromLatin1(n300.left(260)), QStringLiteral("あ").repeated(86),
                                  QStringLiteral("あ").repeated(130)}));
    ASSERT_EQ(entries.lastIndex(), 11);
    // An ASCII transfer makes a lone CR a line end, like LF: what follows is no entry line.
    EXPECT_EQ(entries.entries[3].attributes, 0u);
    EXPECT_EQ(entries.entries[6].attributes, 0u);
    EXPECT_EQ(entries.entries[9].rawName, n300); // cut for showing, sent back whole

    QDir(local.path()).mkdir(QStringLiteral("in"));
    const QString in = local.path(QStringLiteral("in/"));
    EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("cr\rDELE x.c"), in + QStringLiteral("cr.c")));
    EXPECT_FALSE(hostile.session.ChangeRemoteDirectory(QStringLiteral("cr\rDELE x.c")));
    EXPECT_FALSE(hostile.session.ChangeRemoteDirectory(QStringLiteral("//cr\rDELE x.c")));
    EXPECT_FALSE(hostile.session.FetchRemoteFile(QString::fromLatin1("nul\0cut.c", 9), in + QStringLiteral("nul")));
    // libcurl refuses control characters in the name of a file to fetch.
    EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("tab\there.c"), in + QStringLiteral("tab")));
    EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("esc\x1b[31mred.c"), in + QStringLiteral("esc")));
    // A directory may be entered by such a name.
    EXPECT_TRUE(hostile.session.ChangeRemoteDirectory(QStringLiteral("//tab\there.c")));
    EXPECT_TRUE(hostile.session.ChangeRemoteDirectory(QStringLiteral("/")));
    // The longest name a Linux file system takes, and ones longer than that.
    ASSERT_TRUE(hostile.session.FetchRemoteFile(QString::fromLatin1(n255), in + QString::fromLatin1(n255)));
    EXPECT_EQ(local.read(QStringLiteral("in/") + QString::fromLatin1(n255)), "RETR " + n255 + '\n');
    EXPECT_FALSE(hostile.session.FetchRemoteFile(QString::fromLatin1(n260), in + QString::fromLatin1(n260)));
    EXPECT_FALSE(hostile.session.FetchRemoteFile(QString::fromLatin1(n300.left(260)),
                                                 in + QString::fromLatin1(n300.left(260))));
    EXPECT_TRUE(hostile.session.FetchRemoteFile(QString::fromLatin1(n300.left(260)), in + QStringLiteral("short.c")));
    EXPECT_EQ(local.read(QStringLiteral("in/short.c")), "RETR " + n300 + '\n');
    EXPECT_EQ(allFiles(in), (QStringList{QString::fromLatin1(n255), QStringLiteral("short.c")}));

    hostile.session.DisconnectServer();
    for (const QByteArray& command : hostile.commands()) {
        EXPECT_FALSE(command.contains('\r')) << command.constData();
        EXPECT_FALSE(command.startsWith("DELE")) << command.constData();
    }
}

// A directory the server reports with a line end in it is never sent back: it would be two
// commands.
TEST(FtpHostileSession, AReportedDirectoryWithALineEndIsNotSentBack)
{
    for (const char* pwd : {"/a\\rDELE x", "/a\\nDELE x", "/a\\x00DELE x"}) {
        SCOPED_TRACE(pwd);
        Hostile hostile({QStringLiteral("--pwd"), QString::fromLatin1(pwd)});
        ASSERT_TRUE(hostile.connect());
        EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
        EXPECT_TRUE(hostile.session.ChangeRemoteDirectory(QStringLiteral("/src")));
        EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
        hostile.session.DisconnectServer();
        for (const QByteArray& command : hostile.commands()) {
            EXPECT_FALSE(command.contains('\r') || command.contains('\0')) << command.constData();
            EXPECT_FALSE(command.startsWith("DELE") || command.contains("CWD /a")) << command.constData();
        }
    }
}

// A directory of 100,000 entries is listed whole and in order.
TEST(FtpHostileSession, HundredThousandEntries)
{
    Hostile hostile({QStringLiteral("--entries"), QStringLiteral("100000")});
    ASSERT_TRUE(hostile.connect());
    const FtpListing listing = hostile.session.ListRemoteEntries();
    ASSERT_EQ(listing.lastIndex(), 99999);
    for (int i = 0; i < 100000; ++i) {
        if (listing.entries[i].name != QStringLiteral("f%1.c").arg(i, 7, 10, QLatin1Char('0'))
            || listing.entries[i].attributes != FtpEntry::kNormal) {
            FAIL() << "entry " << i << ": " << listing.entries[i].name.toStdString();
        }
    }
}

// A download larger than the space left fails; the old copy and the space stay as they were,
// and the session goes on.
TEST(FtpHostileSession, DownloadLargerThanTheSpaceLeft)
{
    TempDir dir;
    test::SmallFileSystem disk(dir.path(), 256 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << "a tmpfs cannot be mounted here";
    const QString target = dir.write(QStringLiteral("kept.c"), "old copy\n");
    struct statvfs before{};
    ASSERT_EQ(::statvfs(QFile::encodeName(dir.path()).constData(), &before), 0);

    Hostile hostile({QStringLiteral("--retr-bytes"), QStringLiteral("1048576")});
    ASSERT_TRUE(hostile.connect());
    EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
    EXPECT_EQ(allFiles(dir.path()), QStringList{QStringLiteral("kept.c")});
    EXPECT_EQ(dir.read(QStringLiteral("kept.c")), "old copy\n");
    struct statvfs after{};
    ASSERT_EQ(::statvfs(QFile::encodeName(dir.path()).constData(), &after), 0);
    EXPECT_EQ(after.f_bfree, before.f_bfree);
    // The reply to the broken-off transfer is not taken for the answer to what comes next.
    EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
    EXPECT_TRUE(hostile.session.ChangeRemoteDirectory(QStringLiteral("/src")));
    EXPECT_FALSE(hostile.session.ChangeRemoteDirectory(QStringLiteral("/missing")));
}

// A server some way off: every reply and every data connection comes 20 ms late, which is
// after the 150 reply. Each file of a row of downloads arrives whole or is refused, with a
// SIZE reply and without one; none is taken with less than the server sent.
TEST(FtpHostileSession, ASlowServerSendsEveryFileWhole)
{
    for (bool withSize : {true, false}) {
        SCOPED_TRACE(withSize ? "with SIZE" : "without SIZE");
        QStringList arguments{QStringLiteral("--delay"), QStringLiteral("20")};
        if (withSize)
            arguments << QStringLiteral("--retr-bytes") << QStringLiteral("4000");
        Hostile hostile(arguments);
        ASSERT_TRUE(hostile.connect());
        TempDir local;
        int fetched = 0;
        for (int round = 0; round < 4; ++round) {
            for (const QString& name : {QStringLiteral("a.c"), QStringLiteral("b.c"), QStringLiteral("c.c")}) {
                const QString target = local.path(name);
                if (!hostile.session.FetchRemoteFile(name, target)) {
                    EXPECT_FALSE(QFile::exists(target)) << name.toStdString();
                    continue;
                }
                ++fetched;
                QByteArray whole = withSize ? QByteArray("int x;\r\n").repeated(500) : "RETR " + name.toUtf8() + "\r\n";
                EXPECT_EQ(local.read(name), whole.replace("\r\n", "\n")) << name.toStdString() << " round " << round;
                QFile::remove(target);
            }
        }
        // A server that answers in time sends every file.
        EXPECT_EQ(fetched, 12);
    }
}

// A download that never ends stops at the size the server gave, or without one at the ceiling;
// it is refused and leaves nothing behind, and the session goes on.
TEST(FtpHostileSession, ADownloadWithoutEndStopsAtItsSizeOrTheCeiling)
{
    for (bool withSize : {true, false}) {
        SCOPED_TRACE(withSize ? "with SIZE" : "without SIZE");
        QStringList arguments{QStringLiteral("--on"), QStringLiteral("RETR=endless"), QStringLiteral("--once")};
        if (withSize)
            arguments << QStringLiteral("--retr-bytes") << QStringLiteral("4000");
        Hostile hostile(arguments);
        hostile.session.downloadCeiling = 1024 * 1024;
        ASSERT_TRUE(hostile.connect());
        TempDir local;
        const QString target = local.write(QStringLiteral("kept.c"), "old copy\n");
        EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
        EXPECT_EQ(allFiles(local.path()), QStringList{QStringLiteral("kept.c")});
        EXPECT_EQ(local.read(QStringLiteral("kept.c")), "old copy\n");
        EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
        // Sent whole this time, it comes.
        ASSERT_TRUE(hostile.session.FetchRemoteFile(QStringLiteral("kept.c"), target));
        EXPECT_EQ(local.read(QStringLiteral("kept.c")).size(), withSize ? 3500 : 12);
    }
}

// The control connection is reset while the data connection stays open and silent: the
// download fails as soon as the reset arrives, long before any of the session's timeouts.
TEST(FtpHostileSession, AResetControlConnectionEndsTheTransferAtOnce)
{
    Hostile hostile({QStringLiteral("--on"), QStringLiteral("RETR=reset-data"), QStringLiteral("--retr-bytes"),
                     QStringLiteral("100000"), QStringLiteral("--once")});
    hostile.session.timeouts = FtpTimeouts{60000ms, 60000ms, 60s, 60s};
    ASSERT_TRUE(hostile.connect());
    TempDir local;
    const QString target = local.path(QStringLiteral("x.c"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("x.c"), target));
    EXPECT_LT(timer.elapsed(), kGaveUpWellBeforeDefaultsMs);
    EXPECT_TRUE(allFiles(local.path()).isEmpty());
    EXPECT_TRUE(hostile.session.FetchRemoteFile(QStringLiteral("x.c"), target));
}

// The server closes the control connection, with or without a last reply, or resets it, while
// the data connection stays open, silent or still trickling: the transfer fails as soon as the
// close arrives, saying so, and nothing is left on disk. Every transfer of that kind meets it;
// the other kind still works.
TEST(FtpHostileSession, AClosedControlConnectionEndsTheTransferAtOnce)
{
    for (const char* on : {"RETR=fin-data", "RETR=bye-data", "RETR=fin-trickle", "RETR=bye-trickle",
                           "RETR=reset-trickle", "LIST=fin-data", "LIST=bye-trickle"}) {
        SCOPED_TRACE(on);
        Hostile hostile({QStringLiteral("--on"), QString::fromLatin1(on), QStringLiteral("--retr-bytes"),
                         QStringLiteral("100000")});
        ASSERT_TRUE(hostile.connect());
        TempDir local;
        const QString target = local.path(QStringLiteral("x.c"));
        const bool listing = QByteArray(on).startsWith("LIST");
        QElapsedTimer timer;
        timer.start();
        if (listing)
            EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), -1);
        else
            EXPECT_FALSE(hostile.session.FetchRemoteFile(QStringLiteral("x.c"), target));
        const qint64 failedAfter = timer.elapsed();
        EXPECT_LT(failedAfter, kGaveUpWellBeforeDefaultsMs);
        EXPECT_EQ(hostile.session.lastError(), QStringLiteral("the server closed the control connection"));
        EXPECT_TRUE(allFiles(local.path()).isEmpty());
        if (listing)
            EXPECT_TRUE(hostile.session.FetchRemoteFile(QStringLiteral("x.c"), target));
        else
            EXPECT_EQ(hostile.session.ListRemoteEntries().lastIndex(), 4);
        std::printf("  %s failed after %lld ms\n", on, static_cast<long long>(failedAfter));
    }
}

// A server that closes the control connection right after its success reply: what is still on
// its way on the data connection is read, and the file is taken whole.
TEST(FtpHostileSession, AControlConnectionClosedAfterTheFinalReplyKeepsTheFile)
{
    Hostile hostile({QStringLiteral("--on"), QStringLiteral("RETR=reply-close"), QStringLiteral("--retr-bytes"),
                     QStringLiteral("100000")});
    ASSERT_TRUE(hostile.connect());
    TempDir local;
    ASSERT_TRUE(hostile.session.FetchRemoteFile(QStringLiteral("x.c"), local.path(QStringLiteral("x.c"))))
        << hostile.session.lastError().toStdString();
    EXPECT_EQ(local.read(QStringLiteral("x.c")).size(), 100000 - 100000 / 8);
    EXPECT_TRUE(hostile.session.lastError().isEmpty());
}
