#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>

namespace tarvik {

// Files come either as UTF-8 (Linux) or as CP932 (written on Japanese Windows).
enum class TextEncoding { Utf8, Cp932 };

bool isValidUtf8(std::string_view bytes);

// Converts text in an encoding iconv knows to UTF-8, piece by piece. Invalid input becomes
// U+FFFD, one for each code unit of `unitSize` bytes (2 for UTF-16), so the text after it keeps
// its alignment.
class TextDecoder {
public:
    explicit TextDecoder(const char* from, size_t unitSize = 1);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    // False when iconv has no such encoding; decode then keeps ASCII and replaces the rest.
    bool ok() const;

    // Appends the UTF-8 form of `in` to `out` and returns the number of bytes consumed; unless
    // `final`, an incomplete character at the end is left unconsumed for the next call.
    size_t decode(std::string_view in, std::string& out, bool final);

private:
    struct Table;
    size_t decodeByTable(std::string_view in, std::string& out, bool final) const;

    void* m_cd;
    size_t m_unit;
    const Table* m_table = nullptr; // CP932 goes by a table made once from iconv's answers
};

class Cp932Decoder : public TextDecoder {
public:
    Cp932Decoder() : TextDecoder("CP932") {}
};

// Checks UTF-8 validity piece by piece.
class Utf8Validator {
public:
    // False once any invalid sequence has been seen.
    bool feed(std::string_view bytes);
    bool finish();

private:
    std::string m_carry;
    bool m_valid = true;
};

// UTF-8 when the bytes are valid UTF-8 (a leading byte-order mark is dropped), otherwise CP932.
// Invalid CP932 bytes become U+FFFD; decoding never fails.
TextEncoding detectEncoding(std::string_view bytes);

// Decodes to UTF-8 bytes in `out` (replacing its content); returns the encoding that was detected.
TextEncoding decodeToUtf8(std::string_view bytes, std::string& out);

QString decodeText(std::string_view bytes, TextEncoding* detected = nullptr);

// UTF-8 to UTF-16 character for character, invalid bytes as U+FFFD. Unlike QString::fromUtf8,
// a leading U+FEFF is kept: for a line or a name it is text, not a byte-order mark.
QString utf8ToQString(std::string_view utf8);

// Encodes for writing back. Returns false (and leaves `out` empty) when a character has no
// representation in the target encoding that decodes back to it.
bool encodeText(const QString& text, TextEncoding encoding, QByteArray& out);

} // namespace tarvik
