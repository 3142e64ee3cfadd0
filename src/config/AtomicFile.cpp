#include "config/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tarvik {

bool commitSaveFile(QSaveFile& file, QString* error)
{
    bool written = file.error() == QFileDevice::NoError && file.flush();
    if (written && ::fsync(file.handle()) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        written = false;
    } else if (!written && error) {
        *error = file.errorString();
    }
    if (!written) {
        file.cancelWriting();
        file.commit(); // removes the temporary file
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error,
                         std::optional<QFileDevice::Permissions> mode)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if ((mode && !file.setPermissions(*mode)) || file.write(bytes) != bytes.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        file.commit();
        return false;
    }
    return commitSaveFile(file, error);
}

} // namespace tarvik
