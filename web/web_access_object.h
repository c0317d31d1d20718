// One synchronous HTTP or HTTPS request through the platform's request object, with the
// work every caller would otherwise repeat: default headers, header-name normalisation,
// cookies sent and collected, proxy and its credentials, redirects on or off, and the
// common certificate errors ignored.
//
// Texts are code page 936. Failures are not reported: an empty body, and status 0 where it
// is asked for, is how a failed request shows; a response beyond the limits of
// platform/response_limits.h (64 MiB of body) is such a failed request. Blocks the calling
// thread for the whole exchange; initialises COM on it at entry and uninitialises it before
// returning.
#pragma once

#include <optional>
#include <string_view>

#include "platform/request_object.h"
#include "text/text.h"

namespace tarvo {

// Every member may be left out; an omitted input takes the default named, an omitted
// output (a null pointer) is not handed back. Members stand in the order of the
// operation's parameters.
struct WebAccessObjectOptions {
    // Index into GET, POST, HEAD, PUT, OPTIONS, DELETE, TRACE, CONNECT; outside 0..7: GET.
    std::optional<int> method{};
    // Sent when byteBody is empty.
    std::optional<Text> textBody{};
    // In/out. When given, even empty: every "Cookie:" in it is removed (case ignored) and
    // the rest sent as the Cookie header; after a merge it holds the whole cookie set.
    Text* cookies = nullptr;
    // Out: the cookies the response sets ('a=1; b=2'), or the merged set.
    Text* returnedCookies = nullptr;
    // Extra request header lines, CRLF-separated; the caller's text is never changed.
    std::optional<Text> headers{};
    // Out: the response header text as the request object gives it.
    Text* returnedHeaders = nullptr;
    // Out: the response's status code.
    int* status = nullptr;
    // True: redirects are not followed and the redirect response itself comes back.
    std::optional<bool> noRedirect{};
    // Sent whenever it is not empty.
    std::optional<Bytes> byteBody{};
    // "host:port" of an HTTP proxy to go through.
    std::optional<Text> proxy{};
    // Seconds for each phase; -1 keeps the request object's own, below 1 means 15.
    std::optional<int> timeoutSeconds{};
    std::optional<Text> proxyUser{};
    std::optional<Text> proxyPassword{};
    // 1 (the default): the credentials are the proxy's and Proxy-Authorization is added;
    // 0: they are the server's.
    std::optional<int> credentialsFor{};
    // Used instead of a new object; it keeps this call's settings afterwards.
    platform::RequestObject* requestObject = nullptr;
    // Default true: with cookies given, the returned cookies are merged into them.
    std::optional<bool> autoMergeCookies{};
    // Default true: missing default headers are appended.
    std::optional<bool> completeHeaders{};
    // Default true: header names are normalised before they are sent.
    std::optional<bool> normalizeHeaders{};
};

// Requests `url` and returns a copy of the response body.
[[nodiscard]] Bytes WebAccessObject(std::string_view url,
                                    const WebAccessObjectOptions& options = {});

}  // namespace tarvo
