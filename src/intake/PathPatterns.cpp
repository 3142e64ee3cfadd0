#include "intake/PathPatterns.h"

#include "config/NativePath.h"

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

// `*`, `?` and classes stay within one name; `**` as a whole name crosses folders.
bool globMatch(std::string_view p, std::string_view t)
{
    size_t pi = 0, ti = 0;
    while (pi < p.size()) {
        const char c = p[pi];
        if (c == '*') {
            const bool wholeName = pi + 1 < p.size() && p[pi + 1] == '*' && (pi == 0 || p[pi - 1] == '/')
                && (pi + 2 == p.size() || p[pi + 2] == '/');
            if (wholeName) {
                if (pi + 2 == p.size())
                    return true;
                const std::string_view rest = p.substr(pi + 3);
                for (size_t k = ti; k <= t.size(); ++k) {
                    if ((k == ti || t[k - 1] == '/') && globMatch(rest, t.substr(k)))
                        return true;
                }
                return false;
            }
            while (pi < p.size() && p[pi] == '*')
                ++pi;
            const std::string_view rest = p.substr(pi);
            for (size_t k = ti;; ++k) {
                if (globMatch(rest, t.substr(k)))
                    return true;
                if (k == t.size() || t[k] == '/')
                    return false;
            }
        }
        if (ti == t.size())
            return false;
        const unsigned char tc = static_cast<unsigned char>(t[ti]);
        if (c == '?') {
            if (tc == '/')
                return false;
            ++pi;
            ++ti;
            continue;
        }
        if (c == '[') {
            size_t next = 0;
            bool matched = false;
            if (classMatches(p, pi, tc, next, matched)) {
                if (!matched || tc == '/')
                    return false;
                pi = next;
                ++ti;
                continue;
            }
        }
        char literal = c;
        if (c == '\\' && pi + 1 < p.size())
            literal = p[++pi];
        if (t[ti] != literal)
            return false;
        ++pi;
        ++ti;
    }
    return ti == t.size();
}

std::string_view baseName(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
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
        if (!m_gitignore)
            return;
        // A .gitignore is a small text file; anything else of that name is passed over.
        constexpr off_t kLargest = 1 << 20;
        const int fd = ::open((full + "/.gitignore").c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            return;
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
        m_ignored.addLines(text, relative.empty() ? std::string() : relative + '/');
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
    rule.glob = pattern;
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
    for (auto it = m_rules.rbegin(); it != m_rules.rend(); ++it) {
        const Rule& rule = *it;
        if (rule.directoryOnly && !directory)
            continue;
        if (relative.size() <= rule.base.size() || relative.substr(0, rule.base.size()) != rule.base)
            continue;
        const std::string_view below = relative.substr(rule.base.size());
        if (globMatch(rule.glob, rule.anchored ? below : baseName(below)))
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

bool isVersionControlFolder(std::string_view name)
{
    return name == ".git" || name == ".svn" || name == ".hg" || name == ".bzr" || name == "CVS";
}

std::unique_ptr<WalkFilter> makePatternFilter(const Exclusions& exclusions)
{
    return std::make_unique<PatternFilter>(exclusions);
}

} // namespace tarvik
