#pragma once

#include <QString>
#include <QStringDecoder>

#include <cstdio>
#include <cstdlib>
#include <string_view>

// A violated property is a finding: say which one and abort, so that libFuzzer keeps the input.
#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "CHECK failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                             \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace tarvik::fuzz {

// UTF-8 to UTF-16 character for character, invalid bytes as U+FFFD; QString::fromUtf8 would
// drop a leading U+FEFF.
inline QString utf16(std::string_view utf8)
{
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

} // namespace tarvik::fuzz
