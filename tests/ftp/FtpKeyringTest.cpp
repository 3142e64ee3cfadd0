// Run by with_test_keyring.sh, against a GNOME keyring of the test's own.
#include "ftp/FtpHostList.h"
#include "ftp/PasswordKeyring.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

// What secret-tool, the keyring's own command, finds for a host: read apart from our code.
QString inKeyring(const QString& name, const QString& server, const QString& user)
{
    QProcess p;
    p.start(QStringLiteral("secret-tool"), {QStringLiteral("lookup"), QStringLiteral("registration"), name,
                                           QStringLiteral("server"), server, QStringLiteral("user"), user});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(FtpKeyring, NewAndChangedPasswordsGoToTheKeyringAndTheSettingsHoldNone)
{
    ASSERT_TRUE(keyring::available());
    TempDir dir;
    SettingsStore settings(dir.write(QStringLiteral("Tarvik.ini"), "[FTP_Server]\r\nFTP_List=old\r\nFTP_old=old,h0,u0,R;\r\n"));
    FtpHostList hosts(settings);
    const QString password = QStringLiteral("p@ss,wörd;J");
    ASSERT_EQ(hosts.registerHost(QStringLiteral("srv"), QStringLiteral("ftps://h1"), QStringLiteral("u1"), password, nullptr, true),
              FtpHostList::Registered::Added);
    QByteArray ini = dir.read(QStringLiteral("Tarvik.ini"));
    EXPECT_TRUE(ini.contains("FTP_srv=srv,ftps://h1,u1,,passive,keyring\r\n")) << ini.constData();
    EXPECT_FALSE(ini.contains(FtpHostList::TransformPassword(QStringLiteral("SET"), password).toUtf8()));
    EXPECT_EQ(inKeyring(QStringLiteral("srv"), QStringLiteral("ftps://h1"), QStringLiteral("u1")), password);
    EXPECT_EQ(hosts.record(QStringLiteral("srv")).value(3), password);
    EXPECT_TRUE(FtpHostList::passiveMode(hosts.record(QStringLiteral("srv"))));

    // An entry of before stays as it is until it is registered again, which moves it.
    EXPECT_EQ(hosts.record(QStringLiteral("old")).value(3), u"a;");
    ASSERT_EQ(hosts.registerHost(QStringLiteral("old"), QStringLiteral("h0"), QStringLiteral("u9"), QStringLiteral("new"), nullptr),
              FtpHostList::Registered::Updated);
    ini = dir.read(QStringLiteral("Tarvik.ini"));
    EXPECT_TRUE(ini.contains("FTP_old=old,h0,u9,,,keyring\r\n")) << ini.constData();
    EXPECT_FALSE(FtpHostList::passiveMode(hosts.record(QStringLiteral("old"))));
    EXPECT_EQ(hosts.record(QStringLiteral("old")).value(3), u"new");

    // Deleting a host takes its password out of the keyring.
    ASSERT_TRUE(hosts.deleteHost(QStringLiteral("srv"), nullptr));
    EXPECT_EQ(inKeyring(QStringLiteral("srv"), QStringLiteral("ftps://h1"), QStringLiteral("u1")), QString());

    // Told not to use it, the reversible form, as before.
    qputenv("TARVIK_KEYRING", "off");
    EXPECT_FALSE(keyring::available());
    ASSERT_EQ(hosts.registerHost(QStringLiteral("srv"), QStringLiteral("h1"), QStringLiteral("u1"), QStringLiteral("a;"), nullptr),
              FtpHostList::Registered::Added);
    EXPECT_TRUE(dir.read(QStringLiteral("Tarvik.ini")).contains("FTP_srv=srv,h1,u1,R;\r\n"));
    qunsetenv("TARVIK_KEYRING");
}
