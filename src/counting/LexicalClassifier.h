#pragma once

#include "config/CommentSyntax.h"
#include "counting/LineClassifier.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// Where the lexical classifier hands on lines once their kind is settled.
class ResolvedLineSink {
public:
    // `step`: the step text of an executable line when steps are wanted, else empty.
    virtual void resolved(LineKind kind, std::string_view step) = 0;

protected:
    ~ResolvedLineSink() = default;
};

// Classifies the lines of one file for an engine with rules beyond the three tokens
// (CommentSyntax::extended): one left-to-right scan per line, with the state carried from line
// to line (inside which block comment and how deeply nested, inside which multi-line string,
// the bracket depth and a line continuation for docstrings).
//
// As the classic steps do: the blank test comes first and is the same; a line that is not blank
// is a comment when nothing but whitespace stands outside its comments, else executable; its
// step text is the line with comments and whitespace removed and each string (or the part of a
// multi-line string on the line) standing as "A". " and ' delimit strings that close on the same
// line; an unclosed one is an ordinary character. Comment tokens inside strings do not count.
// At one position the longest token wins; at equal length a block comment, then a line comment,
// then a string.
//
// A string that begins a statement (bracket depth 0, no continuation, only blanks before it on
// its line) may be a docstring: it is one when, once it closes, the rest of its closing line
// holds only blanks, comments or further strings. Its lines are held here until that is known,
// so lines reach the sink in file order but possibly later than they were given. Time is linear
// in the text; memory is the longest line plus the held lines' step texts (with steps; without
// them the held lines are only counted, and handed on by kind rather than in file order).
class LexicalClassifier {
public:
    LexicalClassifier(const CommentSyntax& syntax, bool countSymbolLines);

    // One line, UTF-8 without its terminator.
    void classify(std::string_view line, bool steps, ResolvedLineSink& out);
    // Every line of `text` that ends in it (at CR LF, CR or LF), found with the bytes the scan
    // stops at in one pass over 64-byte blocks. Returns where the unfinished rest begins;
    // `endsWithCr` tells that the text ended just after a CR, so an LF next belongs to it.
    size_t classifyLines(std::string_view text, bool steps, ResolvedLineSink& out, bool& endsWithCr);
    // The end of the text: a docstring candidate still open is settled as a docstring.
    void finish(ResolvedLineSink& out);

    size_t heldLines() const { return m_heldCount + m_heldBlank + m_heldText; }
    bool insideComment() const { return m_state == State::Block; }
    bool insideString() const { return m_state == State::String; }
    uint32_t nesting() const { return m_state == State::Block ? m_nest : 0; }

private:
    enum class State : uint8_t { Code, Block, String };
    enum class TokenKind : uint8_t { Block, Line, LineStart, String }; // the order breaks ties
    struct Token {
        std::string text;
        TokenKind kind;
        uint32_t index; // into m_blocks or m_strings
        bool wordEnd;   // a line-start token ending in a letter or digit needs a non-word after it
    };
    // Bytes the scan of code acts on.
    enum CodeByte : uint8_t { kToken = 1, kQuote = 2, kOpen = 4, kClose = 8 };
    static constexpr size_t kMaxStops = 64;
    static constexpr size_t kMaxStopBytes = 16;
    // Where the bytes the scan stops at stand in a line: the first kMaxStops of them from the
    // block scan, then (from `scalarFrom`) whatever the byte table finds.
    struct Stops {
        const uint32_t* next = nullptr;
        const uint32_t* end = nullptr;
        size_t scalarFrom = 0; // npos when the list holds them all
    };

    bool isBlank(std::string_view line) const;
    void classifyLine(std::string_view line, bool blank, Stops& stops, bool steps, ResolvedLineSink& out);
    size_t nextStop(Stops& stops, std::string_view line, size_t from) const;
    size_t scanCode(std::string_view line, size_t i, Stops& stops);
    size_t scanBlock(std::string_view line, size_t i, Stops& stops);
    size_t scanString(std::string_view line, size_t i, Stops& stops);
    const Token* tokenAt(std::string_view line, size_t i) const;
    // Where `close` ends a string begun before `from`, the escape character honoured; npos if
    // not on this line.
    size_t closing(std::string_view line, size_t from, std::string_view close, Stops& stops) const;
    void code(std::string_view text);
    void stringBegins();
    void hold(bool blank);
    void settleHeld(bool docstring);

    bool m_countSymbolLines;
    bool m_nested;
    bool m_docstrings;
    std::string m_escape;
    std::vector<TokenPair> m_blocks;
    std::vector<TokenPair> m_strings;
    std::vector<Token> m_tokens;           // by first byte, longest first, then by kind
    std::array<uint32_t, 257> m_byFirst{}; // the tokens of byte c: [m_byFirst[c], m_byFirst[c + 1])
    std::array<uint8_t, 256> m_code{};     // CodeByte bits
    std::array<bool, 256> m_stop{};        // what any state acts on: m_code, ends of comments and strings, the escape
    std::vector<unsigned char> m_stopBytes; // the same as a list, for the block scan (empty when too many)

    // Carried from line to line.
    State m_state = State::Code;
    uint32_t m_which = 0; // the block pair or the multi-line string
    uint32_t m_nest = 0;  // depth within the block pair
    uint64_t m_brackets = 0;
    bool m_continued = false;
    bool m_candidate = false; // a docstring candidate is open: only strings, blanks and comments since it began
    std::string m_held;       // held lines with steps: per line a length (0 blank, else step length + 1) and the step
    size_t m_heldCount = 0;
    size_t m_heldBlank = 0, m_heldText = 0; // held lines without steps

    // Of the line being classified.
    ResolvedLineSink* m_out = nullptr;
    bool m_steps = false;
    bool m_codeSeen = false;
    bool m_onlyBlanks = false;     // the line began in code and nothing but whitespace came yet
    bool m_statementStart = false; // the line began a statement
    bool m_lineComment = false;
    std::array<bool, 2> m_lone{};  // a " or ' that cannot close on the rest of this line was met
    std::array<uint32_t, kMaxStops> m_positions{};
    std::string m_step;
};

} // namespace tarvik
