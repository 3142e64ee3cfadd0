// Line counting of engines with rules beyond the three tokens (section Anryze_Rule): arbitrary
// rules and text, fed whole, in pieces and streamed with long stretches shortened.
//
// Input: a flags byte (bit 0: count symbol lines), a piece-size byte, a shorten-above byte, then
// the engine up to the first NUL: lines "Pat=line,start,end" and "‹Rule›=text" (Line, LineStart,
// Block, Nest, Escape, Multiline, Docstring; malformed ones are left out as the settings reader
// leaves them), then the text.
#include "counting/BoundedLineCounter.h"
#include "counting/LineClassifier.h"
#include "fuzz/FuzzCheck.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace tarvik;

namespace {

struct Counted {
    FileCounts counts;
    std::vector<std::string> steps;
};

Counted countInPieces(std::string_view text, const CommentSyntax& syntax, bool symbols, size_t piece)
{
    Counted out;
    LineCounter counter(syntax, symbols);
    counter.collectSteps(&out.steps);
    for (size_t at = 0; at < text.size(); at += piece)
        counter.feed(text.substr(at, piece));
    counter.finish();
    CHECK(!counter.abandoned());
    out.counts = counter.counts();
    return out;
}

void check(std::string_view text, const CommentSyntax& syntax, bool symbols, size_t piece, size_t shortenAbove)
{
    const Counted whole = countInPieces(text, syntax, symbols, text.size() + 1);
    const Counted pieces = countInPieces(text, syntax, symbols, piece);
    CHECK(whole.counts == pieces.counts);
    CHECK(whole.steps == pieces.steps);
    CHECK(static_cast<int64_t>(whole.steps.size()) == whole.counts.executable);
    CHECK(whole.counts.executable + whole.counts.comment <= whole.counts.total);
    int64_t lines = 0;
    for (size_t i = 0; i < text.size(); ++i)
        lines += text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
    if (!text.empty() && text.back() != '\n' && text.back() != '\r')
        ++lines;
    CHECK(whole.counts.total == lines);
    CHECK(CountFileLines(text, syntax, symbols).counts == whole.counts);

    BoundedLineCounter bounded(syntax, symbols, shortenAbove);
    for (size_t at = 0; at < text.size(); at += piece)
        bounded.feed(text.substr(at, piece));
    bounded.finish();
    CHECK(!bounded.needsExactCount());
    CHECK(bounded.counts() == whole.counts);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view in(reinterpret_cast<const char*>(data), size);
    if (in.size() < 3)
        return 0;
    const bool symbols = in[0] & 1;
    const size_t piece = 1 + static_cast<unsigned char>(in[1]) % 64;
    const size_t shortenAbove = 1 + static_cast<unsigned char>(in[2]) % 16;
    in.remove_prefix(3);
    const size_t nul = in.find('\0');
    if (nul == std::string_view::npos)
        return 0;
    CommentSyntax syntax;
    const QString engine = fuzz::utf16(in.substr(0, nul));
    for (const QString& line : engine.split(u'\n')) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString name = line.left(eq), value = line.mid(eq + 1);
        if (name == u"Pat") {
            const CommentRules rules = syntax.rules;
            syntax = CommentSyntax::fromDefinition(value);
            syntax.rules = rules;
        } else {
            syntax.rules.setRule(name, value);
        }
    }
    in.remove_prefix(nul + 1);
    if (!syntax.extended())
        return 0; // the classic steps: fuzz_line_classifier

    // Raw bytes and the valid UTF-8 that decoding would make of them.
    check(in, syntax, symbols, piece, shortenAbove);
    check(fuzz::utf16(in).toStdString(), syntax, symbols, piece, shortenAbove);
    return 0;
}
