#include "counting/BoundedLineCounter.h"

#include <cstdint>
#include <cstring>

namespace tarvik {

namespace {

const char* lastTerminator(std::string_view text)
{
    const auto* cr = static_cast<const char*>(::memrchr(text.data(), '\r', text.size()));
    const auto* lf = static_cast<const char*>(::memrchr(text.data(), '\n', text.size()));
    return cr > lf ? cr : lf; // either may be null, which compares lowest
}

size_t firstTerminator(std::string_view text)
{
    const auto* cr = static_cast<const char*>(std::memchr(text.data(), '\r', text.size()));
    const auto* lf = static_cast<const char*>(std::memchr(text.data(), '\n', text.size()));
    const char* first = !cr ? lf : !lf ? cr : (cr < lf ? cr : lf);
    return first ? static_cast<size_t>(first - text.data()) : text.size();
}

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t sequenceLength(unsigned char lead)
{
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

} // namespace

BoundedLineCounter::BoundedLineCounter(const CommentSyntax& syntax, bool countSymbolLines, size_t shortenAbove)
    : m_counter(syntax, countSymbolLines), m_shortenAbove(shortenAbove), m_lexical(syntax.extended())
{
    m_special[static_cast<unsigned char>('"')] = true;
    m_special[static_cast<unsigned char>('\'')] = true;
    for (const std::string* token : {&syntax.lineToken, &syntax.blockStart, &syntax.blockEnd}) {
        for (char c : *token)
            m_special[static_cast<unsigned char>(c)] = true;
    }
    if (m_lexical) {
        // Every byte the lexical classifier may act on: whatever it decides then begins and
        // ends at one of them, and the blank tests only ask which characters a stretch holds.
        const CommentRules& rules = syntax.rules;
        auto mark = [this](const std::string& token) {
            for (char c : token)
                m_special[static_cast<unsigned char>(c)] = true;
        };
        for (const std::string& token : rules.lineTokens)
            mark(token);
        for (const std::string& token : rules.lineStartTokens)
            mark(token);
        for (const std::vector<TokenPair>* pairs : {&rules.blockPairs, &rules.multiline}) {
            for (const TokenPair& pair : *pairs) {
                mark(pair.open);
                mark(pair.close);
            }
        }
        mark(rules.escape);
        mark("\\()[]{}");
    }
    for (int c = 0; c < 256; ++c) {
        if (m_special[static_cast<size_t>(c)])
            m_specialBytes.push_back(static_cast<char>(c));
    }
}

void BoundedLineCounter::scan()
{
    // Only the last special byte of the new text matters; there are few special byte values,
    // and memrchr looks for one much faster than a loop over every byte.
    const char* begin = m_tail.data() + m_scanned;
    const size_t n = m_tail.size() - m_scanned;
    const char* last = nullptr;
    for (char c : m_specialBytes) {
        const auto* hit = static_cast<const char*>(::memrchr(begin, c, n));
        if (hit && (!last || hit > last))
            last = hit;
    }
    if (last) {
        m_runStart = static_cast<size_t>(last - m_tail.data()) + 1;
        m_shortOpen = false;
    }
    m_scanned = m_tail.size();
}

void BoundedLineCounter::shorten(size_t from)
{
    // Only whole characters are folded in: a stretch that begins inside a character (after a
    // token byte that is not ASCII) starts at the next one, and an incomplete character at the
    // end waits for its rest.
    while (from < m_tail.size() && isContinuation(m_tail[from]))
        ++from;
    size_t cut = m_tail.size();
    size_t lead = cut;
    while (lead > from && cut - lead < 3 && isContinuation(m_tail[lead - 1]))
        --lead;
    if (lead > from && (lead - 1) + sequenceLength(static_cast<unsigned char>(m_tail[lead - 1])) > cut)
        cut = lead - 1;
    if (cut <= from)
        return;
    if (!m_shortened) {
        m_shortened = true;
        m_shortStart = from;
        m_shortLen = 0;
    }

    std::string result = m_tail.substr(0, from);
    for (size_t i = from; i < cut;) {
        const auto c = static_cast<unsigned char>(m_tail[i]);
        const size_t len = std::min(sequenceLength(c), cut - i);
        bool added;
        if (c < 0x80) {
            if (m_seenAscii[c]) {
                // A run of one character, as a file of NUL bytes is, goes by a word at a time.
                const uint64_t pattern = 0x0101010101010101ull * c;
                size_t j = i + 1;
                for (uint64_t word; j + 8 <= cut; j += 8) {
                    std::memcpy(&word, m_tail.data() + j, 8);
                    if (word != pattern)
                        break;
                }
                while (j < cut && static_cast<unsigned char>(m_tail[j]) == c)
                    ++j;
                i = j;
                continue;
            }
            added = true;
            m_seenAscii[c] = true;
        } else {
            added = m_seenOther.emplace(m_tail, i, len).second;
        }
        if (added) {
            result.append(m_tail, i, len);
            for (size_t k = i; k < i + len; ++k)
                m_stretchBytes[static_cast<unsigned char>(m_tail[k])] = true;
        }
        i += len;
    }
    m_shortLen = result.size() - m_shortStart;
    result.append(m_tail, cut, std::string::npos);
    m_tail.swap(result);
    m_scanned = m_tail.size();
    m_runStart = m_shortStart;
    m_shortOpen = true;
}

bool BoundedLineCounter::shortenedLineIsExact(std::string_view held, std::string_view more) const
{
    // The lexical classifier removes nothing "wherever it occurs": a stretch is only ever read
    // through, and its first character (what may follow a token) and its set of characters stay.
    if (m_lexical)
        return true;
    // The stretch reaches on to the next special byte; text after its last folding is still
    // part of it (the same characters may recur there).
    size_t after = m_shortStart + m_shortLen;
    while (after < held.size() && !m_special[static_cast<unsigned char>(held[after])])
        ++after;
    if (after == held.size()) {
        size_t skip = 0;
        while (skip < more.size() && !m_special[static_cast<unsigned char>(more[skip])])
            ++skip;
        more.remove_prefix(skip);
    }
    // Whatever the steps make of the rest consists of its own bytes and the "A" of quote
    // masking; another occurrence of a text that holds the stretch needs a byte of it.
    bool quote = false;
    const std::string_view outside[] = {held.substr(0, m_shortStart), held.substr(after), more};
    for (std::string_view rest : outside) {
        for (unsigned char c : rest) {
            if (m_stretchBytes[c])
                return false;
            quote = quote || c == '"' || c == '\'';
        }
    }
    return !(quote && m_stretchBytes[static_cast<unsigned char>('A')]);
}

void BoundedLineCounter::resetLine()
{
    m_tail.clear();
    m_scanned = 0;
    m_runStart = 0;
    if (m_shortened) {
        m_seenAscii.fill(false);
        m_seenOther.clear();
        m_stretchBytes.fill(false);
        m_shortened = false;
        m_shortOpen = false;
        m_shortStart = m_shortLen = 0;
    }
}

bool BoundedLineCounter::feed(std::string_view text)
{
    if (m_needsExact || m_counter.abandoned())
        return false;
    const char* last = lastTerminator(text);
    if (last) {
        const size_t through = static_cast<size_t>(last - text.data()) + 1;
        if (!m_tail.empty()) {
            if (m_shortened) {
                if (!shortenedLineIsExact(m_tail, text.substr(0, firstTerminator(text)))) {
                    m_needsExact = true;
                    return false;
                }
                ++m_shortenedLines;
            }
            // The held line gets its end here and is passed on whole: fed apart, the counter
            // would join it in a copy of its own.
            const size_t first = firstTerminator(text) + 1;
            m_tail.append(text.substr(0, first));
            m_counter.feed(m_tail);
            m_counter.feed(text.substr(first, through - first));
        } else {
            m_counter.feed(text.substr(0, through));
        }
        resetLine();
        text.remove_prefix(through);
    }
    m_tail.append(text);
    scan();
    if (!m_shortened || m_shortOpen) {
        const size_t from = m_shortOpen ? m_shortStart + m_shortLen : m_runStart;
        if (m_tail.size() - from > m_shortenAbove)
            shorten(from);
    }
    return !m_counter.abandoned();
}

void BoundedLineCounter::finish()
{
    if (m_needsExact || m_counter.abandoned())
        return;
    if (!m_tail.empty()) {
        if (m_shortened) {
            if (!shortenedLineIsExact(m_tail, {})) {
                m_needsExact = true;
                return;
            }
            ++m_shortenedLines;
        }
        m_counter.feed(m_tail);
    }
    m_counter.finish();
    resetLine();
}

} // namespace tarvik
