// Header text and cookie text: the two text shapes that both web-access operations read and
// write.
//
// A header text is 'Name: value' lines separated by CRLF; a cookie text is 'name=value'
// items separated by "; " (a semicolon and exactly one space; a semicolon alone separates
// nothing). Texts are code page 936: searches and splits match only where a character
// begins, comparisons are byte for byte with case, and trimming follows Trim of
// text/primitives.h. None of these fails; all may be called from any thread.
#pragma once

#include <string_view>
#include <vector>

#include "text/text.h"

namespace tarvo {

// The items of `text` split at `separator`. The empty text gives no items; every separator
// ends an item, so empty items between separators or before a leading separator count;
// the text after the last separator is a last item only when it is not empty.
[[nodiscard]] std::vector<Text> SplitItems(std::string_view text, std::string_view separator);

// The header lines of `text` with their names in the usual capitalisation: the first
// character of the name and every character right after a hyphen upper-cased (ASCII
// letters only), the rest of the line from its first colon on unchanged. Lines without a
// colon, empty lines included, are dropped. Lines are joined with CRLF, none after the last.
[[nodiscard]] Text NormalizeHeaderNames(std::string_view text);

// The cookie text that the sent cookies `old` and the returned cookies `new_` make
// together: the new items first, then the old items whose name the response did not set,
// without items ending in "=deleted" and without exact repeats. Both arguments are the
// caller's variables and both change: `old` ends up holding the result, `new_` its trimmed
// self with one space appended when it ended in ";".
Text MergeCookies(Text& old, Text& new_);

// The trimmed text before the first "=" of `item`, or the whole trimmed item without "=".
[[nodiscard]] Text CookieName(std::string_view item);

// `text` split at `separator` with every repeat of an earlier item left out, joined again
// with `separator` (none after the last item).
[[nodiscard]] Text DistinctItems(std::string_view text, std::string_view separator);

}  // namespace tarvo
