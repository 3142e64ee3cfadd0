#pragma once

#include "counting/VersionDiff.h"

#include <QList>
#include <QString>

namespace tarvik {

// Writes a comparison as CSV for spreadsheet programs: a UTF-8 byte order mark (so they read
// the Japanese texts as UTF-8), then exactly the rows `tarvik-count --diff -f csv` prints. The
// file is replaced atomically. Returns false with the reason in `error` when it could not be
// written.
bool SaveDiffCsv(const QString& path, const QList<FileChange>& changes, QString* error);

} // namespace tarvik
