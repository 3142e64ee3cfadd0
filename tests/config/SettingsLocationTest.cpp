#include "config/SettingsLocation.h"

#include "config/SettingsStore.h"
#include "ftp/FtpHostList.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

const QByteArray kDefault = "[Mode]\r\nCount_Mode=0\r\n[FTP_Server]\r\nFTP_List=\r\n";

// An installed tree (usr/bin, usr/share/tarvik) and a user's empty home in one temporary folder.
class SettingsLocationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir.mkdir(QStringLiteral("usr/bin"));
        m_dir.mkdir(QStringLiteral("home"));
    }
    QString bin() const { return m_dir.path(QStringLiteral("usr/bin")); }
    void installDefault(const QByteArray& content) const { m_dir.write(QStringLiteral("usr/share/tarvik/Tarvik.ini"), content); }
    UserFolders folders() const
    {
        return {m_dir.path(QStringLiteral("home/.config")), m_dir.path(QStringLiteral("home/.local/share"))};
    }
    QString userIni() const { return m_dir.path(QStringLiteral("home/.config/tarvik/Tarvik.ini")); }
    static unsigned mode(const QString& path)
    {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    TempDir m_dir;
};

} // namespace

TEST_F(SettingsLocationTest, SettingsBesideTheProgramWinAndNothingIsCopied)
{
    installDefault(kDefault);
    const QString beside = m_dir.write(QStringLiteral("usr/bin/Tarvik.ini"), "[Mode]\r\n");
    const SettingsLocation location = locateSettings(bin(), folders());
    EXPECT_EQ(location.settingsPath, beside);
    EXPECT_EQ(location.downloadRoot, bin());
    EXPECT_FALSE(location.perUser);
    EXPECT_FALSE(QFile::exists(m_dir.path(QStringLiteral("home/.config"))));
}

TEST_F(SettingsLocationTest, FirstUseCopiesTheInstalledDefaultIntoPrivateFolders)
{
    installDefault(kDefault);
    const SettingsLocation location = locateSettings(bin(), folders());
    EXPECT_EQ(location.settingsPath, userIni());
    EXPECT_EQ(location.downloadRoot, m_dir.path(QStringLiteral("home/.local/share/tarvik")));
    EXPECT_TRUE(location.perUser);
    EXPECT_EQ(location.problem, QString());
    EXPECT_EQ(m_dir.read(QStringLiteral("home/.config/tarvik/Tarvik.ini")), kDefault);
    EXPECT_EQ(mode(m_dir.path(QStringLiteral("home/.config"))), 0700u);
    EXPECT_EQ(mode(m_dir.path(QStringLiteral("home/.config/tarvik"))), 0700u);
}

TEST_F(SettingsLocationTest, AnExistingUserCopyIsKeptAsItIs)
{
    installDefault(kDefault);
    m_dir.write(QStringLiteral("home/.config/tarvik/Tarvik.ini"), "[Mode]\r\nCount_Mode=1\r\n");
    EXPECT_EQ(locateSettings(bin(), folders()).settingsPath, userIni());
    EXPECT_EQ(m_dir.read(QStringLiteral("home/.config/tarvik/Tarvik.ini")), "[Mode]\r\nCount_Mode=1\r\n");
}

TEST_F(SettingsLocationTest, TheCopyBecomesOwnerOnlyOnceItHoldsAHostRecord)
{
    installDefault(kDefault);
    SettingsStore store(locateSettings(bin(), folders()).settingsPath);
    EXPECT_NE(mode(userIni()) & 0077, 0u) << "the copied default is an ordinary file";
    QString error;
    ASSERT_EQ(FtpHostList(store).registerHost(QStringLiteral("srv"), QStringLiteral("h"), QStringLiteral("u"),
                                              QStringLiteral("pw"), &error),
              FtpHostList::Registered::Added)
        << error.toStdString();
    EXPECT_EQ(mode(userIni()), 0600u);
}

TEST_F(SettingsLocationTest, ADefaultThatNamesHostsIsCopiedOwnerOnly)
{
    installDefault("[FTP_Server]\r\nFTP_List=srv\r\nFTP_srv=srv,h,u,abc\r\n");
    locateSettings(bin(), folders());
    EXPECT_EQ(mode(userIni()), 0600u);
}

TEST_F(SettingsLocationTest, WithoutAnInstalledDefaultNothingIsMadeAndTheProblemIsTold)
{
    const SettingsLocation location = locateSettings(bin(), folders());
    EXPECT_EQ(location.settingsPath, userIni());
    EXPECT_TRUE(location.problem.contains(u"usr/share/tarvik/Tarvik.ini")) << location.problem.toStdString();
    EXPECT_FALSE(QFile::exists(userIni()));
}

TEST_F(SettingsLocationTest, ADefaultOver16MiBIsRefusedNotCopied)
{
    installDefault("[Mode]\r\n" + QByteArray(16 << 20, ';'));
    const SettingsLocation location = locateSettings(bin(), folders());
    EXPECT_TRUE(location.problem.contains(u"too large")) << location.problem.toStdString();
    EXPECT_FALSE(QFile::exists(userIni()));
}

// Without HOME the home is the user's in the password database, not the root of the file system.
TEST(UserFoldersTest, WithoutHomeThePasswordDatabaseGivesIt)
{
    const QByteArray saved = qgetenv("HOME");
    qunsetenv("HOME");
    qputenv("XDG_CONFIG_HOME", "");
    qputenv("XDG_DATA_HOME", "");
    const UserFolders folders = UserFolders::fromEnvironment();
    qputenv("HOME", saved);
    const QString home = QFile::decodeName(::getpwuid(::getuid())->pw_dir);
    EXPECT_EQ(folders.configHome, home + QStringLiteral("/.config"));
    EXPECT_EQ(folders.dataHome, home + QStringLiteral("/.local/share"));
}

TEST(UserFoldersTest, RelativeOrEmptyVariablesFallBackToTheHomeFolder)
{
    TempDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    const struct {
        const char* config;
        const char* data;
        QString wantConfig;
        QString wantData;
    } cases[] = {
        {"/cfg", "/dat", QStringLiteral("/cfg"), QStringLiteral("/dat")},
        {"", "", home.path(QStringLiteral(".config")), home.path(QStringLiteral(".local/share"))},
        {"rel/cfg", "rel/dat", home.path(QStringLiteral(".config")), home.path(QStringLiteral(".local/share"))},
    };
    for (const auto& c : cases) {
        qputenv("XDG_CONFIG_HOME", c.config);
        qputenv("XDG_DATA_HOME", c.data);
        const UserFolders folders = UserFolders::fromEnvironment();
        EXPECT_EQ(folders.configHome, c.wantConfig) << c.config;
        EXPECT_EQ(folders.dataHome, c.wantData) << c.data;
    }
}
