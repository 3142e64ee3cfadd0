#pragma once

#include <QFile>
#include <QString>

#include <sys/mount.h>

namespace tarvik::test {

// A tmpfs of `bytes` mounted on an existing empty folder for the life of the object, to run a
// disk out of space. Needs root (or CAP_SYS_ADMIN); mounted() says whether it worked, so that a
// test can skip where it may not mount.
class SmallFileSystem {
public:
    SmallFileSystem(const QString& folder, qint64 bytes)
        : m_folder(QFile::encodeName(folder))
    {
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

} // namespace tarvik::test
