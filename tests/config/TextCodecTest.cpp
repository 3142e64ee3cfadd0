#include "config/NativePath.h"
#include "config/TextCodec.h"

#include "support/QtPrinters.h"
#include "support/ReferenceDecoding.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <random>

using namespace tarvik;

namespace {
// "日本語　ｶﾅ" in CP932: kanji, an ideographic space, half-width katakana.
const std::string kCp932 = "\x93\xfa\x96\x7b\x8c\xea\x81\x40\xb6\xc5";
const QString kText = QStringLiteral("日本語　ｶﾅ");
} // namespace

TEST(TextCodec, Utf8IsTakenWhenValidAndItsByteOrderMarkDropped)
{
    TextEncoding enc;
    EXPECT_EQ(decodeText("\xEF\xBB\xBF" + kText.toStdString(), &enc), kText);
    EXPECT_EQ(enc, TextEncoding::Utf8);
    std::string out;
    EXPECT_EQ(decodeToUtf8("\xEF\xBB\xBFx", out), TextEncoding::Utf8);
    EXPECT_EQ(out, "x");
    // Only the first mark is one; a second is the character U+FEFF, in both decodings.
    EXPECT_EQ(decodeText("\xEF\xBB\xBF\xEF\xBB\xBFx"), QStringLiteral("\uFEFFx"));
    decodeToUtf8("\xEF\xBB\xBF\xEF\xBB\xBFx", out);
    EXPECT_EQ(out, "\xEF\xBB\xBFx");
}

TEST(TextCodec, OtherBytesAreCp932)
{
    TextEncoding enc;
    EXPECT_EQ(decodeText(kCp932, &enc), kText);
    EXPECT_EQ(enc, TextEncoding::Cp932);
    QByteArray back;
    ASSERT_TRUE(encodeText(kText, TextEncoding::Cp932, back));
    EXPECT_EQ(back.toStdString(), kCp932);
}

TEST(TextCodec, TextThatWouldComeBackChangedHasNoCp932Form)
{
    // The converter would write WAVE DASH as the bytes of FULLWIDTH TILDE and YEN SIGN as a
    // backslash; read back, the text would differ.
    QByteArray out;
    for (const char16_t* text : {u"資料\u301C2024", u"\u00A5100", u"\u2212", u"\u00A3"}) {
        const QString s = QString::fromUtf16(text);
        EXPECT_FALSE(encodeText(s, TextEncoding::Cp932, out)) << s.toStdString();
        EXPECT_TRUE(out.isEmpty());
    }
    ASSERT_TRUE(encodeText(QStringLiteral("資料\uFF5E2024\\"), TextEncoding::Cp932, out));
    EXPECT_EQ(decodeText(out.toStdString()), QStringLiteral("資料\uFF5E2024\\"));
}

TEST(TextCodec, InvalidBytesBecomeReplacementCharacters)
{
    // 0xA0 and 0xFD are no CP932 characters; a lead byte at the very end has no trail.
    EXPECT_EQ(decodeText("a\xA0" "b\xFD" "c\x93"), QStringLiteral("a\uFFFDb\uFFFDc\uFFFD"));
}

TEST(TextCodec, Utf8ValidityRejectsOverlongSurrogateAndTruncatedForms)
{
    EXPECT_TRUE(isValidUtf8("plain ascii text, long enough for the fast path"));
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("abc\xE3\x80"));      // cut off
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // beyond U+10FFFF
}

// A character cut off by the end of the text is not UTF-8, and the validators must see that
// without looking past the end: the text ends a heap block of exactly its size (an overread
// is caught by AddressSanitizer), and again followed by the rest of the character in memory
// (an overread would find the character whole). Offsets cover both sides of the 8- and 32-byte
// steps of the ASCII fast path.
TEST(TextCodec, TextCutInsideACharacterIsInvalidWithoutReadingPastItsEnd)
{
    for (const std::string character : {"\xC3\xA9", "\xE3\x81\x82", "\xF0\x9F\x98\x80"}) {
        for (size_t ascii = 0; ascii <= 72; ++ascii) {
            for (size_t kept = 1; kept < character.size(); ++kept) {
                const std::string text = std::string(ascii, 'a') + character.substr(0, kept);
                const std::string whole = std::string(ascii, 'a') + character;
                auto exact = std::make_unique<char[]>(text.size());
                std::memcpy(exact.get(), text.data(), text.size());
                const std::string_view inBlock(exact.get(), text.size());
                const std::string_view beforeRest(whole.data(), text.size());
                for (std::string_view cut : {inBlock, beforeRest}) {
                    SCOPED_TRACE(testing::Message() << ascii << " + " << kept << " of " << character.size());
                    EXPECT_FALSE(isValidUtf8(cut));
                    Utf8Validator one;
                    EXPECT_FALSE(one.feed(cut) && one.finish());
                    Utf8Validator two;
                    const size_t split = ascii / 2;
                    EXPECT_FALSE(two.feed(cut.substr(0, split)) && two.feed(cut.substr(split)) && two.finish());
                }
                EXPECT_TRUE(isValidUtf8(whole));
            }
        }
    }
}

