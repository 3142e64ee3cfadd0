#include "counting/LineClassifier.h"

#include "counting/BlockComments.h"
#include "counting/LexicalClassifier.h"
#include "counting/QuoteMasking.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvik {

namespace {

constexpr size_t npos = std::string_view::npos;

// A disabled (empty) token is never searched for.
size_t findToken(std::string_view text, std::string_view token, size_t from = 0)
{
    if (token.empty() || from > text.size())
        return npos;
    const char* hit = findBytes(text.data() + from, text.data() + text.size(), token);
    return hit ? static_cast<size_t>(hit - text.data()) : npos;
}

bool startsAt(std::string_view text, size_t i, std::string_view token)
{
    if (token.empty() || text.size() - i < token.size())
        return false;
    for (size_t k = 0; k < token.size(); ++k) {
        if (text[i + k] != token[k])
            return false;
    }
    return true;
}

bool isSymbol(unsigned char c)
{
    return c == '{' || c == '}' || c == ';' || c == '(' || c == ')' || c == '/';
}

// TAB, SPACE and IDEOGRAPHIC SPACE (U+3000, E3 80 80 in UTF-8) are whitespace here.
size_t whitespaceLength(std::string_view s, size_t i)
{
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || c == '\t')
        return 1;
    if (c == 0xE3 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80
        && static_cast<unsigned char>(s[i + 2]) == 0x80)
        return 3;
    return 0;
}

void withoutWhitespace(std::string_view s, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < s.size();) {
        const size_t w = whitespaceLength(s, i);
        if (w == 0)
            out += s[i++];
        else
            i += w;
    }
}

bool hasNonWhitespace(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        size_t w = whitespaceLength(s, i);
        if (w == 0)
            return true;
        i += w;
    }
    return false;
}


} // namespace

LineClassifier::LineClassifier(const CommentSyntax& syntax, bool countSymbolLines)
    : m_syntax(syntax), m_countSymbolLines(countSymbolLines)
{
    m_interesting.fill(0);
    m_interesting['"'] = m_interesting['\''] = kQuote;
    const std::pair<const std::string*, Role> tokens[] = {
        {&syntax.blockStart, kBlockStart}, {&syntax.blockEnd, kBlockEnd}, {&syntax.lineToken, kLineToken}};
    for (const auto& [token, role] : tokens) {
        if (!token->empty())
            m_interesting[static_cast<unsigned char>((*token)[0])] |= role;
    }
    m_interestingCount = 0;
    for (int c = 0; c < 256; ++c) {
        if (m_interesting[static_cast<size_t>(c)])
            m_interestingBytes[m_interestingCount++] = static_cast<unsigned char>(c);
    }
}

size_t LineClassifier::nextInteresting(std::string_view line, size_t i) const
{
    // Sixteen bytes at a time: compare with each interesting byte and skip blocks without any.
    using Bytes = unsigned char __attribute__((vector_size(16)));
    const size_t n = line.size();
    while (i + 16 <= n) {
        Bytes block;
        std::memcpy(&block, line.data() + i, 16);
        Bytes hits = block == m_interestingBytes[0];
        for (int k = 1; k < m_interestingCount; ++k)
            hits |= block == m_interestingBytes[k];
        uint64_t halves[2];
        std::memcpy(halves, &hits, 16);
        if ((halves[0] | halves[1]) != 0)
            break;
        i += 16;
    }
    while (i < n && !m_interesting[static_cast<unsigned char>(line[i])])
        ++i;
    return i;
}

