#include "counting/LexicalClassifier.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvik {

namespace {

constexpr size_t npos = std::string_view::npos;

bool isSymbol(unsigned char c)
{
    return c == '{' || c == '}' || c == ';' || c == '(' || c == ')' || c == '/';
}

// TAB, SPACE and IDEOGRAPHIC SPACE (U+3000, E3 80 80 in UTF-8), as the classic steps have them.
size_t whitespaceLength(std::string_view s, size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || c == '\t')
        return 1;
    if (c == 0xE3 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80
        && static_cast<unsigned char>(s[i + 2]) == 0x80)
        return 3;
    return 0;
}

bool hasNonWhitespace(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        const size_t w = whitespaceLength(s, i);
        if (w == 0)
            return true;
        i += w;
    }
    return false;
}

void appendWithoutWhitespace(std::string_view s, std::string& out)
{
    for (size_t i = 0; i < s.size();) {
        const size_t w = whitespaceLength(s, i);
        if (w == 0)
            out += s[i++];
        else
            i += w;
    }
}

bool isWordByte(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool startsAt(std::string_view text, size_t i, std::string_view token)
{
    return text.size() - i >= token.size() && std::memcmp(text.data() + i, token.data(), token.size()) == 0;
}

// The length of the UTF-8 character whose lead byte is c (1 for a stray continuation byte).
size_t characterLength(unsigned char c)
{
    return c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
}

void putLength(std::string& out, size_t n)
{
    while (n >= 0x80) {
        out += static_cast<char>(0x80 | (n & 0x7F));
        n >>= 7;
    }
    out += static_cast<char>(n);
}

size_t takeLength(std::string_view in, size_t& at)
{
    size_t n = 0;
    for (int shift = 0;; shift += 7) {
        const auto c = static_cast<unsigned char>(in[at++]);
        n |= static_cast<size_t>(c & 0x7F) << shift;
        if (c < 0x80)
            return n;
    }
}

} // namespace

LexicalClassifier::LexicalClassifier(const CommentSyntax& syntax, bool countSymbolLines)
    : m_countSymbolLines(countSymbolLines), m_nested(syntax.rules.nested), m_docstrings(syntax.rules.docstrings),
      m_escape(syntax.rules.escape)
{
    const CommentRules& rules = syntax.rules;
    if (!syntax.blockStart.empty())
        m_blocks.push_back({syntax.blockStart, syntax.blockEnd});
    for (const TokenPair& pair : rules.blockPairs) {
        if (!pair.open.empty())
            m_blocks.push_back(pair);
    }
    for (const TokenPair& pair : rules.multiline) {
        if (!pair.open.empty() && !pair.close.empty())
            m_strings.push_back(pair);
    }
    std::vector<Token> tokens;
    for (size_t k = 0; k < m_blocks.size(); ++k)
        tokens.push_back({m_blocks[k].open, TokenKind::Block, static_cast<uint32_t>(k), false});
    std::vector<std::string> lineTokens = rules.lineTokens;
    if (!syntax.lineToken.empty())
        lineTokens.insert(lineTokens.begin(), syntax.lineToken);
    for (const std::string& t : lineTokens) {
        if (!t.empty())
            tokens.push_back({t, TokenKind::Line, 0, false});
    }
    for (const std::string& t : rules.lineStartTokens) {
        if (!t.empty())
            tokens.push_back({t, TokenKind::LineStart, 0, isWordByte(static_cast<unsigned char>(t.back()))});
    }
    for (size_t k = 0; k < m_strings.size(); ++k)
        tokens.push_back({m_strings[k].open, TokenKind::String, static_cast<uint32_t>(k), false});
    // Grouped by first byte, the longest first and then by kind; of equal tokens the first listed is tried first.
    std::stable_sort(tokens.begin(), tokens.end(), [](const Token& a, const Token& b) {
        const auto fa = static_cast<unsigned char>(a.text[0]), fb = static_cast<unsigned char>(b.text[0]);
        if (fa != fb)
            return fa < fb;
        if (a.text.size() != b.text.size())
            return a.text.size() > b.text.size();
        return a.kind < b.kind;
    });
    m_tokens = std::move(tokens);
    size_t t = 0;
    for (int c = 0; c < 256; ++c) {
        m_byFirst[static_cast<size_t>(c)] = static_cast<uint32_t>(t);
        while (t < m_tokens.size() && static_cast<unsigned char>(m_tokens[t].text[0]) == c)
            ++t;
        if (m_byFirst[static_cast<size_t>(c)] != t)
            m_code[static_cast<size_t>(c)] |= kToken;
    }
    m_byFirst[256] = static_cast<uint32_t>(t);
    m_code['"'] |= kQuote;
    m_code['\''] |= kQuote;
    if (m_docstrings) {
        for (unsigned char c : {'(', '[', '{'})
            m_code[c] |= kOpen;
        for (unsigned char c : {')', ']', '}'})
            m_code[c] |= kClose;
    }
    for (int c = 0; c < 256; ++c)
        m_stop[static_cast<size_t>(c)] = m_code[static_cast<size_t>(c)] != 0;
    for (const TokenPair& pair : m_blocks) {
        m_stop[static_cast<unsigned char>(pair.open[0])] = true;
        if (!pair.close.empty())
            m_stop[static_cast<unsigned char>(pair.close[0])] = true;
    }
    for (const TokenPair& pair : m_strings)
        m_stop[static_cast<unsigned char>(pair.close[0])] = true;
    if (!m_escape.empty())
        m_stop[static_cast<unsigned char>(m_escape[0])] = true;
    for (int c = 0; c < 256; ++c) {
        if (m_stop[static_cast<size_t>(c)])
            m_stopBytes.push_back(static_cast<unsigned char>(c));
    }
    if (m_stopBytes.size() > kMaxStopBytes)
        m_stopBytes.clear(); // too many to compare a block with: the byte table finds them
}

