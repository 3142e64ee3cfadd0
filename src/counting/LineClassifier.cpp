#include "counting/LineClassifier.h"

#include <cstring>

namespace tarvik {

namespace {

constexpr size_t npos = std::string_view::npos;

// A disabled (empty) token is never searched for.
size_t findToken(std::string_view text, std::string_view token, size_t from = 0)
{
    if (token.empty() || from > text.size())
        return npos;
    const void* hit = ::memmem(text.data() + from, text.size() - from, token.data(), token.size());
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data()) : npos;
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

const char* search(const char* from, const char* end, std::string_view needle)
{
    if (static_cast<size_t>(end - from) < needle.size())
        return nullptr;
    return static_cast<const char*>(::memmem(from, static_cast<size_t>(end - from), needle.data(), needle.size()));
}

// Replaces every occurrence of `text` in `w`, left to right and without overlap, by
// `replacement` (never longer than `text`), in place. No occurrence begins before `from`.
void replaceAll(std::string& w, std::string_view text, std::string_view replacement, size_t from = 0)
{
    char* base = w.data();
    const char* end = base + w.size();
    const char* hit = search(base + from, end, text);
    if (!hit)
        return;
    char* out = base + (hit - base);
    const char* in = hit;
    while (hit) {
        size_t keep = static_cast<size_t>(hit - in);
        std::memmove(out, in, keep);
        out += keep;
        std::memcpy(out, replacement.data(), replacement.size());
        out += replacement.size();
        in = hit + text.size();
        hit = search(in, end, text);
    }
    size_t rest = static_cast<size_t>(end - in);
    std::memmove(out, in, rest);
    w.resize(static_cast<size_t>(out + rest - base));
}

} // namespace

LineClassifier::LineClassifier(const CommentSyntax& syntax, bool countSymbolLines)
    : m_syntax(syntax), m_countSymbolLines(countSymbolLines)
{
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

void LineClassifier::maskQuotes(char quote)
{
    // Each pass takes the first pair of quotes and replaces that quoted text, wherever it
    // occurs in the line, by "A"; then it starts again from the beginning of the line.
    std::string span;
    for (;;) {
        size_t a = m_w.find(quote);
        if (a == npos)
            return;
        size_t b = m_w.find(quote, a + 1);
        if (b == npos)
            return;
        span.assign(m_w, a, b - a + 1);
        replaceAll(m_w, span, "A", a);
    }
}

void LineClassifier::findBlockTokens(size_t& s, size_t& e) const
{
    s = findToken(m_w, m_syntax.blockStart);
    // The end token is looked for only behind the whole start token.
    e = s != npos ? findToken(m_w, m_syntax.blockEnd, s + m_syntax.blockStart.size())
                  : findToken(m_w, m_syntax.blockEnd);
}

std::optional<LineKind> LineClassifier::classify(std::string_view line)
{
    if (isBlank(line))
        return LineKind::Blank;

    // Most lines hold no quote and no block token: judge them on the line itself.
    if (!m_inside && std::memchr(line.data(), '"', line.size()) == nullptr
        && std::memchr(line.data(), '\'', line.size()) == nullptr
        && findToken(line, m_syntax.blockStart) == npos && findToken(line, m_syntax.blockEnd) == npos) {
        size_t p = findToken(line, m_syntax.lineToken);
        if (p == npos)
            return LineKind::Executable;
        return hasNonWhitespace(line.substr(0, p)) ? LineKind::Executable : LineKind::Comment;
    }

    m_w.assign(line);
    maskQuotes('"');
    maskQuotes('\'');

    size_t s, e;
    findBlockTokens(s, e);

    // A line comment that starts before the block comment hides the block start.
    size_t p = findToken(m_w, m_syntax.lineToken);
    if (p != npos && s != npos && p < s) {
        replaceAll(m_w, m_syntax.blockStart, "");
        s = npos;
        e = npos;
    }

    // Block-comment cases, tried in this order on every pass.
    std::string text;
    for (int passes = 0;;) {
        if (s != npos && e != npos && !m_inside) { // a whole comment within the line
            text.assign(m_w, s, e + m_syntax.blockEnd.size() - s);
            replaceAll(m_w, text, "");
        } else if (s != npos && e == npos) { // a comment opens and stays open
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
        if (s == npos && e == npos)
            break;
        if (passes >= kPassLimit)
            return std::nullopt;
    }

    p = findToken(m_w, m_syntax.lineToken);
    if (p != npos)
        m_w.resize(p);
    return hasNonWhitespace(m_w) ? LineKind::Executable : LineKind::Comment;
}

LineCounter::LineCounter(const CommentSyntax& syntax, bool countSymbolLines) : m_classifier(syntax, countSymbolLines) {}

void LineCounter::line(std::string_view text)
{
    std::optional<LineKind> kind = m_classifier.classify(text);
    if (!kind) {
        m_abandoned = true;
        return;
    }
    ++m_counts.total;
    if (*kind == LineKind::Executable)
        ++m_counts.executable;
    else if (*kind == LineKind::Comment)
        ++m_counts.comment;
}

bool LineCounter::feed(std::string_view text)
{
    if (m_abandoned)
        return false;
    const char* p = text.data();
    size_t n = text.size();
    size_t pos = 0;
    if (m_pendingLf && n > 0) {
        if (p[0] == '\n')
            pos = 1;
        m_pendingLf = false;
    }
    while (pos < n) {
        const char* nl = static_cast<const char*>(std::memchr(p + pos, '\n', n - pos));
        size_t lineEnd = nl ? static_cast<size_t>(nl - p) : n;
        const char* cr = static_cast<const char*>(std::memchr(p + pos, '\r', lineEnd - pos));
        size_t next;
        if (cr) {
            lineEnd = static_cast<size_t>(cr - p);
            next = lineEnd + 1;
            if (next < n && p[next] == '\n')
                ++next;
            else if (next == n)
                m_pendingLf = true;
        } else if (nl) {
            next = lineEnd + 1;
        } else {
            // No terminator in this piece: keep the beginning of the line for the next one.
            m_partial.append(p + pos, n - pos);
            return true;
        }
        if (!m_partial.empty()) {
            m_partial.append(p + pos, lineEnd - pos);
            line(m_partial);
            m_partial.clear();
        } else {
            line(std::string_view(p + pos, lineEnd - pos));
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
        line(m_partial);
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
