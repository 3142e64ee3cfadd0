#pragma once

#include "config/CommentSyntax.h"
#include "counting/FileCounts.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

class LexicalClassifier;

enum class LineKind { Blank, Comment, Executable };

// What the scan that found a line's end learnt about the line on the way, so that the line is
// not read again to classify it. Positions count from the start of the line.
struct LineScan {
    static constexpr size_t kMaxPositions = 64;
    // The first byte that is neither TAB nor SPACE nor, when symbol-only lines are not counted,
    // one of the symbols; npos when there is none.
    size_t firstSolid = std::string_view::npos;
    // Where quotes and the first bytes of the tokens stand, in order: all of them when
    // `complete`, else the first kMaxPositions.
    std::array<uint32_t, kMaxPositions> positions;
    size_t count = 0;
    bool complete = true;

    std::span<const uint32_t> found() const { return {positions.data(), count}; }
};

// Classifies the lines of one file, in order, with a fixed sequence of steps (blank test,
// quote masking, block-comment cases, line-comment cut). Lines are UTF-8 without terminator.
// The block-comment state carries from line to line; a new classifier starts outside.
class LineClassifier {
public:
    static constexpr int kPassLimit = 20000;
    // The full steps keep index entries of up to kBytesPerEntry bytes for every quote, and then
    // for every block-comment token, of a line. A line whose entries would take more than
    // kWorkingMemoryFloor and more than kWorkingMemoryPerByte times its length is given up at
    // once, as one that reaches the pass limit is: tens of megabytes dense with literals and
    // comments would otherwise take a dozen times their size.
    static constexpr size_t kBytesPerEntry = 192;
    static constexpr size_t kWorkingMemoryFloor = size_t{256} << 20;
    static constexpr size_t kWorkingMemoryPerByte = 2;

    LineClassifier(const CommentSyntax& syntax, bool countSymbolLines);

    // nullopt when the line needed kPassLimit passes of block-comment processing, or would not
    // fit the working memory of the full steps: the file is then not analysable and the line
    // is not counted.
    std::optional<LineKind> classify(std::string_view line);
    // The same, and for an executable line its step text: what is left of the line once
    // comments and whitespace are removed (string literals stand as "A").
    std::optional<LineKind> classify(std::string_view line, std::string* step);
    // The same for a line described by `scan`, which LineCounter gathers while finding line ends.
    std::optional<LineKind> classify(std::string_view line, std::string* step, const LineScan& scan);

    bool insideBlockComment() const { return m_inside; }

private:
    friend class LineCounter; // its scan looks for the bytes this classifier looks for

    std::optional<LineKind> classifyScanned(std::string_view line, std::string* step, bool blank,
                                            const LineScan* scan);
    // The block-comment steps for a line without quotes whose tokens take one of the common
    // shapes, worked out from the scan: m_w and the block state are left as the steps leave
    // them. False when the line needs the full steps (then nothing is changed).
    bool commonBlockShape(std::string_view line, const LineScan& scan);
    // The full steps: quote masking and block-comment passes on m_w. False at the pass limit,
    // or at once when the line does not fit the working memory.
    bool passBlockComments(std::string_view line);
    bool fitsWorkingMemory(std::string_view line) const;
    bool isBlank(std::string_view line) const;
    // Position of the next quote or token's first byte at or after i (line size if none).
    size_t nextInteresting(std::string_view line, size_t i) const;
    void findBlockTokens(size_t& s, size_t& e) const;

    const CommentSyntax& m_syntax;
    bool m_countSymbolLines;
    bool m_inside = false;
    // Per byte, what it may begin: a quote, the block start, the block end, the line token
    // (Role bits); non-zero for the interesting bytes.
    enum Role : uint8_t { kQuote = 1, kBlockStart = 2, kBlockEnd = 4, kLineToken = 8 };
    std::array<uint8_t, 256> m_interesting;
    std::array<unsigned char, 5> m_interestingBytes;
    int m_interestingCount = 0;
    std::string m_w;
};

// Splits text at CR LF, lone CR and lone LF, feeding each line to a classifier. Text may arrive
// in pieces; a line split across pieces is joined first. An engine with rules beyond the three
// tokens (CommentSyntax::extended) is counted by the LexicalClassifier, any other one by the
// classic steps above.
class LineCounter {
public:
    LineCounter(const CommentSyntax& syntax, bool countSymbolLines);
    ~LineCounter();

    // Returns false once the file has been abandoned; later input is ignored.
    bool feed(std::string_view text);
    // Ends the input: a final line without terminator still counts.
    void finish();

    const FileCounts& counts() const { return m_counts; }
    bool abandoned() const { return m_abandoned; }

    // Collects the step text of every executable line, in order, into `steps` (or stops).
    void collectSteps(std::vector<std::string>* steps)
    {
        m_steps = steps;
        m_collecting = m_steps || m_lines;
    }
    // Collects the number of every executable line (from 0), in order, into `lines` (or stops).
    void collectLines(std::vector<int64_t>* lines)
    {
        m_lines = lines;
        m_collecting = m_steps || m_lines;
    }

private:
    friend class LexicalLines;

    void line(std::string_view text, const LineScan* scan);
    bool feedLexical(std::string_view text);
    void resolved(LineKind kind, std::string_view step);
    void collected(std::string_view step);

    LineClassifier m_classifier;
    std::unique_ptr<LexicalClassifier> m_lexical; // only for an extended engine
    LineScan m_scan;
    FileCounts m_counts;
    std::string m_partial;
    bool m_pendingLf = false; // the last piece ended with CR: a leading LF belongs to it
    bool m_abandoned = false;
    std::vector<std::string>* m_steps = nullptr;
    std::vector<int64_t>* m_lines = nullptr;
    bool m_collecting = false; // one test per executable line, whatever is collected
    std::string m_step;
};

struct LineCountResult {
    FileCounts counts;
    bool abandoned = false;
};

// The counts of a whole decoded text.
LineCountResult CountFileLines(std::string_view utf8Text, const CommentSyntax& syntax, bool countSymbolLines);

} // namespace tarvik
