#include "counting/BlockComments.h"

#include "counting/QuoteMasking.h"
#include "counting/TextHash.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

namespace tarvik {

namespace {

constexpr size_t npos = std::string_view::npos;

// Lines shorter than this take the literal passes: a few rescans of a short line cost less
// than building the index.
constexpr size_t kIndexedFrom = 4096;

size_t findToken(std::string_view text, std::string_view token, size_t from = 0)
{
    if (token.empty() || from > text.size())
        return npos;
    const char* hit = findBytes(text.data() + from, text.data() + text.size(), token);
    return hit ? static_cast<size_t>(hit - text.data()) : npos;
}

// Every position where the token begins, overlapping occurrences included.
std::vector<size_t> occurrences(std::string_view w, std::string_view token)
{
    std::vector<size_t> at;
    for (size_t p = findToken(w, token); p != npos; p = findToken(w, token, p + 1))
        at.push_back(p);
    return at;
}

// The line as it stands during a run of passes: the text indexed at its start, minus the
// spans removed since, kept as merged intervals.
class LiveText {
public:
    explicit LiveText(std::string_view w) : m_w(w) {}

    void remove(size_t from, size_t to)
    {
        auto it = m_removed.lower_bound(from);
        if (it != m_removed.begin()) {
            auto before = std::prev(it);
            if (before->second >= from) {
                from = before->first;
                to = std::max(to, before->second);
                it = m_removed.erase(before);
            }
        }
        while (it != m_removed.end() && it->first <= to) {
            to = std::max(to, it->second);
            it = m_removed.erase(it);
        }
        m_removed.emplace(from, to);
    }

    // The removed interval holding p, or nullptr.
    const std::pair<const size_t, size_t>* removedAt(size_t p) const
    {
        auto it = m_removed.upper_bound(p);
        if (it == m_removed.begin())
            return nullptr;
        --it;
        return p < it->second ? &*it : nullptr;
    }

    // The first remaining position at or after p (the size when none).
    size_t skipRemoved(size_t p) const
    {
        const auto* r = removedAt(p);
        return r ? r->second : p;
    }

    bool tokenAt(size_t p, std::string_view token) const
    {
        for (char c : token) {
            p = skipRemoved(p);
            if (p >= m_w.size() || m_w[p] != c)
                return false;
            ++p;
        }
        return true;
    }

    // Up to `count` remaining positions before the removed interval that holds `at`.
    std::vector<size_t> positionsBefore(size_t at, size_t count) const
    {
        std::vector<size_t> out;
        const auto* r = removedAt(at);
        size_t p = r ? r->first : at;
        while (out.size() < count && p > 0) {
            --p;
            if (const auto* gap = removedAt(p)) {
                p = gap->first;
                continue;
            }
            out.push_back(p);
        }
        return out;
    }

