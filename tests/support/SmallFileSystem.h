#pragma once

#include "support/TempDir.h"

#include <QString>

namespace tarvik::test {

// A tmpfs of a few pages mounted on a temporary folder for the length of one object, to run out
// of space for real. Mounting needs root (the tests run as root here and in CI); where it is
// not permitted, mounted() is false and the test skips.
class SmallFileSystem {
public:
    explicit SmallFileSystem(int kib);
    // The same on an existing empty folder, `bytes` large.
    SmallFileSystem(const QString& folder, qint64 bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return m_mounted; }
    const QString& error() const { return m_error; }
    QString path(const QString& relative = {}) const;
    // Takes every free byte with one file, leaving `spareBytes` (rounded down to whole pages).
    void fill(qint64 spareBytes = 0) const;

private:
    void mount(const QByteArray& size);

    TempDir m_dir;
    QString m_mountPoint;
    bool m_mounted = false;
    QString m_error;
};

} // namespace tarvik::test