TEST(TextCodec, PiecewiseDecodingMatchesWholeDecodingAtEveryCut)
{
    const std::string sjis = kCp932 + "x\xA0y" + kCp932;
    std::string whole;
    decodeToUtf8(sjis, whole);
    for (size_t cut = 0; cut <= sjis.size(); ++cut) {
        Cp932Decoder decoder;
        std::string out;
        std::string carry = sjis.substr(0, cut);
        size_t used = decoder.decode(carry, out, false);
        carry = carry.substr(used) + sjis.substr(cut);
        decoder.decode(carry, out, true);
        EXPECT_EQ(out, whole) << "cut at " << cut;
    }
    const std::string utf8 = kText.toStdString() + "\xF0\x9F\x98\x80";
    for (size_t cut = 0; cut <= utf8.size(); ++cut) {
        Utf8Validator v;
        v.feed(std::string_view(utf8).substr(0, cut));
        v.feed(std::string_view(utf8).substr(cut));
        EXPECT_TRUE(v.finish()) << "cut at " << cut;
    }
}

namespace {

std::string decodedByCharacter(std::string_view in, const char* from, size_t unit)
{
    iconv_t cd = iconv_open("UTF-8", from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << from;
    std::string out = test::decodedByCharacter(cd, in, unit);
    iconv_close(cd);
    return out;
}

} // namespace

// Bytes that are mostly not text (a binary, or random bytes) decode to what the character-by-
// character reading gives: U+FFFD in the same places, whole or in pieces.
TEST(TextCodec, RandomBytesDecodeAsOneCharacterAtATime)
{
    std::mt19937 rng(20261207);
    std::string bytes(200000, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng() & 0xFF);
    // CP932 text with a few stray bytes in it, and an odd byte at the end for UTF-16.
    std::string sjis;
    while (sjis.size() < 100000)
        sjis += kCp932 + (rng() % 8 == 0 ? "\x80" : "x") + "\r\n";
    for (const auto& [from, unit] : {std::pair{"CP932", 1}, {"EUC-JP", 1}, {"UTF-16LE", 2}, {"UTF-16BE", 2}}) {
        for (const std::string_view in : {std::string_view(bytes), std::string_view(sjis).substr(1)}) {
            SCOPED_TRACE(from);
            const std::string expected = decodedByCharacter(in, from, unit);
            TextDecoder whole(from, unit);
            std::string out;
            EXPECT_EQ(whole.decode(in, out, true), in.size());
            EXPECT_TRUE(out == expected);
            TextDecoder pieces(from, unit);
            std::string carry;
            out.clear();
            for (size_t at = 0; at < in.size();) {
                const size_t n = std::min<size_t>(1 + rng() % 5000, in.size() - at);
                carry.append(in.substr(at, n));
                at += n;
                carry.erase(0, pieces.decode(carry, out, at == in.size()));
            }
            EXPECT_TRUE(carry.empty());
            EXPECT_TRUE(out == expected);
        }
    }
}

TEST(NativePath, EveryByteNameRoundTrips)
{
    // U+FEFF in a name is a character, at the start of a relative name too, and next to bytes
    // that are not UTF-8.
    const std::string names[] = {"/tmp/plain.c", "/tmp/日本語.c", "/tmp/" + kCp932 + ".c", "/tmp/\xff\xfe.c",
                                 "\xEF\xBB\xBF" "a.c", "/tmp/\xEF\xBB\xBF\xff.c"};
    for (const std::string& n : names)
        EXPECT_EQ(pathToNative(pathFromNative(n)), n);
    EXPECT_EQ(pathFromNative("/tmp/日本語.c"), QStringLiteral("/tmp/日本語.c"));
}