namespace {

// One bit per byte of a 64-byte block for each question the scan asks.
struct ByteMasks {
    uint64_t ends = 0;  // CR or LF
    uint64_t solid = 0; // neither TAB nor SPACE nor (when they are not counted) a symbol
    uint64_t stops = 0; // a byte the classifier acts on
};

class BlockScanner {
public:
    // The stop bytes are compared in a fixed number of 4, 8 or 16 (the first one repeated), so
    // that the compiler unrolls the comparisons.
    BlockScanner(const std::vector<unsigned char>& stops, bool countSymbolLines)
        : m_symbols(!countSymbolLines), m_count(stops.size() <= 4 ? 4 : stops.size() <= 8 ? 8 : 16)
    {
        for (size_t k = 0; k < m_count; ++k)
            m_bytes[k] = k < stops.size() ? stops[k] : stops.empty() ? 0 : stops[0];
#if defined(__SSE2__)
        for (size_t k = 0; k < m_count; ++k)
            m_wanted[k] = _mm_set1_epi8(static_cast<char>(m_bytes[k]));
#endif
    }

    // Exactly 64 bytes at p.
    ByteMasks block(const char* p) const
    {
        return m_count == 4 ? block<4>(p) : m_count == 8 ? block<8>(p) : block<16>(p);
    }

    template <size_t K>
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
            __m128i hit = _mm_cmpeq_epi8(b, m_wanted[0]);
            for (size_t w = 1; w < K; ++w)
                hit = _mm_or_si128(hit, _mm_cmpeq_epi8(b, m_wanted[w]));
            m.stops |= bits(hit) << (16 * k);
        }
#else
        for (int i = 0; i < 64; ++i) {
            const auto c = static_cast<unsigned char>(p[i]);
            const uint64_t bit = uint64_t{1} << i;
            if (c == '\n' || c == '\r')
                m.ends |= bit;
            if (c != ' ' && c != '\t' && !(m_symbols && isSymbol(c)))
                m.solid |= bit;
            for (size_t w = 0; w < K; ++w) {
                if (c == m_bytes[w])
                    m.stops |= bit;
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
        m.stops &= valid;
        return m;
    }

private:
    bool m_symbols;
    size_t m_count;
    std::array<unsigned char, 16> m_bytes{};
#if defined(__SSE2__)
    __m128i m_wanted[16];
#endif
};

} // namespace