    std::string compacted() const
    {
        std::string out;
        out.reserve(m_w.size());
        size_t pos = 0;
        for (const auto& [from, to] : m_removed) {
            out.append(m_w, pos, from - pos);
            pos = to;
        }
        out.append(m_w, pos, npos);
        return out;
    }

private:
    std::string_view m_w;
    std::map<size_t, size_t> m_removed;
};

} // namespace

void findBlockTokens(std::string_view w, std::string_view start, std::string_view end, size_t& s, size_t& e)
{
    s = findToken(w, start);
    e = s != npos ? findToken(w, end, s + start.size()) : findToken(w, end);
}

void removeWholeCommentsLiteral(std::string& w, BlockTokens t, size_t& s, size_t& e, int& passes, int limit)
{
    std::string text;
    do {
        text.assign(w, s, e + t.end.size() - s);
        replaceAll(w, text, "");
        findBlockTokens(w, t.start, t.end, s, e);
        ++passes;
    } while (s != npos && e != npos && passes < limit);
}

namespace {

// One run of passes on one index; returns early, with w rebuilt, when a removal changed the
// comments still standing.
void indexedRun(std::string& w, BlockTokens t, size_t& s, size_t& e, int& passes, int limit)
{
    const size_t startLength = t.start.size();
    const size_t endLength = t.end.size();
    const std::vector<size_t> starts = occurrences(w, t.start);
    const std::vector<size_t> ends = occurrences(w, t.end);
    const size_t m = starts.size();

    // Each start token's comment: up to the first end token behind the whole start token.
    // Consecutive start tokens sharing an end token are nested; spans only grow down the list.
    std::vector<size_t> spanEnd(m);
    for (size_t i = 0, k = 0; i < m; ++i) {
        while (k < ends.size() && ends[k] < starts[i] + startLength)
            ++k;
        spanEnd[i] = k < ends.size() ? ends[k] + endLength : npos;
    }

    // The hash of every comment's text, each group of nested ones in one backward sweep.
    const uint64_t base = texthash::hashBase();
    std::vector<uint64_t> hash(m, 0);
    for (size_t i = 0; i < m;) {
        size_t j = i;
        while (j < m && spanEnd[j] == spanEnd[i])
            ++j;
        if (spanEnd[i] != npos) {
            uint64_t h = 0, power = 1;
            size_t member = j;
            for (size_t p = spanEnd[i]; p-- > starts[i];) {
                h = texthash::addMod(h, texthash::mulMod(static_cast<unsigned char>(w[p]), power));
                power = texthash::mulMod(power, base);
                while (member > i && starts[member - 1] == p)
                    hash[--member] = h;
            }
        }
        i = j;
    }
    std::vector<uint32_t> byText;
    byText.reserve(m);
    for (size_t i = 0; i < m; ++i) {
        if (spanEnd[i] != npos)
            byText.push_back(static_cast<uint32_t>(i));
    }
    std::sort(byText.begin(), byText.end(), [&](uint32_t a, uint32_t b) {
        return hash[a] != hash[b] ? hash[a] < hash[b] : a < b;
    });

    // Start tokens still standing; `below` finds the nearest standing one at or before an index.
    std::vector<char> alive(m, 1);
    std::vector<uint32_t> below(m + 1); // shifted by one: 0 means none
    for (size_t i = 0; i <= m; ++i)
        below[i] = static_cast<uint32_t>(i);
    auto standingAtOrBefore = [&](size_t i) -> size_t { // index + 1, 0 when none
        uint32_t x = static_cast<uint32_t>(i + 1);
        uint32_t root = x;
        while (below[root] != root)
            root = below[root];
        while (below[x] != root) {
            const uint32_t next = below[x];
            below[x] = root;
            x = next;
        }
        return root;
    };

    LiveText live(w);
    const size_t window = std::max(startLength, endLength) - 1;
    std::vector<size_t> hits;
    size_t si = 0; // the comment at s: the first standing start token
    bool rebuild = false;
    for (;;) {
        const size_t length = spanEnd[si] - starts[si];
        const char* text = w.data() + starts[si];
        const uint64_t h = hash[si];

        // Its occurrences: standing start tokens whose comment has the same text, left to right.
        hits.assign(1, si);
        size_t free = starts[si] + length;
        auto it = std::lower_bound(byText.begin(), byText.end(), h, [&](uint32_t a, uint64_t v) { return hash[a] < v; });
        for (; it != byText.end() && hash[*it] == h; ++it) {
            const size_t k = *it;
            if (k <= si || !alive[k] || starts[k] < free || spanEnd[k] - starts[k] != length
                || std::memcmp(w.data() + starts[k], text, length) != 0)
                continue;
            hits.push_back(k);
            free = starts[k] + length;
        }
        for (size_t k : hits) {
            const size_t from = starts[k], to = from + length;
            live.remove(from, to);
            for (size_t x = k; x < m && starts[x] < to; ++x) {
                if (alive[x]) {
                    alive[x] = 0;
                    below[x + 1] = static_cast<uint32_t>(x);
                }
            }
        }
        for (size_t k : hits) {
            // A comment still standing that reached into a removed one now ends elsewhere.
            if (k != si) {
                const size_t r = standingAtOrBefore(k);
                if (r != 0 && (spanEnd[r - 1] == npos || spanEnd[r - 1] > starts[k]))
                    rebuild = true;
            }
            // Text joined across the gap may begin or break a token.
            for (size_t p : live.positionsBefore(starts[k], window)) {
                if (live.tokenAt(p, t.start) != std::binary_search(starts.begin(), starts.end(), p)
                    || live.tokenAt(p, t.end) != std::binary_search(ends.begin(), ends.end(), p))
                    rebuild = true;
            }
        }
        ++passes;

        size_t next = si + 1;
        while (next < m && !alive[next])
            ++next;
        if (rebuild || next == m || spanEnd[next] == npos || passes >= limit)
            break;
        si = next;
    }

    w = live.compacted();
    findBlockTokens(w, t.start, t.end, s, e);
}

} // namespace

void removeWholeCommentsIndexed(std::string& w, BlockTokens t, size_t& s, size_t& e, int& passes, int limit)
{
    do
        indexedRun(w, t, s, e, passes, limit);
    while (s != npos && e != npos && passes < limit);
}

void removeWholeComments(std::string& w, BlockTokens tokens, size_t& s, size_t& e, int& passes, int limit)
{
    if (w.size() < kIndexedFrom || w.size() >= UINT32_MAX)
        removeWholeCommentsLiteral(w, tokens, s, e, passes, limit);
    else
        removeWholeCommentsIndexed(w, tokens, s, e, passes, limit);
}

} // namespace tarvik
