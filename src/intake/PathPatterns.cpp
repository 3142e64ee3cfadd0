#include "intake/PathPatterns.h"

#include "config/NativePath.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

namespace {

// A class "[...]" at p[at]; sets `next` past it. False when it does not close: then "[" is
// an ordinary character, as in git.
bool classMatches(std::string_view p, size_t at, unsigned char c, size_t& next, bool& matched)
{
    size_t i = at + 1;
    bool negate = false;
    if (i < p.size() && (p[i] == '!' || p[i] == '^')) {
        negate = true;
        ++i;
    }
    matched = false;
    bool first = true;
    for (; i < p.size(); ++i) {
        if (p[i] == ']' && !first) {
            next = i + 1;
            matched = matched != negate;
            return true;
        }
        first = false;
        unsigned char lo = static_cast<unsigned char>(p[i]);
        if (lo == '\\' && i + 1 < p.size())
            lo = static_cast<unsigned char>(p[++i]);
        unsigned char hi = lo;
        if (i + 2 < p.size() && p[i + 1] == '-' && p[i + 2] != ']') {
            hi = static_cast<unsigned char>(p[i + 2]);
            i += 2;
        }
        if (c >= lo && c <= hi)
            matched = true;
    }
    return false;
}

// One name against one segment of a pattern: `*`, `?` and classes never cross a "/", so a
// segment needs only the single-backtrack wildcard match, in time |segment| x |name|.
bool segmentMatch(std::string_view p, std::string_view t)
{
    size_t pi = 0, ti = 0;
    size_t starP = std::string_view::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == '*') {
            while (pi < p.size() && p[pi] == '*')
                ++pi;
            starP = pi;
            starT = ti;
            continue;
        }
        if (pi < p.size()) {
            const unsigned char tc = static_cast<unsigned char>(t[ti]);
            size_t next = pi + 1;
            bool ok;
            if (p[pi] == '?') {
                ok = true;
            } else if (bool matched = false; p[pi] == '[' && classMatches(p, pi, tc, next, matched)) {
                ok = matched;
            } else {
                char literal = p[pi];
                if (literal == '\\' && pi + 1 < p.size()) {
                    literal = p[pi + 1];
                    next = pi + 2;
                }
                ok = t[ti] == literal;
            }
            if (ok) {
                pi = next;
                ++ti;
                continue;
            }
        }
        // The last star takes one more character; earlier stars never need to.
        if (starP == std::string_view::npos)
            return false;
        pi = starP;
        ti = ++starT;
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

bool isGlobstar(std::string_view segment) { return segment == "**"; }

// A path's names against a pattern's segments, where "**" spans any number of names (at least
// one when it ends the pattern after a name, as "doc/**" holds what is in doc, not doc).
// Between globstars, the leftmost place a group of segments fits is as good as any later one,
// so the match never backtracks past a globstar either.
bool segmentsMatch(const std::vector<std::string>& p, const std::vector<std::string_view>& t, size_t from)
{
    const size_t m = p.size(), n = t.size();
    size_t i = 0, j = from;
    for (; i < m && !isGlobstar(p[i]); ++i, ++j) {
        if (j >= n || !segmentMatch(p[i], t[j]))
            return false;
    }
    if (i == m)
        return j == n;
    size_t last = m - 1;
    while (!isGlobstar(p[last]))
        --last;
    const size_t tail = m - 1 - last;
    if (n - j < tail)
        return false;
    const size_t limit = n - tail;
    for (size_t k = 0; k < tail; ++k) {
        if (!segmentMatch(p[last + 1 + k], t[limit + k]))
            return false;
    }
    while (i < last) {
        ++i; // past a globstar
        const size_t begin = i;
        while (!isGlobstar(p[i]))
            ++i;
        const size_t size = i - begin;
        if (size == 0)
            continue;
        bool placed = false;
        for (; j + size <= limit && !placed; ++j) {
            placed = true;
            for (size_t k = 0; k < size && placed; ++k)
                placed = segmentMatch(p[begin + k], t[j + k]);
        }
        if (!placed)
            return false;
        j += size - 1;
    }
    const bool endsInGlobstar = tail == 0 && m > 1;
    return !endsInGlobstar || j < limit;
}

// A pattern's segments, split at "/" but not inside a class; "\/" separates too.
std::vector<std::string> splitPattern(std::string_view p)
{
    std::vector<std::string> out(1);
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] == '\\' && i + 1 < p.size()) {
            if (p[i + 1] == '/') {
                out.emplace_back();
                ++i;
            } else {
                out.back() += p.substr(i, 2);
                ++i;
            }
            continue;
        }
        if (p[i] == '[') {
            size_t next = 0;
            bool matched = false;
            if (classMatches(p, i, 0, next, matched)) {
                out.back() += p.substr(i, next - i);
                i = next - 1;
                continue;
            }
        }
        if (p[i] == '/')
            out.emplace_back();
        else
            out.back() += p[i];
    }
    return out;
}

