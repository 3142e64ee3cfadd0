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

} // namespace tarvik
