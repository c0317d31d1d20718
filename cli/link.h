// Finding the share link in what a user pastes: the app shares a whole text, Chinese words
// around the link. Texts here are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::cli {

// The first http:// or https:// address in `input`. It ends before white space or any
// character that cannot belong to an address (Chinese punctuation such as ，。！） included).
// A share link ("…/s/" and a code of 6 to 11 letters, digits, "-" or "_") ends after its
// code and the "/" that may follow it; any other address loses the sentence punctuation
// that may stand at its end.
[[nodiscard]] std::optional<std::string> ExtractLink(std::string_view input);

}  // namespace tarvo::cli
