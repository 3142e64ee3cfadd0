#include "output/LogFile.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include "config/NativePath.h"

#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::test::TempDir;

TEST(LogFile, HoldsTheReportFollowedByCrLfInUtf8)
{
    TempDir dir;
    const QString path = dir.path(QStringLiteral("run.tvk"));
    QString error;
    ASSERT_TRUE(SaveLogFile(path, QStringLiteral("総実行数\r\n"), &error)) << error.toStdString();
    EXPECT_EQ(dir.read(QStringLiteral("run.tvk")), QByteArray("総実行数\r\n\r\n"));
    ASSERT_TRUE(SaveLogFile(path, QStringLiteral("x"), &error));
    EXPECT_EQ(dir.read(QStringLiteral("run.tvk")), QByteArray("x\r\n")); // replaced whole, nothing appended
}

TEST(LogFile, AFailedWriteSaysWhyAndLeavesTheOldLogIntact)
{
    TempDir dir;
    QString error;
    EXPECT_FALSE(SaveLogFile(dir.path(QStringLiteral("no/such/dir/run.tvk")), QStringLiteral("x"), &error));
    EXPECT_FALSE(error.isEmpty());

    const QString path = dir.write(QStringLiteral("ro/run.tvk"), "old log\r\n");
    QFile::setPermissions(dir.path(QStringLiteral("ro")), QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                                              | QFileDevice::ReadOther | QFileDevice::ExeOther);
    // Without root rights the folder's bits hold: the new log cannot even be started there.
    int rc = test::runUnprivileged([&] {
        QString why;
        return !SaveLogFile(path, QStringLiteral("new log"), &why) && !why.isEmpty() ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(dir.read(QStringLiteral("ro/run.tvk")), QByteArray("old log\r\n"));
}

// A log saved through a link replaces the file the link leads to; one saved into a FIFO goes
// to its reader, and the FIFO stays.
TEST(LogFile, ALinkIsFollowedAndAFifoWrittenInto)
{
    TempDir dir;
    dir.write(QStringLiteral("real.tvk"), "old\r\n");
    const std::string link = pathToNative(dir.path(QStringLiteral("link.tvk")));
    ASSERT_EQ(::symlink("real.tvk", link.c_str()), 0);
    QString error;
    ASSERT_TRUE(SaveLogFile(pathFromNative(link), QStringLiteral("new"), &error)) << error.toStdString();
    struct stat st {};
    EXPECT_TRUE(::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_EQ(dir.read(QStringLiteral("real.tvk")), QByteArray("new\r\n"));

    const std::string fifo = pathToNative(dir.path(QStringLiteral("pipe.tvk")));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(SaveLogFile(pathFromNative(fifo), QStringLiteral("piped"), &error)) << error.toStdString();
    char buffer[64];
    const ssize_t n = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    EXPECT_EQ(QByteArray(buffer, n > 0 ? static_cast<int>(n) : 0), QByteArray("piped\r\n"));
    EXPECT_TRUE(::lstat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}
