#include "support/SmallFileSystem.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace tarvik::test {

SmallFileSystem::SmallFileSystem(int kib) : m_mountPoint(m_dir.mkdir(QStringLiteral("fs")))
{
    mount(QByteArray::number(kib) + 'k');
}

SmallFileSystem::SmallFileSystem(const QString& folder, qint64 bytes) : m_mountPoint(folder)
{
    mount(QByteArray::number(bytes));
}

void SmallFileSystem::mount(const QByteArray& size)
{
    const QByteArray options = "size=" + size + ",mode=0777";
    if (::mount("tarvik-test", m_mountPoint.toUtf8().constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0)
        m_mounted = true;
    else
        m_error = QString::fromLocal8Bit(std::strerror(errno));
}

SmallFileSystem::~SmallFileSystem()
{
    if (m_mounted)
        ::umount2(m_mountPoint.toUtf8().constData(), MNT_DETACH);
}

QString SmallFileSystem::path(const QString& relative) const
{
    return relative.isEmpty() ? m_mountPoint : m_mountPoint + u'/' + relative;
}

void SmallFileSystem::fill(qint64 spareBytes) const
{
    int fd = ::open(path(QStringLiteral("filler")).toUtf8().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    std::vector<char> block(4096, 'f');
    for (;;) {
        struct statvfs vfs {};
        ::fstatvfs(fd, &vfs);
        if (static_cast<qint64>(vfs.f_bavail * vfs.f_frsize) <= spareBytes)
            break;
        if (::write(fd, block.data(), block.size()) <= 0)
            break;
    }
    ::close(fd);
}

} // namespace tarvik::test
