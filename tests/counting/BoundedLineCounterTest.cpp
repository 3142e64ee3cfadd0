#include "counting/BoundedLineCounter.h"

#include "config/NativePath.h"
#include "counting/SourceFile.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <random>

using namespace tarvik;
using tarvik::test::TempDir;

namespace {

const CommentSyntax kC{"//", "/*", "*/"};

struct Outcome {
    FileCounts counts;
    bool abandoned = false;
    bool exactNeeded = false;
    size_t shortened = 0;
};

Outcome countInPieces(std::string_view text, const CommentSyntax& syntax, bool symbols, size_t shortenAbove,
                      std::mt19937& rng, size_t maxPiece = 40)
{
    BoundedLineCounter counter(syntax, symbols, shortenAbove);
    std::uniform_int_distribution<size_t> cut(maxPiece == 1 ? 1 : 0, maxPiece);
    for (size_t pos = 0; pos < text.size();) {
        size_t n = std::min(cut(rng), text.size() - pos);
        if (!counter.feed(text.substr(pos, n)))
            break;
        pos += n;
    }
    counter.finish();
    return {counter.counts(), counter.abandoned(), counter.needsExactCount(), counter.shortenedLines()};
}

} // namespace

// Lines with long stretches free of quotes and token bytes between text that has them, fed in
// random pieces to a counter that shortens above a few bytes: where it does not ask for an
// exact count, it must agree with counting the whole text.
TEST(BoundedLineCounter, ShortenedLinesAreJudgedAsTheirWholeText)
{
    // Stretch characters and the rest of a line overlap in a few: "A", "x", " ", "日".
    const std::vector<std::string> plain{"a", "b", "c", "d", "e", " ", "\t", "\xE3\x80\x80", "\xE6\x97\xA5",
                                         "\xC3\xA9", std::string(1, '\0'), "A", ";", "{", "}", "x", "("};
    const std::vector<std::string> code{"//", "/*", "*/", "\"", "'", "A", "x", " ", "/", "*", "Z", "\xE6\x9C\xAC", "\xE6\x97\xA5"};
    const std::vector<std::string> ends{"\r\n", "\n", "\r"};
    std::mt19937 rng(20261207);
    size_t compared = 0, shortened = 0, exactAsked = 0;
    for (int round = 0; round < 10000; ++round) {
        std::string text;
        const int lines = 1 + static_cast<int>(rng() % 5);
        for (int l = 0; l < lines; ++l) {
            for (int part = 0, parts = 1 + static_cast<int>(rng() % 3); part < parts; ++part) {
                const size_t stretch = rng() % 30;
                // Few distinct characters per stretch, so that the rest of the line often lacks them.
                const size_t a = rng() % plain.size(), b = rng() % plain.size();
                for (size_t i = 0; i < stretch; ++i)
                    text += plain[rng() % 3 == 0 ? b : a];
                const size_t tail = rng() % 8;
                for (size_t i = 0; i < tail; ++i)
                    text += code[rng() % code.size()];
            }
            if (l + 1 < lines || rng() % 2)
                text += ends[rng() % ends.size()];
        }
        const bool symbols = rng() % 2;
        const LineCountResult whole = CountFileLines(text, kC, symbols);
        const Outcome bounded = countInPieces(text, kC, symbols, 1 + rng() % 8, rng);
        if (bounded.exactNeeded) {
            ++exactAsked;
            continue;
        }
        ++compared;
        shortened += bounded.shortened > 0;
        ASSERT_EQ(bounded.abandoned, whole.abandoned) << "round " << round;
        if (!whole.abandoned) {
            ASSERT_EQ(bounded.counts, whole.counts) << "round " << round;
        }
    }
    // The comparison means something only if both kinds of line were common.
    EXPECT_GT(shortened, 1500u);
    EXPECT_GT(exactAsked, 100u);
    EXPECT_GT(compared, 2500u);
}

// Inside a block comment, case C removes every occurrence of "line start through end token":
// here the line's start occurs twice, and a shortened start would occur only once.
TEST(BoundedLineCounter, ARepeatedLineStartIsCountedInFull)
{
    std::string text = "/*\n" + std::string(20, 'x') + "*/" + std::string(20, 'x') + "*/\n";
    std::mt19937 rng(1);
    // Byte by byte, so that the stretch is shortened before the rest of the line arrives.
    Outcome bounded = countInPieces(text, kC, true, 4, rng, 1);
    EXPECT_TRUE(bounded.exactNeeded);
    const LineCountResult whole = CountFileLines(text, kC, true);
    EXPECT_EQ(whole.counts, (FileCounts{0, 2, 2}));

    // Quote masking leaves an "A": with a stretch of "A"s the masked rest can repeat it.
    const std::string masked = "/*\n" + std::string(20, 'A') + "*/'x'*/\n";
    EXPECT_TRUE(countInPieces(masked, kC, true, 4, rng, 1).exactNeeded);
    EXPECT_EQ(CountFileLines(masked, kC, true).counts, (FileCounts{1, 1, 2}));

    // The same over the streaming size of a file: counted again in full, with the whole result.
    TempDir dir;
    const std::string big = "/*\n" + std::string(5u << 20, 'x') + "*/" + std::string(5u << 20, 'x') + "*/\n";
    const QString path = dir.write(QStringLiteral("repeat.c"), QByteArray::fromStdString(big));
    SourceFileCount r = countSourceFile(pathToNative(path), kC, true);
    EXPECT_EQ(r.status, SourceFileCount::Status::Counted);
    EXPECT_EQ(r.counts, (FileCounts{0, 2, 2}));
}
