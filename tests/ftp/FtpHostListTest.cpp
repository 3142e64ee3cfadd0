#include "ftp/FtpHostList.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

class FtpHostListTest : public ::testing::Test {
protected:
    SettingsStore& store(const QByteArray& ini)
    {
        m_store = std::make_unique<SettingsStore>(m_dir.write(QStringLiteral("Tarvik.ini"), ini));
        return *m_store;
    }
    QByteArray content() { return m_dir.read(QStringLiteral("Tarvik.ini")); }
    TempDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

const QByteArray kHead = "[DIR]\r\nDef_Dir=\r\n[FTP_Server]\r\nFTP_List=";

} // namespace

TEST(TransformPassword, EncodesAsStoredAndRoundTrips)
{
    EXPECT_EQ(FtpHostList::TransformPassword(QStringLiteral("SET"), QStringLiteral("a;")), u"R;");
    EXPECT_EQ(FtpHostList::TransformPassword(QStringLiteral("UNSET"), QStringLiteral("R;")), u"a;");
    EXPECT_EQ(FtpHostList::TransformPassword(QStringLiteral("SET"), QStringLiteral(" ")), QString(QChar(17)));
    EXPECT_EQ(FtpHostList::TransformPassword(QStringLiteral("other"), QStringLiteral("abc")), QString());
    // Every character but "J" survives; nothing encodes to a comma, CR or LF.
    QString all;
    for (char16_t c = 32; c < 127; ++c)
        if (c != u'J')
            all += QChar(c);
    all += QStringLiteral("\t日本語パスワード😀é");
    const QString stored = FtpHostList::TransformPassword(QStringLiteral("SET"), all);
    EXPECT_FALSE(stored.contains(u',') || stored.contains(u'\r') || stored.contains(u'\n'));
    EXPECT_EQ(FtpHostList::TransformPassword(QStringLiteral("UNSET"), stored), all);
    EXPECT_EQ(FtpHostList::TransformPassword(QStringLiteral("UNSET"),
                                             FtpHostList::TransformPassword(QStringLiteral("SET"), QStringLiteral("J"))),
              u";");
}

TEST_F(FtpHostListTest, FirstHostCreatesTheListAndItsLineBelowIt)
{
    FtpHostList hosts(store("[DIR]\r\nDef_Dir=\r\n"));
    QString error;
    EXPECT_EQ(hosts.registerHost(QStringLiteral("a"), QStringLiteral("h1"), QStringLiteral("u"), QStringLiteral("p"), &error),
              FtpHostList::Registered::Added);
    EXPECT_EQ(content(), QByteArray("[DIR]\r\nDef_Dir=\r\n[FTP_Server]\r\nFTP_List=a\r\nFTP_a=a,h1,u,a\r\n"));
    EXPECT_EQ(hosts.registerHost(QStringLiteral("b"), QStringLiteral("h2"), QString(), QString(), &error),
              FtpHostList::Registered::Added);
    EXPECT_EQ(content(), QByteArray("[DIR]\r\nDef_Dir=\r\n[FTP_Server]\r\nFTP_List=a,b\r\nFTP_b=b,h2,,\r\nFTP_a=a,h1,u,a\r\n"));
    EXPECT_EQ(hosts.record(QStringLiteral("a")), (QStringList{QStringLiteral("a"), QStringLiteral("h1"), QStringLiteral("u"), QStringLiteral("p")}));
}

TEST_F(FtpHostListTest, APasswordEndingInASlashIsStoredAndReadBack)
{
    // "/" encodes to a blank, so the stored record ends in one.
    FtpHostList hosts(store("[DIR]\r\nDef_Dir=\r\n"));
    QString error;
    for (const QString& name : {QStringLiteral("a"), QStringLiteral("b")}) {
        EXPECT_EQ(hosts.registerHost(name, QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("pw/"), &error),
                  FtpHostList::Registered::Added)
            << error.toStdString();
        EXPECT_EQ(hosts.record(name), (QStringList{name, QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("pw/")}));
    }
    EXPECT_TRUE(content().contains("FTP_a=\"a,h,u,ah \"\r\n")) << content().toStdString();
}

TEST_F(FtpHostListTest, AnExistingNameHasOnlyItsRecordRewritten)
{
    FtpHostList hosts(store(kHead + "a,b\r\nFTP_b=b,old,u,R\r\nFTP_a=a,x,u,R\r\n"));
    QString error;
    EXPECT_EQ(hosts.registerHost(QStringLiteral("b"), QStringLiteral("new"), QStringLiteral("u"), QStringLiteral("a;"), &error),
              FtpHostList::Registered::Updated);
    EXPECT_EQ(content(), kHead + "a,b\r\nFTP_b=b,new,u,R;\r\nFTP_a=a,x,u,R\r\n");
}

TEST_F(FtpHostListTest, DeleteRemovesExactlyTheNamedHost)
{
    FtpHostList hosts(store(kHead + "ab,cab,c\r\nFTP_c=c\r\nFTP_cab=cab\r\nFTP_ab=ab\r\n"));
    QString error;
    ASSERT_TRUE(hosts.deleteHost(QStringLiteral("ab"), &error));
    EXPECT_EQ(content(), kHead + "cab,c\r\nFTP_c=c\r\nFTP_cab=cab\r\n");
    ASSERT_TRUE(hosts.deleteHost(QStringLiteral("cab"), &error));
    ASSERT_TRUE(hosts.deleteHost(QStringLiteral("c"), &error));
    EXPECT_EQ(content(), kHead + "\r\n");
    EXPECT_TRUE(hosts.names().isEmpty());
}

