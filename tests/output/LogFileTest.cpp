#include "output/LogFile.h"

#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

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
