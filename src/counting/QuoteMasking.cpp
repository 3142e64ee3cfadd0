#include "counting/QuoteMasking.h"

#include "counting/TextHash.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace tarvik {

namespace {

constexpr size_t npos = std::string::npos;

using texthash::addMod;
using texthash::hashBase;
using texthash::mulMod;
using texthash::powMod;

struct Text {
    uint64_t hash = 0;
    uint64_t length = 0;
    bool operator==(const Text&) const = default;
};

struct TextHash {
    size_t operator()(const Text& t) const { return std::hash<uint64_t>()(t.hash ^ (t.length * 0x9E3779B97F4A7C15ULL)); }
};

// left + "A" + right
Text joined(const Text& left, const Text& right)
{
    const uint64_t b = hashBase();
    uint64_t h = addMod(mulMod(left.hash, b), static_cast<unsigned char>('A'));
    h = addMod(mulMod(h, powMod(b, right.length)), right.hash);
    return {h, left.length + 1 + right.length};
}

} // namespace

const char* findBytes(const char* from, const char* end, std::string_view needle)
{
    if (static_cast<size_t>(end - from) < needle.size())
        return nullptr;
    // In ordinary short lines the first byte and a compare beat memmem's set-up; long lines
    // and long needles go to memmem, whose time does not depend on how often the first byte occurs.
    if (needle.size() > 8 || end - from > 256)
        return static_cast<const char*>(::memmem(from, static_cast<size_t>(end - from), needle.data(), needle.size()));
    const char* last = end - needle.size();
    while (from <= last) {
        from = static_cast<const char*>(std::memchr(from, needle[0], static_cast<size_t>(last - from) + 1));
        if (!from)
            return nullptr;
        if (std::memcmp(from + 1, needle.data() + 1, needle.size() - 1) == 0)
            return from;
        ++from;
    }
    return nullptr;
}

void replaceAll(std::string& w, std::string_view text, std::string_view replacement, size_t from)
{
    char* base = w.data();
    const char* end = base + w.size();
    auto search = [end, text](const char* at) { return findBytes(at, end, text); };
    const char* hit = search(base + from);
    if (!hit)
        return;
    char* out = base + (hit - base);
    const char* in = hit;
    while (hit) {
        const size_t keep = static_cast<size_t>(hit - in);
        std::memmove(out, in, keep);
        out += keep;
        std::memcpy(out, replacement.data(), replacement.size());
        out += replacement.size();
        in = hit + text.size();
        hit = search(in);
    }
    const size_t rest = static_cast<size_t>(end - in);
    std::memmove(out, in, rest);
    w.resize(static_cast<size_t>(out + rest - base));
}

void maskQuotesLiteral(std::string& w, char quote)
{
    std::string span;
    for (;;) {
        const void* qa = std::memchr(w.data(), quote, w.size());
        if (!qa)
            return;
        const size_t a = static_cast<size_t>(static_cast<const char*>(qa) - w.data());
        const size_t b = w.find(quote, a + 1);
        if (b == npos)
            return;
        span.assign(w, a, b - a + 1);
        replaceAll(w, span, "A", a);
    }
}

void maskQuotesFast(std::string& w, char quote)
{
    std::vector<size_t> q; // positions of the quotes in the line as it was
    for (size_t p = w.find(quote); p != npos; p = w.find(quote, p + 1))
        q.push_back(p);
    const int m = static_cast<int>(q.size());
    if (m < 2)
        return;

    // The text after each living quote, up to the next living one (or the end), and the text
    // before the first living quote.
    const uint64_t base = hashBase();
    auto hashOf = [&](size_t from, size_t to) {
        uint64_t h = 0;
        for (size_t k = from; k < to; ++k)
            h = addMod(mulMod(h, base), static_cast<unsigned char>(w[k]));
        return Text{h, to - from};
    };
    std::vector<Text> after(static_cast<size_t>(m));
    std::vector<uint32_t> version(static_cast<size_t>(m), 0);
    std::vector<int> next(static_cast<size_t>(m)), prev(static_cast<size_t>(m));
    std::vector<char> alive(static_cast<size_t>(m), 1);
    Text head = hashOf(0, q[0]);
    for (int i = 0; i < m; ++i) {
        after[i] = hashOf(q[i] + 1, i + 1 < m ? q[i + 1] : w.size());
        next[i] = i + 1 < m ? i + 1 : -1;
        prev[i] = i - 1;
    }
    int first = 0;

    // Gaps between two living quotes, grouped by their text; an entry is stale once its quote
    // died or its text changed (version).
    // Each text's entries form a list through one pool, so a line of millions of quotes costs
    // one map node per distinct text rather than a vector each.
    struct Gap {
        int quote;
        uint32_t version;
        int32_t next = -1;
    };
    std::vector<Gap> pool;
    pool.reserve(static_cast<size_t>(m));
    std::unordered_map<Text, int32_t, TextHash> gaps;
    gaps.reserve(static_cast<size_t>(m));
    auto addGap = [&](const Text& text, int quote, uint32_t v) {
        auto it = gaps.try_emplace(text, -1).first;
        pool.push_back({quote, v, it->second});
        it->second = static_cast<int32_t>(pool.size() - 1);
    };
    for (int i = 0; i + 1 < m; ++i)
        addGap(after[i], i, 0);

    std::vector<std::pair<size_t, size_t>> replaced; // spans of the line as it was, each now "A"
    std::vector<Gap> round;
    while (first >= 0 && next[first] >= 0) {
        const Text pattern = after[first];
        auto it = gaps.find(pattern);
        round.clear();
        if (it != gaps.end()) {
            for (int32_t k = it->second; k >= 0; k = pool[static_cast<size_t>(k)].next)
                round.push_back(pool[static_cast<size_t>(k)]);
            gaps.erase(it);
        }
        // Left to right, as one pass over the line finds them.
        std::sort(round.begin(), round.end(), [](const Gap& a, const Gap& b) { return a.quote < b.quote; });
        for (const Gap& g : round) {
            const int i = g.quote;
            if (!alive[i] || version[i] != g.version || next[i] < 0 || !(after[i] == pattern))
                continue;
            const int j = next[i];
            const int p = prev[i];
            const int after_j = next[j];
            replaced.emplace_back(q[i], q[j]);
            alive[i] = alive[j] = 0;
            // The texts either side of the pair join around the "A".
            if (p >= 0) {
                after[p] = joined(after[p], after[j]);
                ++version[p];
                next[p] = after_j;
                if (after_j >= 0)
                    addGap(after[p], p, version[p]);
            } else {
                head = joined(head, after[j]);
                first = after_j;
            }
            if (after_j >= 0)
                prev[after_j] = p;
        }
    }

    // The outermost replaced spans become "A"; spans never cross, inner ones lie inside.
    std::sort(replaced.begin(), replaced.end());
    std::string out;
    out.reserve(w.size());
    size_t pos = 0;
    for (const auto& [from, to] : replaced) {
        if (from < pos)
            continue; // inside a span already replaced
        out.append(w, pos, from - pos);
        out += 'A';
        pos = to + 1;
    }
    out.append(w, pos, npos);
    w.swap(out);
}

void maskQuotes(std::string& w, char quote)
{
    size_t count = 0;
    for (const char* p = static_cast<const char*>(std::memchr(w.data(), quote, w.size())); p && count < 64;
         p = static_cast<const char*>(std::memchr(p + 1, quote, w.size() - static_cast<size_t>(p + 1 - w.data()))))
        ++count;
    if (count < 64)
        maskQuotesLiteral(w, quote);
    else
        maskQuotesFast(w, quote);
}

} // namespace tarvik
