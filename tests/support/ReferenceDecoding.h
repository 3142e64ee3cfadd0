#pragma once

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

namespace tarvik::test {

// Text decoded one character at a time through iconv, as the reference the decoders are held to:
// at each position the shortest run of whole code units (up to four bytes) that `cd` converts is
// one character; where none converts, one code unit becomes U+FFFD. `cd` converts to UTF-8.
inline std::string decodedByCharacter(iconv_t cd, std::string_view in, size_t unit)
{
    std::string out;
    for (size_t i = 0; i < in.size();) {
        size_t length = 0;
        char buffer[16];
        char* dst = buffer;
        for (size_t len = unit; len <= 4 && i + len <= in.size() && length == 0; len += unit) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            char* src = const_cast<char*>(in.data() + i);
            size_t left = len, room = sizeof buffer;
            dst = buffer;
            if (iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1) && left == 0)
                length = len;
            else if (errno != EINVAL)
                break;
        }
        if (length != 0) {
            out.append(buffer, static_cast<size_t>(dst - buffer));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            i += std::min(unit, in.size() - i);
        }
    }
    return out;
}

} // namespace tarvik::test
