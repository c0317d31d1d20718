#include "web/url.h"

#include <limits>

#include "text/markers.h"
#include "text/primitives.h"

namespace tarvo {
namespace {

constexpr std::string_view kHttps = "https://";
constexpr std::string_view kHttp = "http://";

// Lower-cases the ASCII letters that begin a character; the second byte of a two-byte
// character stays as it is even when it falls in the range of the letters.
Text LowerAscii(std::string_view text) {
    Text out(text);
    for (size_t i = 0; i < out.size(); i += CharLength(out, i)) {
        if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
    }
    return out;
}

struct HostAndStart {
    Text host;      // with its port, lower case
    int hostStart;  // 1-based position in the URL from which the host is searched
};

HostAndStart SplitHost(std::string_view url) {
    Text lower = LowerAscii(url);
    if (lower.empty() || lower.back() != '/') lower.push_back('/');
    if (lower.starts_with(kHttps)) {
        return {TextBetween(lower, kHttps, "/"), static_cast<int>(kHttps.size()) + 1};
    }
    const int http = Find(lower, kHttp);
    if (http == kNotFound) {
        return {TextBetween(Text(kHttp) + lower, kHttp, "/"), 1};
    }
    return {TextBetween(lower, kHttp, "/"), http + static_cast<int>(kHttp.size())};
}

Text WithoutPort(const Text& host) {
    const int colon = Find(host, ":");
    return colon == kNotFound ? host : Left(host, colon - 1);
}

}  // namespace

Text UrlHost(std::string_view url, bool keepPort) {
    Text host = SplitHost(url).host;
    return keepPort ? host : WithoutPort(host);
}

int UrlPort(std::string_view url) {
    const Text host = UrlHost(url, true);
    const int colon = FindLast(host, ":", static_cast<int>(host.size()) + 1);
    if (colon == kNotFound) return LowerAscii(Left(url, 5)) == "https" ? 443 : 80;
    // Leading digits only; a number too large for an int saturates rather than overflowing,
    // and the connection refuses it as a port.
    long long port = 0;
    for (size_t i = static_cast<size_t>(colon); i < host.size(); ++i) {
        if (host[i] < '0' || host[i] > '9') break;
        port = port * 10 + (host[i] - '0');
        if (port > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    }
    return static_cast<int>(port);
}

Text UrlPath(std::string_view url) {
    const HostAndStart split = SplitHost(url);
    const Text host = WithoutPort(split.host);
    // An empty host stands where the search begins.
    const int at = host.empty() ? split.hostStart : Find(url, host, split.hostStart, true);
    if (at == kNotFound) return "/";
    const int slash = Find(url, "/", at);
    if (slash == kNotFound) return "/";
    return Right(url, static_cast<int>(url.size()) - slash + 1);
}

}  // namespace tarvo
