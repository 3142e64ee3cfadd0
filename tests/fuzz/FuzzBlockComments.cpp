// Whole-comment removal on an index against the literal passes: the same line, tokens and
// pass limit must leave the same text, token positions and pass count. The first bytes choose
// the tokens (1 to 4 bytes each, overlapping and equal ones included) and the limit; the rest
// is the line.
#include "counting/BlockComments.h"
#include "fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const size_t startLength = 1 + data[0] % 4;
    const size_t endLength = 1 + (data[0] >> 2) % 4;
    const int limit = 1 + data[1] % 64;
    size_t at = 2;
    if (size < at + startLength + endLength)
        return 0;
    const std::string start(reinterpret_cast<const char*>(data + at), startLength);
    at += startLength;
    const std::string end(reinterpret_cast<const char*>(data + at), endLength);
    at += endLength;
    const std::string line(reinterpret_cast<const char*>(data + at), size - at);

    size_t s0, e0;
    findBlockTokens(line, start, end, s0, e0);
    if (s0 == std::string::npos || e0 == std::string::npos)
        return 0;
    const BlockTokens tokens{start, end};

    std::string literal = line, indexed = line;
    size_t ls = s0, le = e0, is = s0, ie = e0;
    int lp = 0, ip = 0;
    removeWholeCommentsLiteral(literal, tokens, ls, le, lp, limit);
    removeWholeCommentsIndexed(indexed, tokens, is, ie, ip, limit);
    CHECK(literal == indexed);
    CHECK(ls == is && le == ie);
    CHECK(lp == ip);
    return 0;
}