bool LexicalClassifier::isBlank(std::string_view line) const
{
    for (size_t i = 0; i < line.size();) {
        const size_t w = whitespaceLength(line, i);
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

void LexicalClassifier::classify(std::string_view line, bool steps, ResolvedLineSink& out)
{
    Stops stops; // none listed: the byte table finds them
    classifyLine(line, isBlank(line), stops, steps, out);
}

size_t LexicalClassifier::classifyLines(std::string_view text, bool steps, ResolvedLineSink& out, bool& endsWithCr)
{
    endsWithCr = false;
    const size_t n = text.size();
    const BlockScanner scanner(m_stopBytes, m_countSymbolLines);
    const bool listed = !m_stopBytes.empty(); // else the byte table finds every stop
    size_t start = 0;              // where the line being scanned starts
    size_t firstSolid = npos;      // in the line
    size_t count = 0;              // stops listed for it
    bool complete = listed;        // ... and whether they are all of them
    for (size_t q = 0; q < n; q += 64) {
        const ByteMasks m = n - q >= 64 ? scanner.block(text.data() + q) : scanner.tail(text.data() + q, n - q);
        uint64_t from = start > q ? ~uint64_t{0} << (start - q) : ~uint64_t{0};
        for (;;) {
            const uint64_t ends = m.ends & from;
            const uint64_t span = from & (ends ? (ends & (0 - ends)) - 1 : ~uint64_t{0});
            if (firstSolid == npos && (m.solid & span))
                firstSolid = q + static_cast<size_t>(__builtin_ctzll(m.solid & span)) - start;
            if (complete) {
                uint64_t hits = m.stops & span;
                // Positions are 32-bit: a longer line is searched with the byte table instead.
                if (hits && q + 64 - start > UINT32_MAX)
                    complete = false;
                for (; hits && complete; hits &= hits - 1) {
                    if (count == kMaxStops)
                        complete = false;
                    else
                        m_positions[count++] = static_cast<uint32_t>(q + static_cast<size_t>(__builtin_ctzll(hits)) - start);
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
                    endsWithCr = true;
            }
            const std::string_view line = text.substr(start, lineEnd - start);
            // The scan takes the first byte of an IDEOGRAPHIC SPACE for text: from there the full test decides.
            const bool blank = firstSolid == npos
                               || (static_cast<unsigned char>(line[firstSolid]) == 0xE3 && isBlank(line.substr(firstSolid)));
            Stops stops;
            stops.next = m_positions.data();
            stops.end = m_positions.data() + count;
            stops.scalarFrom = complete ? npos : count == 0 ? 0 : m_positions[count - 1] + size_t{1};
            classifyLine(line, blank, stops, steps, out);
            start = next;
            firstSolid = npos;
            count = 0;
            complete = listed;
            if (next - q >= 64)
                break;
            from = ~uint64_t{0} << (next - q);
        }
    }
    return std::min(start, n);
}

void LexicalClassifier::classifyLine(std::string_view line, bool blank, Stops& stops, bool steps, ResolvedLineSink& out)
{
    if (stops.next == stops.end && stops.scalarFrom == npos) {
        // Most lines: nothing on them the scan stops at, so nothing changes the state.
        if (m_state == State::Code) {
            m_continued = !line.empty() && line.back() == '\\';
            if (blank) {
                out.resolved(LineKind::Blank, {});
            } else {
                m_step.clear();
                if (steps)
                    appendWithoutWhitespace(line, m_step);
                out.resolved(LineKind::Executable, m_step);
            }
            return;
        }
        if (m_state == State::Block) {
            out.resolved(blank ? LineKind::Blank : LineKind::Comment, {});
            return;
        }
    }
    m_out = &out;
    m_steps = steps;
    m_step.clear();
    m_codeSeen = false;
    m_lineComment = false;
    m_lone = {};
    m_onlyBlanks = m_state == State::Code;
    m_statementStart = m_onlyBlanks && m_brackets == 0 && !m_continued;
    if (m_state == State::String) {
        // The part of a multi-line string on this line.
        m_codeSeen = true;
        if (steps)
            m_step += 'A';
    }

    for (size_t i = 0; i < line.size();) {
        switch (m_state) {
        case State::Code:
            i = scanCode(line, i, stops);
            break;
        case State::Block:
            i = scanBlock(line, i, stops);
            break;
        case State::String:
            i = scanString(line, i, stops);
            break;
        }
    }
    m_continued = m_state == State::Code && !m_lineComment && !line.empty() && line.back() == '\\';

    if (m_candidate) {
        if (m_state == State::String) {
            hold(blank);
            return;
        }
        // The candidate closed and nothing but blanks, comments and strings followed it.
        settleHeld(true);
        m_candidate = false;
        out.resolved(blank ? LineKind::Blank : LineKind::Comment, {});
        return;
    }
    if (blank)
        out.resolved(LineKind::Blank, {});
    else if (m_codeSeen)
        out.resolved(LineKind::Executable, m_step);
    else
        out.resolved(LineKind::Comment, {});
}

void LexicalClassifier::finish(ResolvedLineSink& out)
{
    m_out = &out;
    if (m_candidate)
        settleHeld(true); // nothing but the unclosed string follows it
    m_candidate = false;
    m_state = State::Code;
    m_nest = 0;
    m_brackets = 0;
    m_continued = false;
}

size_t LexicalClassifier::nextStop(Stops& stops, std::string_view line, size_t from) const
{
    while (stops.next != stops.end && *stops.next < from)
        ++stops.next;
    if (stops.next != stops.end)
        return *stops.next;
    if (stops.scalarFrom == npos)
        return line.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(line.data());
    size_t k = std::max(from, stops.scalarFrom);
    while (k < line.size() && !m_stop[bytes[k]])
        ++k;
    return k;
}

void LexicalClassifier::code(std::string_view text)
{
    if ((m_candidate || !m_codeSeen || m_onlyBlanks) && hasNonWhitespace(text)) {
        m_codeSeen = true;
        m_onlyBlanks = false;
        if (m_candidate) {
            // Code beside the string: it was no docstring.
            m_candidate = false;
            settleHeld(false);
        }
    }
    if (m_steps)
        appendWithoutWhitespace(text, m_step);
}

void LexicalClassifier::stringBegins()
{
    if (!m_candidate && m_docstrings && m_onlyBlanks && m_statementStart)
        m_candidate = true;
    m_onlyBlanks = false;
    m_codeSeen = true;
    if (m_steps)
        m_step += 'A';
}

const LexicalClassifier::Token* LexicalClassifier::tokenAt(std::string_view line, size_t i) const
{
    const auto c = static_cast<unsigned char>(line[i]);
    for (uint32_t k = m_byFirst[c]; k < m_byFirst[c + 1]; ++k) {
        const Token& t = m_tokens[k];
        if (!startsAt(line, i, t.text))
            continue;
        if (t.kind == TokenKind::LineStart) {
            if (!m_onlyBlanks)
                continue;
            const size_t after = i + t.text.size();
            if (t.wordEnd && after < line.size() && isWordByte(static_cast<unsigned char>(line[after])))
                continue;
        }
        return &t;
    }
    return nullptr;
}

size_t LexicalClassifier::scanCode(std::string_view line, size_t i, Stops& stops)
{
    const size_t n = line.size();
    size_t pending = i; // code from here on is not handed to code() yet
    auto flush = [&](size_t to) {
        if (to > pending)
            code(line.substr(pending, to - pending));
        pending = to;
    };
    for (size_t from = i;;) {
        const size_t j = nextStop(stops, line, from);
        if (j >= n) {
            flush(n);
            return n;
        }
        const auto c = static_cast<unsigned char>(line[j]);
        const uint8_t role = m_code[c];
        from = j + 1;
        if (role == 0)
            continue; // a byte that matters only inside a comment or a string
        flush(j);
        if (role & kToken) {
            if (const Token* t = tokenAt(line, j)) {
                switch (t->kind) {
                case TokenKind::Line:
                case TokenKind::LineStart:
                    m_lineComment = true;
                    m_onlyBlanks = false;
                    return n;
                case TokenKind::Block:
                    m_onlyBlanks = false;
                    m_state = State::Block;
                    m_which = t->index;
                    m_nest = 1;
                    return j + t->text.size();
                case TokenKind::String:
                    stringBegins();
                    m_state = State::String;
                    m_which = t->index;
                    return j + t->text.size();
                }
            }
        }
        if (role & kQuote) {
            // Once a quote cannot close on the rest of the line, no later one of its kind can.
            bool& lone = m_lone[c == '"' ? 0 : 1];
            if (!lone) {
                Stops probe = stops;
                const size_t end = closing(line, j + 1, line.substr(j, 1), probe);
                if (end != npos) {
                    stringBegins();
                    stops = probe;
                    pending = from = end + 1;
                    continue;
                }
                lone = true;
            }
        }
        // A bracket, or a byte that begins nothing here: code, handed on with what follows.
        if (role & kOpen)
            ++m_brackets;
        else if ((role & kClose) && m_brackets > 0)
            --m_brackets;
    }
}

size_t LexicalClassifier::scanBlock(std::string_view line, size_t i, Stops& stops)
{
    const TokenPair& pair = m_blocks[m_which];
    if (pair.close.empty())
        return line.size(); // as with the classic steps, a comment without an end runs to the end of the text
    const auto close0 = static_cast<unsigned char>(pair.close[0]), open0 = static_cast<unsigned char>(pair.open[0]);
    for (size_t from = i;;) {
        const size_t j = nextStop(stops, line, from);
        if (j >= line.size())
            return line.size();
        const auto c = static_cast<unsigned char>(line[j]);
        if (c == close0 && startsAt(line, j, pair.close)) {
            from = j + pair.close.size();
            if (--m_nest == 0) {
                m_state = State::Code;
                return from;
            }
        } else if (m_nested && c == open0 && startsAt(line, j, pair.open)) {
            ++m_nest;
            from = j + pair.open.size();
        } else {
            from = j + 1;
        }
    }
}

size_t LexicalClassifier::scanString(std::string_view line, size_t i, Stops& stops)
{
    const TokenPair& pair = m_strings[m_which];
    const size_t end = closing(line, i, pair.close, stops);
    if (end == npos)
        return line.size();
    m_state = State::Code;
    return end + pair.close.size();
}

size_t LexicalClassifier::closing(std::string_view line, size_t from, std::string_view close, Stops& stops) const
{
    const auto close0 = static_cast<unsigned char>(close[0]);
    const int escape0 = m_escape.empty() ? -1 : static_cast<unsigned char>(m_escape[0]);
    for (size_t at = from;;) {
        const size_t j = nextStop(stops, line, at);
        if (j >= line.size())
            return npos;
        const auto c = static_cast<unsigned char>(line[j]);
        // The delimiter wins over an escape character at the same place (a doubled quote).
        if (c == close0 && startsAt(line, j, close))
            return j;
        if (c == escape0 && startsAt(line, j, m_escape)) {
            at = j + m_escape.size();
            if (at < line.size())
                at += std::min(characterLength(static_cast<unsigned char>(line[at])), line.size() - at);
        } else {
            at = j + 1;
        }
    }
}

void LexicalClassifier::hold(bool blank)
{
    if (!m_steps) {
        ++(blank ? m_heldBlank : m_heldText);
        return;
    }
    if (blank) {
        putLength(m_held, 0);
    } else {
        putLength(m_held, m_step.size() + 1);
        m_held += m_step;
    }
    ++m_heldCount;
}

void LexicalClassifier::settleHeld(bool docstring)
{
    const LineKind text = docstring ? LineKind::Comment : LineKind::Executable;
    for (size_t at = 0; at < m_held.size();) {
        const size_t n = takeLength(m_held, at);
        if (n == 0) {
            m_out->resolved(LineKind::Blank, {});
        } else {
            m_out->resolved(text, docstring ? std::string_view() : std::string_view(m_held).substr(at, n - 1));
            at += n - 1;
        }
    }
    for (; m_heldBlank > 0; --m_heldBlank)
        m_out->resolved(LineKind::Blank, {});
    for (; m_heldText > 0; --m_heldText)
        m_out->resolved(text, {});
    m_held.clear();
    m_heldCount = 0;
}

} // namespace tarvik
