#pragma once

#include <string>
#include <string_view>

namespace tarvik {

// The block-comment tokens of an engine, both enabled (non-empty).
struct BlockTokens {
    std::string_view start;
    std::string_view end;
};

// s: the first start token in w. e: the first end token that begins behind the whole start
// token, or the first end token anywhere when there is no start token. npos when not found.
// An empty token is never found.
void findBlockTokens(std::string_view w, std::string_view start, std::string_view end, size_t& s, size_t& e);

// Whole comments within one line, outside an open comment: each pass takes the text from the
// start token at s through the end token at e, removes it wherever it occurs in w (left to
// right, without overlap), finds s and e again and counts the pass. Passes go on while both
// tokens are found and passes < limit. Precondition: s and e are both found.
//
// The literal form rescans and rewrites the whole line on every pass, which is quadratic on a
// long line holding many comments. The indexed form gives the same w, s, e and passes: it
// indexes the comments once, by their text, and removes each pass's comments in place,
// doing work in proportion to the line and what is removed. A removal that joins text into a
// new token, or that shortens a comment still standing, ends its run: the line is then
// rebuilt and indexed again.
void removeWholeCommentsLiteral(std::string& w, BlockTokens tokens, size_t& s, size_t& e, int& passes, int limit);
void removeWholeCommentsIndexed(std::string& w, BlockTokens tokens, size_t& s, size_t& e, int& passes, int limit);

// The literal form on short lines, where it is cheaper; the indexed form otherwise.
void removeWholeComments(std::string& w, BlockTokens tokens, size_t& s, size_t& e, int& passes, int limit);

} // namespace tarvik
