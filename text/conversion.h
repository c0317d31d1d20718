// Conversion between code pages through UTF-16.
//
// The service answers in UTF-8 while every text inside the system is code page 936;
// Utf8ToGbk bridges the two. A UTF-16 byte set holds little-endian units including one
// terminating zero unit, so its size is twice the number of units. None of these fails: an
// ill-formed UTF-8 sequence becomes U+FFFD (then "?" in code page 936), a character that
// code page 936 cannot hold becomes "?", and an empty input gives an empty result.
#pragma once

#include <optional>
#include <string_view>

#include "text/text.h"

namespace tarvo {

// The same characters as the UTF-8 text `text`, in code page 936 whatever the system's
// ANSI code page is.
[[nodiscard]] Text Utf8ToGbk(std::string_view text);

// `text`, read in `codePage` (65001 when omitted), as a UTF-16 byte set.
[[nodiscard]] Bytes ToUtf16(std::string_view text, std::optional<unsigned> codePage = {});

// The UTF-16 byte set `wide`, up to its first zero unit, in `codePage` (0, the system's
// ANSI code page, when omitted).
[[nodiscard]] Text FromUtf16(const Bytes& wide, std::optional<unsigned> codePage = {});

// The code page 936 text `text` as UTF-8: the way out of the system for a terminal or a
// file. A character that came in as "?" stays "?".
[[nodiscard]] std::string GbkToUtf8(std::string_view text);

}  // namespace tarvo
