// Base64 as in RFC 4648: the standard alphabet with "=" padding. Used for the proxy
// authorisation header. Pure; may be called from any thread.
#pragma once

#include "text/text.h"

namespace tarvo {

// The Base64 text of `bytes`: 4 characters for every 3 bytes begun, padded with "=";
// the empty text for an empty input.
[[nodiscard]] Text Base64Encode(const Bytes& bytes);

}  // namespace tarvo