bool LineClassifier::isBlank(std::string_view line) const
{
    for (size_t i = 0; i < line.size();) {
        size_t w = whitespaceLength(line, i);
        if (w != 0) {
            i += w;
            continue;
        }
        if (!m_countSymbolLines && isSymbol(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

void LineClassifier::findBlockTokens(size_t& s, size_t& e) const
{
    tarvik::findBlockTokens(m_w, m_syntax.blockStart, m_syntax.blockEnd, s, e);
}

std::optional<LineKind> LineClassifier::classify(std::string_view line) { return classify(line, nullptr); }

std::optional<LineKind> LineClassifier::classify(std::string_view line, std::string* step)
{
    return classifyScanned(line, step, isBlank(line), nullptr);
}

std::optional<LineKind> LineClassifier::classify(std::string_view line, std::string* step, const LineScan& scan)
{
    // The scan takes the first byte of an IDEOGRAPHIC SPACE for text: from there the full test decides.
    const size_t f = scan.firstSolid;
    const bool blank = f == npos || (static_cast<unsigned char>(line[f]) == 0xE3 && isBlank(line.substr(f)));
    if (!blank && scan.complete && scan.count == 0) {
        // Most lines: no quote, no token.
        if (m_inside)
            return LineKind::Comment;
        if (step)
            withoutWhitespace(line, *step);
        return LineKind::Executable;
    }
    return classifyScanned(line, step, blank, &scan);
}

std::optional<LineKind> LineClassifier::classifyScanned(std::string_view line, std::string* step, bool blank,
                                                        const LineScan* scan)
{
    if (blank)
        return LineKind::Blank;

    // Most lines hold no quote and no block token: a look at the interesting bytes finds out,
    // and such a line is judged on its text before the first line token (or, inside a block
    // comment, is comment), with the same result as the full steps.
    size_t lineToken = npos;
    bool plain = true;
    auto plainAt = [&](size_t i) {
        const uint8_t role = m_interesting[static_cast<unsigned char>(line[i])];
        if ((role & kQuote) || ((role & kBlockStart) && startsAt(line, i, m_syntax.blockStart))
            || ((role & kBlockEnd) && startsAt(line, i, m_syntax.blockEnd))) {
            plain = false;
            return false;
        }
        if (lineToken == npos && (role & kLineToken) && startsAt(line, i, m_syntax.lineToken))
            lineToken = i;
        return true;
    };
    size_t from = 0;
    if (scan) {
        for (uint32_t at : scan->found()) {
            if (!plainAt(at))
                break;
        }
        from = scan->complete ? line.size() : scan->positions[scan->count - 1] + size_t{1};
    }
    for (size_t i = nextInteresting(line, from); plain && i < line.size(); i = nextInteresting(line, i + 1))
        plainAt(i);
    if (plain) {
        if (m_inside)
            return LineKind::Comment;
        const std::string_view code = line.substr(0, lineToken);
        if (lineToken != npos && !hasNonWhitespace(code))
            return LineKind::Comment;
        if (step)
            withoutWhitespace(code, *step);
        return LineKind::Executable;
    }

    if (!(scan && commonBlockShape(line, *scan)) && !passBlockComments(line))
        return std::nullopt;

    const size_t p = findToken(m_w, m_syntax.lineToken);
    if (p != npos)
        m_w.resize(p);
    if (!hasNonWhitespace(m_w))
        return LineKind::Comment;
    if (step)
        withoutWhitespace(m_w, *step);
    return LineKind::Executable;
}

bool LineClassifier::commonBlockShape(std::string_view line, const LineScan& scan)
{
    if (!scan.complete)
        return false;
    const std::string_view bs = m_syntax.blockStart, be = m_syntax.blockEnd;
    size_t starts = 0, s = npos, ends = 0, firstEnd = npos, endBehind = npos, lineToken = npos;
    for (uint32_t at : scan.found()) {
        const auto c = static_cast<unsigned char>(line[at]);
        if (c == '"' || c == '\'')
            return false; // quote masking may change every token's meaning
        if (startsAt(line, at, bs) && starts++ == 0)
            s = at;
        if (startsAt(line, at, be)) {
            ++ends;
            if (firstEnd == npos)
                firstEnd = at;
            if (s != npos && endBehind == npos && at >= s + bs.size())
                endBehind = at;
        }
        if (lineToken == npos && startsAt(line, at, m_syntax.lineToken))
            lineToken = at;
    }
    if (lineToken != npos && s != npos && lineToken < s)
        return false; // the line token hides the block start
    if (m_inside) {
        // The one end token closes the open comment; what follows holds no token.
        if (starts != 0 || ends != 1)
            return false;
        m_w.assign(line.substr(firstEnd + be.size()));
        m_inside = false;
        return true;
    }
    if (s == npos) { // nothing opens; a stray end token stays in the text
        m_w.assign(line);
        return true;
    }
    if (endBehind == npos) {
        // A comment opens and stays open; no end token lies wholly before it.
        if (firstEnd != npos && firstEnd + be.size() <= s)
            return false;
        m_w.assign(line.substr(0, s));
        m_inside = true;
        return true;
    }
    // One whole comment: removed, and no token may form where the two sides meet.
    if (starts != 1 || ends != 1)
        return false;
    m_w.assign(line.substr(0, s));
    m_w.append(line.substr(endBehind + be.size()));
    size_t s2, e2;
    findBlockTokens(s2, e2);
    return s2 == npos && e2 == npos;
}

bool LineClassifier::fitsWorkingMemory(std::string_view line) const
{
    if (line.size() * kBytesPerEntry <= kWorkingMemoryFloor)
        return true;
    const size_t limit = std::max(kWorkingMemoryFloor, kWorkingMemoryPerByte * line.size()) / kBytesPerEntry;
    // Counted only as far as the limit. string_view::find goes by the first byte: a search of the
    // whole rest per hit (memmem under AddressSanitizer) would make this quadratic.
    auto count = [line, limit](std::string_view token, size_t n) {
        if (token.empty())
            return n;
        for (size_t at = line.find(token); at != std::string_view::npos && n <= limit; at = line.find(token, at + 1))
            ++n;
        return n;
    };
    // Quote masking and the block-comment index come one after the other.
    return count("\"", 0) <= limit && count("'", 0) <= limit
        && count(m_syntax.blockEnd, count(m_syntax.blockStart, 0)) <= limit;
}

bool LineClassifier::passBlockComments(std::string_view line)
{
    if (!fitsWorkingMemory(line))
        return false;
    m_w.assign(line);
    maskQuotes(m_w, '"');
    maskQuotes(m_w, '\'');

    size_t s, e;
    findBlockTokens(s, e);

    // A line comment that starts before the block comment hides the block start.
    const size_t p = findToken(m_w, m_syntax.lineToken);
    if (p != npos && s != npos && p < s) {
        replaceAll(m_w, m_syntax.blockStart, "");
        s = npos;
        e = npos;
    }

    // Block-comment cases, tried in this order on every pass. Whole comments within the line
    // are removed a run of passes at a time.
    std::string text;
    for (int passes = 0;;) {
        if (s != npos && e != npos && !m_inside) {
            removeWholeComments(m_w, {m_syntax.blockStart, m_syntax.blockEnd}, s, e, passes, kPassLimit);
        } else {
            if (s != npos && e == npos) { // a comment opens and stays open
                m_w.resize(s);
                m_inside = true;
            } else if (e != npos && m_inside) { // the open comment ends here
                text.assign(m_w, 0, e + m_syntax.blockEnd.size());
                replaceAll(m_w, text, "");
                m_inside = false;
            } else if (s == npos && e != npos) { // a stray end token outside a comment stays
                break;
            } else if (m_inside) { // the whole line lies inside the comment
                m_w.clear();
            }
            findBlockTokens(s, e);
            ++passes;
        }
        if (s == npos && e == npos)
            break;
        if (passes >= kPassLimit)
            return false;
    }
    return true;

}

namespace {

// One bit per byte of a 64-byte block for each question the line scan asks.
struct ByteMasks {
    uint64_t ends = 0;        // CR or LF
    uint64_t solid = 0;       // neither TAB nor SPACE nor (when they are not counted) a symbol
    uint64_t interesting = 0; // a quote or a token's first byte
};

class BlockScanner {
public:
    BlockScanner(const std::array<unsigned char, 5>& interesting, int count, bool countSymbolLines)
        : m_symbols(!countSymbolLines)
    {
        for (size_t k = 0; k < 5; ++k)
            m_bytes[k] = interesting[k < static_cast<size_t>(count) ? k : 0];
#if defined(__SSE2__)
        for (size_t k = 0; k < 5; ++k)
            m_wanted[k] = _mm_set1_epi8(static_cast<char>(m_bytes[k]));
#endif
    }

    // Exactly 64 bytes at p.
    ByteMasks block(const char* p) const
    {
        ByteMasks m;
#if defined(__SSE2__)
        const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
        const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t');
        for (int k = 0; k < 4; ++k) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            const auto bits = [](__m128i v) { return static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v))); };
            m.ends |= bits(_mm_or_si128(_mm_cmpeq_epi8(b, lf), _mm_cmpeq_epi8(b, cr))) << (16 * k);
            __m128i soft = _mm_or_si128(_mm_cmpeq_epi8(b, space), _mm_cmpeq_epi8(b, tab));
            if (m_symbols) {
                for (char symbol : {'{', '}', ';', '(', ')', '/'})
                    soft = _mm_or_si128(soft, _mm_cmpeq_epi8(b, _mm_set1_epi8(symbol)));
            }
            m.solid |= (bits(soft) ^ 0xFFFF) << (16 * k);
            const __m128i hit = _mm_or_si128(
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, m_wanted[0]), _mm_cmpeq_epi8(b, m_wanted[1])),
                             _mm_or_si128(_mm_cmpeq_epi8(b, m_wanted[2]), _mm_cmpeq_epi8(b, m_wanted[3]))),
                _mm_cmpeq_epi8(b, m_wanted[4]));
            m.interesting |= bits(hit) << (16 * k);
        }
