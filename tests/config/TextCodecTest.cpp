#include "config/TextCodec.h"
#include "intake/NativePath.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

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
