#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace tarvik {

// Linux file names are bytes. Paths travel through the program as QString; bytes that are not
// UTF-8 are carried as lone surrogates U+DC80..U+DCFF so that every name maps back to exactly
// the bytes it came from, and a file with a name in CP932 can still be opened.
QString pathFromNative(std::string_view bytes);
std::string pathToNative(const QString& path);

// The text shown for a path or a name in the list, the grid, the report and messages. A name
// that is not UTF-8 is read as CP932, the way files from Japanese Windows are named; bytes that
// are neither, and characters that would break a line (control characters, line and paragraph
// separators), show as U+FFFD. Only for the eye: the real path stays what is counted and opened.
QString displayPath(const QString& path);

// The path as text files (CSV, JSON) and the clipboard hold it: exactly, when all of it is
// UTF-8, so that a name with a tab or a line break survives their quoting; a name with other
// bytes as displayPath shows it, readable rather than turned into "?".
QString exportPath(const QString& path);

} // namespace tarvik
