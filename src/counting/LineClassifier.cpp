#include "counting/LineClassifier.h"

#include "counting/BlockComments.h"
#include "counting/QuoteMasking.h"

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
    m_interesting.fill(false);
    m_interesting['"'] = m_interesting['\''] = true;
    for (const std::string* token : {&syntax.lineToken, &syntax.blockStart, &syntax.blockEnd}) {
        if (!token->empty())
            m_interesting[static_cast<unsigned char>((*token)[0])] = true;
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

size_t LineClassifier::scanLine(std::string_view text, size_t from, LineScan& scan) const
{
    scan.firstSolid = npos;
    scan.positions.clear();
    scan.complete = true;
    const size_t n = text.size();
#if defined(__SSE2__)
    // Sixteen bytes at a time, one bit per byte for each question: line end, interesting byte,
    // solid byte. Bits after the first line end are dropped.
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t');
    __m128i wanted[std::tuple_size_v<decltype(m_interestingBytes)>];
    for (int k = 0; k < m_interestingCount; ++k)
        wanted[k] = _mm_set1_epi8(static_cast<char>(m_interestingBytes[static_cast<size_t>(k)]));
    for (size_t q = from; q < n; q += 16) {
        __m128i b;
        unsigned valid = 0xFFFF;
        if (n - q >= 16) {
            b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + q));
        } else {
            alignas(16) char last[16] = {};
            std::memcpy(last, text.data() + q, n - q);
            b = _mm_load_si128(reinterpret_cast<const __m128i*>(last));
            valid = (1u << (n - q)) - 1;
        }
        const unsigned ends =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(b, lf), _mm_cmpeq_epi8(b, cr)))) & valid;
        const unsigned before = ends ? (ends & (0u - ends)) - 1 : valid;
        if (scan.firstSolid == npos) {
            __m128i soft = _mm_or_si128(_mm_cmpeq_epi8(b, space), _mm_cmpeq_epi8(b, tab));
            if (!m_countSymbolLines) {
                for (char symbol : {'{', '}', ';', '(', ')', '/'})
                    soft = _mm_or_si128(soft, _mm_cmpeq_epi8(b, _mm_set1_epi8(symbol)));
            }
            const unsigned solid = ~static_cast<unsigned>(_mm_movemask_epi8(soft)) & before;
            if (solid)
                scan.firstSolid = q + static_cast<size_t>(__builtin_ctz(solid)) - from;
        }
        if (scan.complete && m_interestingCount > 0) {
            __m128i hit = _mm_cmpeq_epi8(b, wanted[0]);
            for (int k = 1; k < m_interestingCount; ++k)
                hit = _mm_or_si128(hit, _mm_cmpeq_epi8(b, wanted[k]));
            for (unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(hit)) & before; hits; hits &= hits - 1) {
                if (scan.positions.size() == LineScan::kMaxPositions) {
                    scan.complete = false;
                    break;
                }
                scan.positions.push_back(static_cast<uint32_t>(q + static_cast<size_t>(__builtin_ctz(hits)) - from));
            }
        }
        if (ends)
            return q + static_cast<size_t>(__builtin_ctz(ends));
    }
    return n;
#else
    for (size_t i = from; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || c == '\r')
            return i;
        if (scan.firstSolid == npos && c != ' ' && c != '\t' && (m_countSymbolLines || !isSymbol(c)))
            scan.firstSolid = i - from;
        if (scan.complete && m_interesting[c]) {
            if (scan.positions.size() == LineScan::kMaxPositions)
                scan.complete = false;
            else
                scan.positions.push_back(static_cast<uint32_t>(i - from));
        }
    }
    return n;
#endif
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
        const auto c = static_cast<unsigned char>(line[i]);
        if (c == '"' || c == '\'' || startsAt(line, i, m_syntax.blockStart) || startsAt(line, i, m_syntax.blockEnd)) {
            plain = false;
            return false;
        }
        if (lineToken == npos && startsAt(line, i, m_syntax.lineToken))
            lineToken = i;
        return true;
    };
    size_t from = 0;
    if (scan) {
        for (uint32_t at : scan->positions) {
            if (!plainAt(at))
                break;
        }
        from = scan->complete ? line.size() : scan->positions.back() + size_t{1};
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

    m_w.assign(line);
    maskQuotes(m_w, '"');
    maskQuotes(m_w, '\'');

    size_t s, e;
    findBlockTokens(s, e);

    // A line comment that starts before the block comment hides the block start.
    size_t p = findToken(m_w, m_syntax.lineToken);
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
            return std::nullopt;
    }

    p = findToken(m_w, m_syntax.lineToken);
    if (p != npos)
        m_w.resize(p);
    if (!hasNonWhitespace(m_w))
        return LineKind::Comment;
    if (step)
        withoutWhitespace(m_w, *step);
    return LineKind::Executable;
}

LineCounter::LineCounter(const CommentSyntax& syntax, bool countSymbolLines) : m_classifier(syntax, countSymbolLines) {}

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
        if (m_steps)
            m_steps->push_back(m_step);
    } else if (*kind == LineKind::Comment) {
        ++m_counts.comment;
    }
}

bool LineCounter::feed(std::string_view text)
{
    if (m_abandoned)
        return false;
    const size_t n = text.size();
    size_t pos = 0;
    if (m_pendingLf && n > 0) {
        if (text[0] == '\n')
            pos = 1;
        m_pendingLf = false;
    }
    while (pos < n) {
        // One scan finds the line's end and what classifying the line needs to know.
        const size_t lineEnd = m_classifier.scanLine(text, pos, m_scan);
        if (lineEnd == n) {
            // No terminator in this piece: keep the beginning of the line for the next one.
            m_partial.append(text.substr(pos));
            return true;
        }
        size_t next = lineEnd + 1;
        if (text[lineEnd] == '\r') {
            if (next < n && text[next] == '\n')
                ++next;
            else if (next == n)
                m_pendingLf = true;
        }
        if (!m_partial.empty()) {
            // The scan saw only this piece's part of the line.
            m_partial.append(text.substr(pos, lineEnd - pos));
            line(m_partial, nullptr);
            m_partial.clear();
        } else {
            line(text.substr(pos, lineEnd - pos), &m_scan);
        }
        if (m_abandoned)
            return false;
        pos = next;
    }
    return true;
}

void LineCounter::finish()
{
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
