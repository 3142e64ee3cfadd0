#include "config/TextCodec.h"

#include <QStringDecoder>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace tarvik {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// RAII holder; iconv descriptors are not thread-safe, so each call opens its own.
class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

void appendReplacementChar(std::string& out) { out += kReplacement; }

void cp932ToUtf8(std::string_view in, std::string& out)
{
    out.clear();
    Cp932Decoder decoder;
    decoder.decode(in, out, true);
}

} // namespace

// What iconv makes of every byte and every pair of bytes of an encoding whose characters are
// one or two bytes long: the same output, without a call into iconv per character, or per
// invalid byte (a binary read as CP932 holds one every few bytes).
struct TextDecoder::Table {
    // UTF-8 bytes in the low three bytes, their count in the high one; 0: not a character.
    uint32_t single[256] = {};
    // Row of a lead byte in `pair`; row 0, of every other byte, holds no character. The rows
    // are only those of lead bytes, so the table stays in the fast caches.
    uint8_t row[256] = {};
    std::vector<uint32_t> pair; // [row * 256 + trail]
    bool asciiAsIs = true;

    static uint32_t packed(const char* utf8, size_t n)
    {
        uint32_t v = static_cast<uint32_t>(n) << 24;
        for (size_t k = 0; k < n; ++k)
            v |= static_cast<uint32_t>(static_cast<unsigned char>(utf8[k])) << (8 * k);
        return v;
    }

    // nullptr when some sequence is longer than two bytes or needs more than three UTF-8 bytes.
    static const Table* make(const char* from)
    {
        auto table = std::make_unique<Table>();
        Iconv cd("UTF-8", from);
        if (!cd.ok())
            return nullptr;
        // 1: a character (in `result`), 0: invalid, -1: incomplete, -2: no table can say.
        auto convert = [&](const unsigned char* bytes, size_t n, uint32_t& result) {
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
            char out[16];
            char* src = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
            char* dst = out;
            size_t left = n, room = sizeof out;
            if (iconv(cd.get(), &src, &left, &dst, &room) == static_cast<size_t>(-1))
                return errno == EINVAL ? -1 : errno == EILSEQ ? 0 : -2;
            const size_t length = static_cast<size_t>(dst - out);
            if (length == 0 || length > 3 || left != 0)
                return -2;
            result = packed(out, length);
            return 1;
        };
        table->pair.assign(256, 0);
        for (unsigned b = 0; b < 256; ++b) {
            const unsigned char one[1] = {static_cast<unsigned char>(b)};
            const int kind = convert(one, 1, table->single[b]);
            if (kind == -2)
                return nullptr;
            if (b < 0x80 && (kind != 1 || table->single[b] != packed(reinterpret_cast<const char*>(one), 1)))
                table->asciiAsIs = false;
            if (kind != -1)
                continue;
            const size_t at = table->pair.size();
            if (at / 256 > 255)
                return nullptr;
            table->row[b] = static_cast<uint8_t>(at / 256);
            table->pair.resize(at + 256, 0);
            for (unsigned t = 0; t < 256; ++t) {
                const unsigned char two[2] = {static_cast<unsigned char>(b), static_cast<unsigned char>(t)};
                if (convert(two, 2, table->pair[at + t]) < 0)
                    return nullptr;
            }
        }
        return table.release();
    }
};

TextDecoder::TextDecoder(const char* from, size_t unitSize)
    : m_cd(iconv_open("UTF-8", from)), m_unit(unitSize == 0 ? 1 : unitSize)
{
    if (m_unit == 1 && ok() && std::string_view(from) == "CP932") {
        static const Table* const cp932 = Table::make("CP932");
        m_table = cp932;
    }
}

size_t TextDecoder::decodeByTable(std::string_view in, std::string& out, bool final) const
{
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    size_t used = out.size();
    out.resize(used + n * 3 + 16); // three UTF-8 bytes at most for each byte read
    char* dst = out.data();
    auto put = [&](uint32_t v) {
        dst[used] = static_cast<char>(v & 0xFF);
        dst[used + 1] = static_cast<char>((v >> 8) & 0xFF);
        dst[used + 2] = static_cast<char>((v >> 16) & 0xFF);
        used += v >> 24;
    };
    constexpr uint32_t kFffd = 0x03BDBFEF; // EF BF BD, three bytes
    // Without branches on the bytes themselves, which in a binary follow no pattern: a pair is
    // a character (entries exist only for lead bytes), else the byte alone, else U+FFFD.
    size_t i = 0;
    while (i + 1 < n) {
        if (m_table->asciiAsIs && i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                std::memcpy(dst + used, p + i, 8);
                used += 8;
                i += 8;
                continue;
            }
        }
        const unsigned char c = p[i];
        const uint32_t pairValue = m_table->pair[m_table->row[c] * 256u + p[i + 1]];
        const uint32_t single = m_table->single[c] ? m_table->single[c] : kFffd;
        put(pairValue ? pairValue : single);
        i += pairValue ? 2 : 1;
    }
    if (i < n) {
        const unsigned char c = p[i];
        if (m_table->single[c]) {
            put(m_table->single[c]);
            ++i;
        } else if (final || m_table->row[c] == 0) {
            put(kFffd);
            ++i;
        } // else: the rest of the character comes with the next piece
    }
    out.resize(used);
    return i;
}

