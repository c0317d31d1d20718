// One HTTP or HTTPS request through the platform's Internet API, its response body as the
// result.
//
// Each call opens its own root handle, connection and request and closes them before it
// returns; no state of its own survives a call. When `cookies` is left out, the platform's
// process-wide cookie store sends and keeps cookies; giving `cookies`, even empty, switches
// that store off for the call. Texts are code page 936 and go to the platform as the bytes
// they are. Failures are not reported: a request that fails gives an empty body, and so
// does a response beyond the limits of platform/response_limits.h (64 MiB of body). Blocks
// until the body has been read or the platform's time-outs end the request. Any thread
// may call it; the out-variables belong to the caller and must not be shared during a call.
#pragma once

#include <optional>
#include <string_view>

#include "text/text.h"

namespace tarvo {

struct WebAccessOptions {
    // Index into GET, POST, HEAD, PUT, OPTIONS, DELETE, TRACE, CONNECT; others mean GET.
    std::optional<int> method{};
    std::optional<Text> textBody{};  // the body when byteBody is empty; never for GET
    Text* cookies = nullptr;  // in/out; nullptr = left out (the platform's own store is used)
    Text* returnedCookies = nullptr;   // out;   nullptr = result discarded
    std::optional<Text> headers{};     // extra request header lines; only read
    Text* returnedHeaders = nullptr;   // out: status line and header lines of the final response
    std::optional<bool> noRedirect{};  // default false
    Bytes* byteBody = nullptr;         // in/out (written back for non-GET with an empty byteBody)
    std::optional<Text> proxy{};       // "host:port"; default none
    std::optional<bool> autoMergeCookies{};  // default true
    std::optional<bool> completeHeaders{};   // default true
    std::optional<bool> normalizeHeaders{};  // default true
};

// The default agent string of every request whose headers name none.
inline constexpr std::string_view kDefaultAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// `returnedCookies`, `returnedHeaders`, `cookies` and `byteBody` stay as they were when no
// request could be opened.
[[nodiscard]] Bytes WebAccess(std::string_view url, const WebAccessOptions& options = {});

}  // namespace tarvo
