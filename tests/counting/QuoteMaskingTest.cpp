// The fast quote masking must give exactly what the literal steps give.
#include "counting/QuoteMasking.h"

#include <gtest/gtest.h>

#include <random>

using namespace tarvik;

namespace {

std::string fast(std::string w, char q)
{
    maskQuotesFast(w, q);
    return w;
}
std::string literal(std::string w, char q)
{
    maskQuotesLiteral(w, q);
    return w;
}

} // namespace

TEST(QuoteMasking, KnownLines)
{
    EXPECT_EQ(literal("print(\"// x\");", '"'), "print(A);");
    // Every occurrence of the first quoted text goes, so the quote after b pairs with nothing.
    EXPECT_EQ(literal("\"a\" \"b\"a\" //", '"'), "A \"bA //");
    EXPECT_EQ(fast("\"a\" \"b\"a\" //", '"'), "A \"bA //");
    EXPECT_EQ(fast("\"x\"x\"", '"'), "Ax\"");
    EXPECT_EQ(fast("no quotes", '"'), "no quotes");
    EXPECT_EQ(fast("one \" quote", '"'), "one \" quote");
}

TEST(QuoteMasking, FastEqualsLiteralOnRandomLines)
{
    std::mt19937 rng(20261207);
    // Few letters, so that quoted texts repeat, nest after merging and meet the "A" they leave.
    const std::string alphabet = "\"\"\"\"ab A'";
    for (int n = 0; n < 200000; ++n) {
        const size_t length = rng() % (n % 50 == 0 ? 400 : 40);
        std::string line;
        for (size_t i = 0; i < length; ++i)
            line += alphabet[rng() % alphabet.size()];
        for (char q : {'"', '\''})
            ASSERT_EQ(fast(line, q), literal(line, q)) << "line: " << line << " quote " << q;
    }
}

TEST(QuoteMasking, FastEqualsLiteralOnAMinifiedLine)
{
    // Many distinct and repeated literals of both kinds, as minified code has them.
    std::string line;
    for (int i = 0; i < 3000; ++i)
        line += "f(\"s" + std::to_string(i % 100 == 0 ? 7 : i) + "\",'" + std::to_string(i % 13) + "',\"\");";
    line += "\"unclosed";
    for (char q : {'"', '\''})
        EXPECT_EQ(fast(line, q), literal(line, q));
}