#else
        for (int i = 0; i < 64; ++i) {
            const auto c = static_cast<unsigned char>(p[i]);
            const uint64_t bit = uint64_t{1} << i;
            if (c == '\n' || c == '\r')
                m.ends |= bit;
            if (c != ' ' && c != '\t' && !(m_symbols && isSymbol(c)))
                m.solid |= bit;
            for (unsigned char w : m_bytes) {
                if (c == w)
                    m.interesting |= bit;
            }
        }
#endif
        return m;
    }

    // The last `n` (< 64) bytes of a text; the bits past them are clear.
    ByteMasks tail(const char* p, size_t n) const
    {
        char last[64] = {};
        std::memcpy(last, p, n);
        ByteMasks m = block(last);
        const uint64_t valid = (uint64_t{1} << n) - 1;
        m.ends &= valid;
        m.solid &= valid;
        m.interesting &= valid;
        return m;
    }

private:
    bool m_symbols;
    std::array<unsigned char, 5> m_bytes{};
#if defined(__SSE2__)
    __m128i m_wanted[5];
#endif
};

} // namespace

LineCounter::LineCounter(const CommentSyntax& syntax, bool countSymbolLines) : m_classifier(syntax, countSymbolLines)
{
    if (syntax.extended())
        m_lexical = std::make_unique<LexicalClassifier>(syntax, countSymbolLines);
}