void splitPath(std::string_view path, std::vector<std::string_view>& out)
{
    out.clear();
    for (;;) {
        const size_t slash = path.find('/');
        out.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos)
            return;
        path.remove_prefix(slash + 1);
    }
}

// Trailing blanks end a pattern unless quoted.
std::string_view trimPattern(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    while (!line.empty() && line.back() == ' ') {
        size_t slashes = 0;
        for (size_t i = line.size() - 1; i > 0 && line[i - 1] == '\\'; --i)
            ++slashes;
        if (slashes % 2 == 1)
            break;
        line.remove_suffix(1);
    }
    return line;
}

class PatternFilter : public WalkFilter {
public:
    explicit PatternFilter(const Exclusions& exclusions) : m_gitignore(exclusions.gitignore)
    {
        for (const QString& pattern : exclusions.patterns)
            m_patterns.add(pathToNative(pattern));
    }

    void entering(const std::string& relative, const std::string& full) override
    {
        if (m_gitignore)
            m_ignored.addLines(readRulesFile(full + "/.gitignore"), relative.empty() ? std::string() : relative + '/');
    }

    bool excludes(std::string_view relative, bool directory) const override
    {
        const PathPatterns::Verdict verdict = m_patterns.match(relative, directory);
        if (verdict != PathPatterns::Verdict::None)
            return verdict == PathPatterns::Verdict::Excluded;
        return m_ignored.excludes(relative, directory);
    }

private:
    PathPatterns m_patterns; // given by the user; they have the last word
    PathPatterns m_ignored;  // from the .gitignore files met so far
    bool m_gitignore;
};

} // namespace

void PathPatterns::add(std::string_view pattern, std::string_view base)
{
    pattern = trimPattern(pattern);
    if (pattern.empty() || pattern.front() == '#')
        return;
    Rule rule;
    rule.base = base;
    rule.baseNames = static_cast<size_t>(std::count(base.begin(), base.end(), '/'));
    if (pattern.front() == '!') {
        rule.negated = true;
        pattern.remove_prefix(1);
    }
    if (!pattern.empty() && pattern.back() == '/') {
        rule.directoryOnly = true;
        pattern.remove_suffix(1);
    }
    rule.anchored = pattern.find('/') != std::string_view::npos;
    if (!pattern.empty() && pattern.front() == '/')
        pattern.remove_prefix(1);
    if (pattern.empty())
        return;
    rule.segments = splitPattern(pattern);
    m_rules.push_back(std::move(rule));
}

void PathPatterns::addLines(std::string_view text, std::string_view base)
{
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        add(text.substr(0, eol), base);
        if (eol == std::string_view::npos)
            break;
        text.remove_prefix(eol + 1);
    }
}

PathPatterns::Verdict PathPatterns::match(std::string_view relative, bool directory) const
{
    thread_local std::vector<std::string_view> names;
    splitPath(relative, names);
    for (auto it = m_rules.rbegin(); it != m_rules.rend(); ++it) {
        const Rule& rule = *it;
        if (rule.directoryOnly && !directory)
            continue;
        if (relative.size() <= rule.base.size() || relative.substr(0, rule.base.size()) != rule.base)
            continue;
        const bool matched = rule.anchored ? segmentsMatch(rule.segments, names, rule.baseNames)
                                           : segmentMatch(rule.segments.front(), names.back());
        if (matched)
            return rule.negated ? Verdict::Included : Verdict::Excluded;
    }
    return Verdict::None;
}

bool PathPatterns::valid(std::string_view pattern)
{
    PathPatterns probe;
    probe.add(pattern);
    return !probe.empty();
}

std::string readRulesFile(const std::string& path)
{
    // A rules file is a small text file; anything else of that name is passed over.
    constexpr off_t kLargest = 1 << 20;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return {};
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kLargest) {
        text.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        text.resize(got);
    }
    ::close(fd);
    return text;
}

bool isVersionControlFolder(std::string_view name)
{
    return name == ".git" || name == ".svn" || name == ".hg" || name == ".bzr" || name == "CVS";
}

std::unique_ptr<WalkFilter> makePatternFilter(const Exclusions& exclusions)
{
    return std::make_unique<PatternFilter>(exclusions);
}

} // namespace tarvik
