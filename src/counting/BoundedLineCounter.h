#pragma once

#include "config/CommentSyntax.h"
#include "counting/FileCounts.h"
#include "counting/LineClassifier.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tarvik {

// A LineCounter for streamed files whose lines may be of any length (a gigabyte of NUL bytes
// is one line). The unfinished last line is held here. Once a stretch of it that holds no
// quote and no byte of any comment token grows past `shortenAbove`, the stretch is replaced by
// one copy of each distinct character it holds, in order of first appearance. Every cut and
// removal of the classification starts and ends at a quote, a token or an end of the line, so
// such a stretch is kept or dropped whole, and the blank and whitespace tests only ask which
// characters it holds: the line is judged as its whole text would be, in bounded memory.
//
// Only the removals of "every occurrence" of a text could tell the two apart, if that text
// could occur again elsewhere in the line. It cannot when the rest of the line holds no byte
// of the stretch (and, when it has quotes, the stretch no "A", the letter quote masking
// leaves). Otherwise needsExactCount() asks for the file to be counted again without
// shortening. One stretch per line is shortened.
class BoundedLineCounter {
public:
    static constexpr size_t kDefaultShortenAbove = 4u << 20;

    BoundedLineCounter(const CommentSyntax& syntax, bool countSymbolLines, size_t shortenAbove = kDefaultShortenAbove);

    // UTF-8 text in pieces, split anywhere. False once the file was abandoned or needs an exact
    // count; later input is ignored.
    bool feed(std::string_view text);
    void finish();

    // As LineCounter::collectSteps; only whole lines give whole step texts, so a caller that
    // collects them does not shorten (shortenAbove = SIZE_MAX).
    void collectSteps(std::vector<std::string>* steps) { m_counter.collectSteps(steps); }
    // As LineCounter::collectLines; the numbers are of whole lines, shortened or not.
    void collectLines(std::vector<int64_t>* lines) { m_counter.collectLines(lines); }

    const FileCounts& counts() const { return m_counter.counts(); }
    bool abandoned() const { return m_counter.abandoned(); }
    bool needsExactCount() const { return m_needsExact; }
    // Lines that were shortened and judged in their shortened form.
    size_t shortenedLines() const { return m_shortenedLines; }

private:
    void scan();
    void shorten(size_t from);
    // The held line ends with `held` + `more` after its stretch: true when it may be passed on.
    bool shortenedLineIsExact(std::string_view held, std::string_view more) const;
    void resetLine();

    LineCounter m_counter;
    size_t m_shortenAbove;
    bool m_lexical; // the engine has rules beyond the three tokens
    std::array<bool, 256> m_special{}; // quotes and every byte of every token
    std::vector<char> m_specialBytes;

    std::string m_tail;     // the unfinished line, with at most one stretch shortened
    size_t m_scanned = 0;   // m_tail up to here was looked at for special bytes
    size_t m_runStart = 0;  // where the current stretch without special bytes began
    bool m_shortened = false;
    bool m_shortOpen = false; // the shortened stretch is still the current one
    size_t m_shortStart = 0;
    size_t m_shortLen = 0;
    std::array<bool, 128> m_seenAscii{};
    std::unordered_set<std::string> m_seenOther; // multi-byte characters already in the stretch
    std::array<bool, 256> m_stretchBytes{};

    bool m_needsExact = false;
    size_t m_shortenedLines = 0;
};

} // namespace tarvik
