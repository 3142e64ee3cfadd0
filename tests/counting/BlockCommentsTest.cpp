#include "counting/BlockComments.h"
#include "counting/LineClassifier.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace tarvik;

namespace {

constexpr size_t npos = std::string::npos;

struct Outcome {
    std::string w;
    size_t s, e;
    int passes;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o)
{
    // Long lines are shown by their ends only.
    const std::string shown = o.w.size() <= 160 ? o.w : o.w.substr(0, 80) + " ... " + o.w.substr(o.w.size() - 80);
    return os << "size=" << o.w.size() << " w=[" << shown << "] s=" << o.s << " e=" << o.e << " passes=" << o.passes;
}

template <typename Remove>
Outcome run(Remove remove, std::string w, BlockTokens t, int limit)
{
    Outcome o{std::move(w), 0, 0, 0};
    findBlockTokens(o.w, t.start, t.end, o.s, o.e);
    remove(o.w, t, o.s, o.e, o.passes, limit);
    return o;
}

// Lines built from pieces that make the hard cases common: repeated comments, nested start
// tokens, stray ends, and halves of tokens that join into new ones when a comment goes.
std::string randomLine(std::mt19937& rng, const std::string& start, const std::string& end, size_t pieces)
{
    const std::string alphabet = "/*ab #-(){}";
    std::vector<std::string> parts = {start, end, start + "c" + end, start + "d" + end, start + end,
        start + " " + start + "c" + end, std::string(1, start[0]), std::string(1, end.back()), "x", " "};
    std::string line;
    for (size_t i = 0; i < pieces; ++i) {
        if (rng() % 4 == 0)
            line += alphabet[rng() % alphabet.size()];
        else
            line += parts[rng() % parts.size()];
    }
    return line;
}

std::string randomToken(std::mt19937& rng)
{
    const std::string alphabet = "/*ab#-";
    std::string token;
    for (size_t n = 1 + rng() % 3; n > 0; --n)
        token += alphabet[rng() % alphabet.size()];
    return token;
}

} // namespace

// The indexed passes against the literal ones: the same line, tokens and pass limit must
// leave the same text, the same token positions and the same pass count.
TEST(BlockComments, IndexedPassesMatchTheLiteralOnesOverRandomLinesAndTokens)
{
    std::mt19937 rng(20261207);
    const std::vector<std::pair<std::string, std::string>> common = {
        {"/*", "*/"}, {"(*", "*)"}, {"{-", "-}"}, {"<!--", "-->"}, {"#", "#"}, {"aa", "aa"}, {"/", "/"}};
    const int limits[] = {1, 2, 3, 7, LineClassifier::kPassLimit};
    int compared = 0;
    for (int round = 0; round < 150000; ++round) {
        std::string start, end;
        if (round % 3 == 0) {
            start = randomToken(rng);
            end = randomToken(rng);
        } else {
            std::tie(start, end) = common[rng() % common.size()];
        }
        const std::string line = randomLine(rng, start, end, 1 + rng() % 24);
        const BlockTokens t{start, end};
        size_t s, e;
        findBlockTokens(line, start, end, s, e);
        if (s == npos || e == npos)
            continue;
        const int limit = limits[rng() % std::size(limits)];
        const Outcome literal = run(removeWholeCommentsLiteral, line, t, limit);
        const Outcome indexed = run(removeWholeCommentsIndexed, line, t, limit);
        ASSERT_EQ(indexed, literal) << "line [" << line << "] tokens [" << start << "] [" << end << "] limit " << limit;
        ++compared;
    }
    EXPECT_GT(compared, 100000);
}

TEST(BlockComments, LongLinesGiveTheLiteralResult)
{
    std::mt19937 rng(7);
    const BlockTokens t{"/*", "*/"};
    for (int round = 0; round < 4; ++round) {
        // Thousands of distinct comments, each repeated, between code and joinable halves.
        std::string line;
        while (line.size() < 200000) {
            line += "x = f(y) / 2; /* note " + std::to_string(rng() % 3000) + " */ ";
            if (rng() % 50 == 0)
                line += "a /*c*/* b ";
            if (rng() % 70 == 0)
                line += "/* outer /* inner */ ";
        }
        const Outcome literal = run(removeWholeCommentsLiteral, line, t, LineClassifier::kPassLimit);
        const Outcome indexed = run(removeWholeCommentsIndexed, line, t, LineClassifier::kPassLimit);
        ASSERT_EQ(indexed, literal);
        EXPECT_GT(literal.passes, 1000);
    }
}

// A long line of distinct comments is counted when its last comment goes in the last pass the
// limit allows, and not analysable with one comment more, exactly as the literal passes decide.
TEST(BlockComments, PassLimitHoldsOnLongLines)
{
    const CommentSyntax syntax{"//", "/*", "*/"};
    auto lineWith = [](int comments) {
        std::string line;
        for (int i = 0; i < comments; ++i)
            line += "s = \"" + std::to_string(i) + "\"; /* c" + std::to_string(i) + " */ ";
        return line;
    };
    const LineCountResult under = CountFileLines(lineWith(LineClassifier::kPassLimit), syntax, true);
    EXPECT_FALSE(under.abandoned);
    EXPECT_EQ(under.counts.executable, 1);
    const LineCountResult over = CountFileLines(lineWith(LineClassifier::kPassLimit + 1), syntax, true);
    EXPECT_TRUE(over.abandoned);
}
