// Realistic texts for the benchmarks, made once and kept for the whole run.
#pragma once

#include <string>

#include "text/text.h"

namespace tarvo::bench {

// About 64 KB of code page 936 text shaped like the item-detail answer: the members the
// job reads, and many comments with Chinese text, "\u0026" escapes and long addresses.
[[nodiscard]] const Text& ItemDetail();

// The header text that a share link's redirect answers with, for the service host
// "h5.pipix.com".
[[nodiscard]] const Text& RedirectHeaders();

// A request's header text as a caller writes it: names in any letter case.
[[nodiscard]] const Text& RequestHeaders();

// A cookie text as sent, and the cookies that the answer set.
[[nodiscard]] const Text& SentCookies();
[[nodiscard]] const Text& ReturnedCookies();

// 64 KB of UTF-8, mostly Chinese, as a detail answer arrives.
[[nodiscard]] const std::string& ChineseUtf8();

}  // namespace tarvo::bench