TEST_F(FtpHostListTest, NamesThatWouldNameAnotherFolderOrBreakTheFileAreRefused)
{
    FtpHostList hosts(store(kHead + "\r\n"));
    QString error;
    for (const char* bad : {"..", ".", "a/b", "a,b", "a=b"}) {
        EXPECT_EQ(hosts.registerHost(QString::fromLatin1(bad), QStringLiteral("h"), {}, {}, &error),
                  FtpHostList::Registered::Failed)
            << bad;
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(content(), kHead + "\r\n");
    SettingsStore missing(m_dir.path(QStringLiteral("none.ini")));
    EXPECT_EQ(FtpHostList(missing).registerHost(QStringLiteral("a"), QStringLiteral("h"), {}, {}, &error),
              FtpHostList::Registered::Failed);
    EXPECT_TRUE(error.contains(QStringLiteral("none.ini")));
}

TEST_F(FtpHostListTest, RecordsThatWouldNotReadBackAsWrittenAreRefusedAndTheFileKept)
{
    const QByteArray before = kHead + "old\r\nFTP_old=old,h,u,R\r\n";
    FtpHostList hosts(store(before));
    const QString lf = QString(QChar(0x19)), cr = QString(QChar(0x1C)); // stored as LF and CR
    struct Case {
        QString name, host, user, password;
    };
    const Case cases[] = {
        {QStringLiteral("new"), QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("pa") + lf + QStringLiteral("ss")},
        {QStringLiteral("old"), QStringLiteral("h"), QStringLiteral("u"), cr},
        {QStringLiteral("a\nb"), QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("p")},
        {QStringLiteral("old"), QStringLiteral("h\r"), QStringLiteral("u"), QStringLiteral("p")},
        {QStringLiteral("new"), QStringLiteral("h"), QStringLiteral("u,v"), QStringLiteral("p")},
        {QStringLiteral("new "), QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("p")},
        {QStringLiteral("old"), QString(600, u'h'), QStringLiteral("u"), QStringLiteral("p")},
        {QStringLiteral("%HOME%"), QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("p")},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_EQ(hosts.registerHost(c.name, c.host, c.user, c.password, &error), FtpHostList::Registered::Failed)
            << c.name.toStdString() << " " << c.host.size();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(content(), before);
    }
    // A password of other control characters and a long but readable record are stored.
    QString error;
    const QString password = QStringLiteral("\t") + QChar(0x18) + QChar(0x1D);
    EXPECT_EQ(hosts.registerHost(QStringLiteral("old"), QString(400, u'h'), QStringLiteral("u"), password, &error),
              FtpHostList::Registered::Updated);
    EXPECT_EQ(hosts.record(QStringLiteral("old")),
              (QStringList{QStringLiteral("old"), QString(400, u'h'), QStringLiteral("u"), password}));
}

namespace {

mode_t modeOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}

} // namespace

TEST_F(FtpHostListTest, WritingAHostRecordLeavesTheFileReadableByItsOwnerOnly)
{
    FtpHostList hosts(store(kHead + "\r\n"));
    const QString path = m_store->path();
    const auto othersCanRead = [&] {
        return tarvik::test::runUnprivileged([&] { return QFile(path).open(QIODevice::ReadOnly) ? 0 : 1; }) == 0;
    };
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    ASSERT_TRUE(othersCanRead());
    QString error;

    // Other writes keep the mode the file has, whatever it is.
    ASSERT_TRUE(m_store->WriteSetting(QStringLiteral("DIR"), QStringLiteral("Def_Dir"), QStringLiteral("/tmp")));
    EXPECT_EQ(modeOf(path), 0644u);
    EXPECT_EQ(hosts.registerHost(QStringLiteral("a/b"), QStringLiteral("h"), {}, {}, &error),
              FtpHostList::Registered::Failed);
    EXPECT_EQ(modeOf(path), 0644u);

    EXPECT_EQ(hosts.registerHost(QStringLiteral("a"), QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("secret"),
                                 &error),
              FtpHostList::Registered::Added);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_FALSE(othersCanRead());
    EXPECT_EQ(hosts.record(QStringLiteral("a")).value(3), u"secret");

    // A record rewritten in a file someone made readable again closes it again.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    EXPECT_EQ(hosts.registerHost(QStringLiteral("a"), QStringLiteral("h2"), QStringLiteral("u"), QStringLiteral("new"),
                                 &error),
              FtpHostList::Registered::Updated);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(hosts.record(QStringLiteral("a")).value(3), u"new");

    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    ASSERT_TRUE(hosts.deleteHost(QStringLiteral("a"), &error));
    EXPECT_EQ(modeOf(path), 0640u);
    ASSERT_TRUE(m_store->WriteSetting(QStringLiteral("DIR"), QStringLiteral("Def_Dir"), QStringLiteral("/var")));
    EXPECT_EQ(modeOf(path), 0640u);
}
