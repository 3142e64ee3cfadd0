#pragma once

#include <QByteArray>
#include <QString>

namespace tarvik {

// Writes a run's report as a log: the report text followed by CR LF, in UTF-8. The file is
// replaced atomically, so an existing log is never left half-written. Returns false with the
// reason in `error` when the file could not be written.
bool SaveLogFile(const QString& path, const QString& reportText, QString* error);

} // namespace tarvik
