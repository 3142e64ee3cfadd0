#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <ftw.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvik::test {

TempDir::TempDir()
{
    EXPECT_TRUE(m_dir.isValid());
    // Readable for the unprivileged child processes some tests start.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                            | QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::ReadGroup
                                            | QFileDevice::ExeGroup);
}

TempDir::~TempDir()
{
    const QByteArray root = m_dir.path().toUtf8();
    ::nftw(
        root.constData(),
        [](const char* path, const struct stat*, int type, FTW*) {
            if (type == FTW_DP)
                ::rmdir(path);
            else
                ::unlink(path);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

QString TempDir::path(const QString& relative) const
{
    return relative.isEmpty() ? m_dir.path() : m_dir.path() + u'/' + relative;
}

QString TempDir::write(const QString& relative, const QByteArray& bytes) const
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).path());
    QFile f(full);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << full.toStdString();
    f.write(bytes);
    return full;
}

QString TempDir::mkdir(const QString& relative) const
{
    QDir().mkpath(path(relative));
    return path(relative);
}

QByteArray TempDir::read(const QString& relative) const
{
    QFile f(path(relative));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path(relative).toStdString();
    return f.readAll();
}

int runUnprivileged(const std::function<int()>& body)
{
    if (::geteuid() != 0)
        return body();
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(125);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace tarvik::test
