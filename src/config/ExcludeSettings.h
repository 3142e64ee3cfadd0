#pragma once

#include <QString>
#include <QStringList>

namespace tarvik {

class IniDocument;

// The patterns the window's folder searches leave out, one key each in section Exclude:
// Pattern_1, Pattern_2, … read up to the first number missing. Older settings files lack the
// section and leave nothing out.
QStringList readExcludePatterns(const QString& iniPath);
// The same from a settings file already read.
QStringList readExcludePatterns(const IniDocument& doc);

// Replaces the section with `patterns` (blank ones dropped), atomically like every write.
// False with the reason in `error` when the file cannot be read or written; it is then unchanged.
bool writeExcludePatterns(const QString& iniPath, const QStringList& patterns, QString* error);

} // namespace tarvik
