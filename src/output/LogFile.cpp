#include "output/LogFile.h"

#include <QSaveFile>

namespace tarvik {

bool SaveLogFile(const QString& path, const QString& reportText, QString* error)
{
    return SaveFileAtomically(path, QString(reportText + QStringLiteral("\r\n")).toUtf8(), error);
}

bool SaveFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace tarvik