LineCounter::~LineCounter() = default;

void LineCounter::line(std::string_view text, const LineScan* scan)
{
    std::string* step = m_steps ? &m_step : nullptr;
    std::optional<LineKind> kind = scan ? m_classifier.classify(text, step, *scan) : m_classifier.classify(text, step);
    if (!kind) {
        m_abandoned = true;
        return;
    }
    ++m_counts.total;
    if (*kind == LineKind::Executable) {
        ++m_counts.executable;
        if (m_collecting)
            collected(m_step);
    } else if (*kind == LineKind::Comment) {
        ++m_counts.comment;
    }
}

bool LineCounter::feed(std::string_view text)
{
    if (m_lexical)
        return feedLexical(text);
    if (m_abandoned)
        return false;
    const size_t n = text.size();
    size_t start = 0; // where the line being scanned starts
    if (m_pendingLf && n > 0) {
        if (text[0] == '\n')
            start = 1;
        m_pendingLf = false;
    }
    // The text goes by in 64-byte blocks, each turned into bit masks once; each line's end,
    // first solid byte and interesting bytes are read off the masks, so the classifier need
    // not read the line again.
    const BlockScanner scanner(m_classifier.m_interestingBytes, m_classifier.m_interestingCount,
                               m_classifier.m_countSymbolLines);
    auto restart = [this] {
        m_scan.firstSolid = npos;
        m_scan.count = 0;
        m_scan.complete = true;
    };
    restart();
    for (size_t q = start; q < n; q += 64) {
        const ByteMasks m = n - q >= 64 ? scanner.block(text.data() + q) : scanner.tail(text.data() + q, n - q);
        uint64_t from = start > q ? ~uint64_t{0} << (start - q) : ~uint64_t{0};
        for (;;) {
            const uint64_t ends = m.ends & from;
            const uint64_t span = from & (ends ? (ends & (0 - ends)) - 1 : ~uint64_t{0});
            if (m_scan.firstSolid == npos && (m.solid & span))
                m_scan.firstSolid = q + static_cast<size_t>(__builtin_ctzll(m.solid & span)) - start;
            if (m_scan.complete) {
                uint64_t hits = m.interesting & span;
                // Positions are 32-bit: a line longer than that is searched again instead.
                if (hits && q + 64 - start > UINT32_MAX)
                    m_scan.complete = false;
                for (; hits && m_scan.complete; hits &= hits - 1) {
                    if (m_scan.count == LineScan::kMaxPositions)
                        m_scan.complete = false;
                    else
                        m_scan.positions[m_scan.count++] =
                            static_cast<uint32_t>(q + static_cast<size_t>(__builtin_ctzll(hits)) - start);
                }
            }
            if (!ends)
                break;
            const size_t lineEnd = q + static_cast<size_t>(__builtin_ctzll(ends));
            size_t next = lineEnd + 1;
            if (text[lineEnd] == '\r') {
                if (next < n && text[next] == '\n')
                    ++next;
                else if (next == n)
                    m_pendingLf = true;
            }
            if (!m_partial.empty()) {
                // The scan saw only this piece's part of the line.
                m_partial.append(text.substr(start, lineEnd - start));
                line(m_partial, nullptr);
                m_partial.clear();
            } else {
                line(text.substr(start, lineEnd - start), &m_scan);
            }
            if (m_abandoned)
                return false;
            start = next;
            restart();
            if (next - q >= 64)
                break;
            from = ~uint64_t{0} << (next - q);
        }
    }
    // No terminator after this: keep the beginning of the line for the next piece.
    if (start < n)
        m_partial.append(text.substr(start));
    return true;
}

