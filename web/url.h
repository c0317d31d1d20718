// The three pieces of a URL that a request connects with: host, port and path.
//
// Texts are code page 936. These follow the service's URL shapes loosely on purpose: a
// missing scheme means http, the host runs from the scheme marker to the next "/", and
// nothing is validated (the connection refuses what cannot be a host). All are pure and
// may be called from any thread.
#pragma once

#include <string_view>

#include "text/text.h"

namespace tarvo {

// The host part of `url` in lower case, with its ":port" when `keepPort` is true.
[[nodiscard]] Text UrlHost(std::string_view url, bool keepPort);

// The port to connect to: the number after the host's last ":", else 443 for a URL that
// begins with "https" and 80 otherwise.
[[nodiscard]] int UrlPort(std::string_view url);

// The path with query and fragment, in the letter case of `url`; "/" when there is none.
[[nodiscard]] Text UrlPath(std::string_view url);

}  // namespace tarvo
