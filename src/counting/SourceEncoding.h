#pragma once

#include <string>
#include <string_view>

namespace tarvik {

// How the bytes of a source file become text: an iconv encoding name ("UTF-8" when the bytes
// are used as they are), a byte-order mark to skip and the size of a code unit.
struct SourceEncoding {
    std::string name = "UTF-8";
    size_t bomLength = 0;
    size_t unitSize = 1;

    bool isUtf8() const { return name == "UTF-8"; }
};

// The encoding of a file that is not valid UTF-8, from its first bytes (`sample`: the whole
// file, or as much of its beginning as the caller read): UTF-16 with a byte-order mark,
// otherwise the detector's answer among the Japanese encodings (CP932, EUC-JP), another
// encoding only when the bytes cannot be CP932, and CP932 when in doubt.
SourceEncoding detectSourceEncoding(std::string_view sample);

// A leading UTF-8 byte-order mark, if any, for a file that is valid UTF-8.
size_t utf8BomLength(std::string_view bytes);

} // namespace tarvik