// The lexical classifier's lines, as it settles them.
class LexicalLines : public ResolvedLineSink {
public:
    explicit LexicalLines(LineCounter& counter) : m_counter(counter) {}
    void resolved(LineKind kind, std::string_view step) override { m_counter.resolved(kind, step); }

private:
    LineCounter& m_counter;
};

void LineCounter::resolved(LineKind kind, std::string_view step)
{
    ++m_counts.total;
    if (kind == LineKind::Executable) {
        ++m_counts.executable;
        if (m_collecting)
            collected(step);
    } else if (kind == LineKind::Comment) {
        ++m_counts.comment;
    }
}

void LineCounter::collected(std::string_view step)
{
    if (m_steps)
        m_steps->emplace_back(step);
    if (m_lines)
        m_lines->push_back(m_counts.total - 1);
}

bool LineCounter::feedLexical(std::string_view text)
{
    LexicalLines sink(*this);
    const bool steps = m_steps != nullptr;
    const size_t n = text.size();
    size_t start = 0;
    if (m_pendingLf && n > 0) {
        if (text[0] == '\n')
            start = 1;
        m_pendingLf = false;
    }
    if (!m_partial.empty() && start < n) {
        // The line begun in an earlier piece ends at this piece's first line end, if it has one.
        const void* lf = std::memchr(text.data() + start, '\n', n - start);
        const size_t lfAt = lf ? static_cast<size_t>(static_cast<const char*>(lf) - text.data()) : n;
        const void* cr = std::memchr(text.data() + start, '\r', lfAt - start);
        const size_t end = cr ? static_cast<size_t>(static_cast<const char*>(cr) - text.data()) : lfAt;
        m_partial.append(text.substr(start, end - start));
        if (end == n)
            return true;
        m_lexical->classify(m_partial, steps, sink);
        m_partial.clear();
        start = end + 1;
        if (text[end] == '\r') {
            if (start < n && text[start] == '\n')
                ++start;
            else if (start == n)
                m_pendingLf = true;
        }
    }
    if (start < n) {
        bool endsWithCr = false;
        const size_t rest = start + m_lexical->classifyLines(text.substr(start), steps, sink, endsWithCr);
        m_pendingLf = endsWithCr;
        if (rest < n)
            m_partial.append(text.substr(rest));
    }
    return true;
}

void LineCounter::finish()
{
    if (m_lexical) {
        LexicalLines sink(*this);
        if (!m_partial.empty())
            m_lexical->classify(m_partial, m_steps != nullptr, sink);
        m_partial.clear();
        m_lexical->finish(sink);
        return;
    }
    if (!m_abandoned && !m_partial.empty())
        line(m_partial, nullptr);
    m_partial.clear();
}

LineCountResult CountFileLines(std::string_view utf8Text, const CommentSyntax& syntax, bool countSymbolLines)
{
    LineCounter counter(syntax, countSymbolLines);
    counter.feed(utf8Text);
    counter.finish();
    return {counter.counts(), counter.abandoned()};
}

} // namespace tarvik
