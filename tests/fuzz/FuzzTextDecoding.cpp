// UTF-8 / CP932 detection and decoding, whole and in pieces, checked against a plain reading of
// the UTF-8 rules, against iconv reading CP932 one character at a time, and against each other.
//
// Input: a piece-size byte, then the bytes to decode.
#include "config/TextCodec.h"
#include "fuzz/FuzzCheck.h"
#include "support/ReferenceDecoding.h"

#include <QString>
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace tarvik;

namespace {

// Well-formed UTF-8 as the Unicode standard tabulates it, one byte range at a time.
bool wellFormedUtf8(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    size_t i = 0;
    auto in = [&](size_t k, unsigned lo, unsigned hi) { return i + k < n && p[i + k] >= lo && p[i + k] <= hi; };
    while (i < n) {
        const unsigned c = p[i];
        if (c <= 0x7F) {
            i += 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            if (!in(1, 0x80, 0xBF))
                return false;
            i += 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            const unsigned lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
            if (!in(1, lo, hi) || !in(2, 0x80, 0xBF))
                return false;
            i += 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            const unsigned lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
            if (!in(1, lo, hi) || !in(2, 0x80, 0xBF) || !in(3, 0x80, 0xBF))
                return false;
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

std::string cp932InPieces(std::string_view bytes, size_t piece)
{
    // As a streamed file is decoded: an incomplete character is carried to the next piece.
    Cp932Decoder decoder;
    std::string carry, out;
    for (size_t at = 0;; at += piece) {
        const std::string_view next = at < bytes.size() ? bytes.substr(at, piece) : std::string_view();
        const bool final = at + piece >= bytes.size();
        carry.append(next);
        const size_t used = decoder.decode(carry, out, final);
        CHECK(used <= carry.size());
        carry.erase(0, used);
        if (final)
            break;
    }
    CHECK(carry.empty());
    return out;
}

// CP932 read one character at a time through iconv; the decoder's table must give the same.
std::string cp932ByCharacter(std::string_view bytes)
{
    static iconv_t cd = iconv_open("UTF-8", "CP932");
    CHECK(cd != reinterpret_cast<iconv_t>(-1));
    return test::decodedByCharacter(cd, bytes, 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t piece = 1 + data[0] % 32;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    const bool valid = isValidUtf8(bytes);
    CHECK(valid == wellFormedUtf8(bytes));
    CHECK(detectEncoding(bytes) == (valid ? TextEncoding::Utf8 : TextEncoding::Cp932));

    Utf8Validator validator;
    bool streamed = true;
    for (size_t at = 0; at < bytes.size() && streamed; at += piece)
        streamed = validator.feed(bytes.substr(at, piece));
    streamed = validator.finish() && streamed;
    CHECK(streamed == valid);

    std::string utf8;
    const TextEncoding encoding = decodeToUtf8(bytes, utf8);
    CHECK(encoding == (valid ? TextEncoding::Utf8 : TextEncoding::Cp932));
    CHECK(wellFormedUtf8(utf8));
    if (valid) {
        std::string_view expected = bytes;
        if (expected.substr(0, 3) == "\xEF\xBB\xBF")
            expected.remove_prefix(3);
        CHECK(utf8 == expected);
    } else {
        CHECK(utf8 == cp932InPieces(bytes, piece));
        CHECK(utf8 == cp932ByCharacter(bytes));
    }

    TextEncoding detected;
    const QString text = decodeText(bytes, &detected);
    CHECK(detected == encoding);
    CHECK(text == fuzz::utf16(utf8));

    // Whatever has a CP932 form decodes back to itself.
    QByteArray encoded;
    if (encodeText(text, TextEncoding::Cp932, encoded)) {
        std::string back;
        Cp932Decoder decoder;
        decoder.decode(std::string_view(encoded.constData(), static_cast<size_t>(encoded.size())), back, true);
        CHECK(fuzz::utf16(back) == text);
    }
    CHECK(encodeText(text, TextEncoding::Utf8, encoded) && encoded == text.toUtf8());
    return 0;
}
