// How much of one response the web stand-ins hold in memory.
//
// Both stand-ins keep a whole response before handing it out, so a server that sends
// without end would otherwise exhaust memory. The service's answers are a few kilobytes;
// these limits lie far above any of them. A response beyond a limit ends the exchange as
// a failed one: nothing of it is kept, and it reads as no response at all.
#pragma once

#include <cstddef>

namespace tarvo::platform {

inline constexpr std::size_t kMaxResponseBodyBytes = std::size_t{64} * 1024 * 1024;
// All header lines of one exchange together, interim and redirect responses included.
inline constexpr std::size_t kMaxResponseHeaderBytes = std::size_t{1024} * 1024;

}  // namespace tarvo::platform
