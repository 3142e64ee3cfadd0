#include "output/LogFile.h"

#include <QSaveFile>

namespace tarvik {

bool SaveLogFile(const QString& path, const QString& reportText, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = QString(reportText + QStringLiteral("\r\n")).toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace tarvik
