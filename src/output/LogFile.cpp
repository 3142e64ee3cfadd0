#include "output/LogFile.h"

#include "config/AtomicFile.h"

namespace tarvik {

bool SaveLogFile(const QString& path, const QString& reportText, QString* error)
{
    return writeFileAtomically(path, QString(reportText + QStringLiteral("\r\n")).toUtf8(), error);
}

} // namespace tarvik
