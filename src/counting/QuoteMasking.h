#pragma once

#include <string>
#include <string_view>

namespace tarvik {

// Quote masking of one line for one quote character: the first pair of quotes and its text is
// replaced by "A" wherever that same quoted text occurs in the line, then again from the
// beginning of the line, until fewer than two quotes are left.
//
// maskQuotesLiteral does exactly that, one full replacement per pair, which is quadratic in
// the number of quotes. maskQuotesFast gives the same result in O(n + m log m) for n bytes and
// m quotes: it works on the gaps between quotes, compared by their length and a hash of their
// current text, and rebuilds the line from the spans that were replaced.
void maskQuotesLiteral(std::string& w, char quote);

// The first occurrence of `needle` in [from, end), or nullptr.
const char* findBytes(const char* from, const char* end, std::string_view needle);

// Every occurrence of `text` at or after `from` (none begins earlier), left to right and
// without overlap, replaced in place by `replacement`, which is never longer than `text`.
void replaceAll(std::string& w, std::string_view text, std::string_view replacement, size_t from = 0);
void maskQuotesFast(std::string& w, char quote);

// Chooses the literal steps for lines with few quotes (cheaper there) and the fast ones otherwise.
void maskQuotes(std::string& w, char quote);

} // namespace tarvik
