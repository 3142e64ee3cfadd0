// Line counting with arbitrary text and arbitrary comment tokens, checked against the plain
// reading of the steps (tests/support/ReferenceClassifier) and against itself fed in pieces.
//
// Input: a flags byte (bit 0: count symbol lines), a piece-size byte, three token-length bytes
// (each modulo 24, so empty, one-byte and long tokens all occur), the three tokens' bytes, then
// the text.
#include "counting/LineClassifier.h"
#include "fuzz/FuzzCheck.h"
#include "support/ReferenceClassifier.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace tarvik;

namespace {

// Decoded text and tokens from the settings file are always valid UTF-8; both sides are compared
// on that form (invalid bytes become U+FFFD, as decoding would make them).
std::string validUtf8(std::string_view bytes)
{
    return fuzz::utf16(bytes).toStdString();
}

std::string printable(std::string_view s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

void describe(const char* what, const LineCountResult& r)
{
    std::fprintf(stderr, "%s: executable %lld comment %lld total %lld abandoned %d\n", what,
                 static_cast<long long>(r.counts.executable), static_cast<long long>(r.counts.comment),
                 static_cast<long long>(r.counts.total), r.abandoned ? 1 : 0);
}

[[noreturn]] void mismatch(const char* what, const CommentSyntax& syntax, bool symbols, std::string_view text,
                           const LineCountResult& expected, const LineCountResult& actual)
{
    std::fprintf(stderr, "MISMATCH (%s)\nline token '%s' block start '%s' block end '%s' symbols %d\ntext '%s'\n", what,
                 printable(syntax.lineToken).c_str(), printable(syntax.blockStart).c_str(),
                 printable(syntax.blockEnd).c_str(), symbols ? 1 : 0, printable(text).c_str());
    describe("expected", expected);
    describe("actual  ", actual);
    std::abort();
}

bool same(const LineCountResult& a, const LineCountResult& b)
{
    return a.counts == b.counts && a.abandoned == b.abandoned;
}

LineCountResult countInPieces(std::string_view text, const CommentSyntax& syntax, bool symbols, size_t piece)
{
    LineCounter counter(syntax, symbols);
    for (size_t at = 0; at < text.size(); at += piece) {
        if (!counter.feed(text.substr(at, piece)))
            break;
    }
    counter.finish();
    return {counter.counts(), counter.abandoned()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    if (in.size() < 5)
        return 0;
    const bool symbols = in[0] & 1;
    const size_t piece = 1 + static_cast<unsigned char>(in[1]) % 64;
    size_t lengths[3];
    for (int i = 0; i < 3; ++i)
        lengths[i] = static_cast<unsigned char>(in[2 + i]) % 24;
    in.remove_prefix(5);
    std::string tokens[3];
    for (int i = 0; i < 3; ++i) {
        const size_t n = std::min(lengths[i], in.size());
        tokens[i].assign(in.substr(0, n));
        in.remove_prefix(n);
    }

    // Raw bytes first: whatever they are, counting must not fail.
    const CommentSyntax rawSyntax{tokens[0], tokens[1], tokens[2]};
    const LineCountResult raw = CountFileLines(in, rawSyntax, symbols);
    const LineCountResult rawPieces = countInPieces(in, rawSyntax, symbols, piece);
    if (!same(raw, rawPieces))
        mismatch("raw bytes, whole vs in pieces", rawSyntax, symbols, in, raw, rawPieces);

    const CommentSyntax syntax{validUtf8(tokens[0]), validUtf8(tokens[1]), validUtf8(tokens[2])};
    const std::string text = validUtf8(in);
    const LineCountResult expected = test::referenceCountLines(text, syntax, symbols);
    const LineCountResult whole = CountFileLines(text, syntax, symbols);
    if (!same(expected, whole))
        mismatch("reference vs CountFileLines", syntax, symbols, text, expected, whole);
    const LineCountResult pieces = countInPieces(text, syntax, symbols, piece);
    if (!same(expected, pieces))
        mismatch("reference vs LineCounter in pieces", syntax, symbols, text, expected, pieces);
    return 0;
}
