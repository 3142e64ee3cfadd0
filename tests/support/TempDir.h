#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <string>

namespace tarvik::test {

// A temporary folder for real files; removed with the object.
class TempDir {
public:
    TempDir();
    // Removes the folder by its bytes: Qt would miss names that are not UTF-8.
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    QString path(const QString& relative = {}) const;
    // Creates parent folders as needed; returns the full path.
    QString write(const QString& relative, const QByteArray& bytes) const;
    QString mkdir(const QString& relative) const;
    QByteArray read(const QString& relative) const;

private:
    QTemporaryDir m_dir;
};

// Runs `body` in a child process without root rights (so that permission bits take effect even
// when the tests run as root) and returns the child's exit status, or -1 if it could not run.
int runUnprivileged(const std::function<int()>& body);

} // namespace tarvik::test