TextDecoder::~TextDecoder()
{
    if (ok())
        iconv_close(static_cast<iconv_t>(m_cd));
}

bool TextDecoder::ok() const { return m_cd != reinterpret_cast<void*>(-1); }

size_t TextDecoder::decode(std::string_view in, std::string& out, bool final)
{
    if (m_table)
        return decodeByTable(in, out, final);
    auto cd = static_cast<iconv_t>(m_cd);
    if (!ok()) {
        // No converter: keep ASCII, mark everything else as unreadable rather than failing.
        for (unsigned char c : in) {
            if (c < 0x80)
                out += static_cast<char>(c);
            else
                appendReplacementChar(out);
        }
        return in.size();
    }
    // `used` bytes of `out` hold text; the rest is room, grown by doubling. An invalid unit
    // must cost no more than the bytes it adds: clearing room again for each of them made text
    // full of stray bytes decode in time growing with the square of its size.
    size_t used = out.size();
    out.resize(used + in.size() * 3 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = out.data() + used;
        size_t dstLeft = out.size() - used;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        used = static_cast<size_t>(dst - out.data());
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else if (errno == EINVAL && !final) {
            break; // an incomplete character at the end: the caller brings the rest later
        } else {
            // An invalid code unit, or a character cut off by the end of the text.
            if (out.size() - used < kReplacement.size())
                out.resize(out.size() * 2 + kReplacement.size());
            std::memcpy(out.data() + used, kReplacement.data(), kReplacement.size());
            used += kReplacement.size();
            const size_t skip = std::min(m_unit, srcLeft);
            src += skip;
            srcLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    out.resize(used);
    return in.size() - srcLeft;
}

bool isValidUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        // ASCII runs dominate source code: test 32 bytes, then eight, at a time.
        while (end - p >= 32) {
            uint64_t chunk[4];
            std::memcpy(chunk, p, 32);
            if ((chunk[0] | chunk[1] | chunk[2] | chunk[3]) & 0x8080808080808080ULL)
                break;
            p += 32;
        }
        while (end - p >= 8) {
            uint64_t chunk;
            std::memcpy(&chunk, p, 8);
            if (chunk & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p >= end)
            break;
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

TextEncoding detectEncoding(std::string_view bytes)
{
    return isValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Cp932;
}

TextEncoding decodeToUtf8(std::string_view bytes, std::string& out)
{
    if (isValidUtf8(bytes)) {
        if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom)
            bytes.remove_prefix(kUtf8Bom.size());
        out.assign(bytes);
        return TextEncoding::Utf8;
    }
    cp932ToUtf8(bytes, out);
    return TextEncoding::Cp932;
}

QString utf8ToQString(std::string_view utf8)
{
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

QString decodeText(std::string_view bytes, TextEncoding* detected)
{
    TextEncoding enc;
    QString result;
    if (isValidUtf8(bytes)) {
        enc = TextEncoding::Utf8;
        if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom)
            bytes.remove_prefix(kUtf8Bom.size());
        result = utf8ToQString(bytes); // a second mark is text, as for decodeToUtf8
    } else {
        enc = TextEncoding::Cp932;
        std::string utf8;
        cp932ToUtf8(bytes, utf8);
        result = utf8ToQString(utf8);
    }
    if (detected)
        *detected = enc;
    return result;
}

bool encodeText(const QString& text, TextEncoding encoding, QByteArray& out)
{
    out.clear();
    QByteArray utf8 = text.toUtf8();
    if (encoding == TextEncoding::Utf8) {
        out = utf8;
        return true;
    }
    Iconv cd("CP932", "UTF-8");
    if (!cd.ok())
        return false;
    out.resize(utf8.size() * 2 + 16);
    char* src = utf8.data();
    size_t srcLeft = static_cast<size_t>(utf8.size());
    char* dst = out.data();
    size_t dstLeft = static_cast<size_t>(out.size());
    if (iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) {
        out.clear();
        return false;
    }
    out.resize(dst - out.data());
    // The converter maps a few characters to look-alikes ("〜" to "～", "¥" to "\"); such text
    // would come back changed, so it has no CP932 form either.
    std::string back;
    Cp932Decoder().decode(std::string_view(out.constData(), static_cast<size_t>(out.size())), back, true);
    if (back.size() != static_cast<size_t>(utf8.size()) || std::memcmp(back.data(), utf8.constData(), back.size()) != 0) {
        out.clear();
        return false;
    }
    return true;
}

} // namespace tarvik

namespace tarvik {

bool Utf8Validator::feed(std::string_view bytes)
{
    if (!m_valid)
        return false;
    std::string joined;
    if (!m_carry.empty()) {
        joined = m_carry + std::string(bytes);
        bytes = joined;
    }
    // Hold back a character that the piece cuts off (at most three bytes of it).
    size_t cut = bytes.size();
    for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((c & 0xC0) == 0x80)
            continue;
        size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (need > back)
            cut = bytes.size() - back;
        break;
    }
    m_valid = isValidUtf8(bytes.substr(0, cut));
    m_carry.assign(bytes.substr(cut));
    return m_valid;
}

bool Utf8Validator::finish()
{
    if (m_valid && !m_carry.empty())
        m_valid = isValidUtf8(m_carry);
    m_carry.clear();
    return m_valid;
}

} // namespace tarvik
