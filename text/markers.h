// Cutting pieces out of texts by marker: the text between two markers, the text before a
// marker, and the two halves of a header line. Texts are code page 936 and the searches
// follow the rules of text/primitives.h. Every result is a new text; inputs stay as they
// are. None of these fails: a missing marker or an empty input gives the empty text.
#pragma once

#include <string_view>

#include "text/text.h"

namespace tarvo {

// In markers of TextBetween, this five-byte text ("#引号" in code page 936) stands for one
// double quote, so that callers can write markers that hold quotes.
inline constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

// The text between the first `left` at or after `start` and the next `right` after it,
// without either marker; empty when either is missing. `start` of 1 or less searches from
// the beginning.
[[nodiscard]] Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                               int start = 0, bool ignoreCase = false);

// The text before the chosen occurrence of `marker`; empty when there is none. A `start`
// of 0 or more takes the first occurrence at or after it; -1 the last one in the text; -k
// (k >= 2) the last one that lies wholly within the first n - k bytes.
[[nodiscard]] Text TextLeftOf(std::string_view text, std::string_view marker, int start = 0,
                              bool ignoreCase = false);

// The trimmed text before the first ":" of `line`; empty when there is no ":".
[[nodiscard]] Text HeaderName(std::string_view line);

// The trimmed text after the first ":" of `line`; empty when there is no ":".
[[nodiscard]] Text HeaderValue(std::string_view line);

}  // namespace tarvo
