// The primitive text operations that every marker operation is built from.
//
// Texts are code page 936: a byte below 0x80 is a character of its own, a byte of 0x80 or
// more leads a two-byte character with the byte after it. Searches try a match only where
// a character begins, never at the second byte of a two-byte character. A case-insensitive
// search folds the ASCII letters A-Z and a-z, byte by byte, and nothing else.
// Positions are 1-based; kNotFound (-1) means not found. All functions are pure.
#pragma once

#include <string_view>

#include "text/text.h"

namespace tarvo {

// Position of the first `needle` that begins at or after `from` (1 or less: the start).
// An empty needle is found at 1 whenever the stretch searched is not empty.
[[nodiscard]] int Find(std::string_view text, std::string_view needle, int from = 1,
                       bool ignoreCase = false);

// Position of the last `needle` that lies wholly within the first `before` - 1 bytes.
[[nodiscard]] int FindLast(std::string_view text, std::string_view needle, int before,
                           bool ignoreCase = false);

// The first `n` bytes; the whole text when n reaches its length, empty when n <= 0.
[[nodiscard]] Text Left(std::string_view text, int n);

// The last `n` bytes, in the same way.
[[nodiscard]] Text Right(std::string_view text, int n);

// `n` bytes from position `p`, cut at the end; empty when p lies outside or n <= 0.
[[nodiscard]] Text Middle(std::string_view text, int p, int n);

// The text without ASCII spaces and full-width spaces (0xA1 0xA1) at either end.
[[nodiscard]] Text Trim(std::string_view text);

// Length of the character that begins at byte index `i` (0-based): 1 or 2.
[[nodiscard]] inline size_t CharLength(std::string_view text, size_t i) {
    return static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size() ? 2 : 1;
}

}  // namespace tarvo
