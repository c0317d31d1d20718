#include "web/web_access_object.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

#include "platform/com.h"
#include "text/markers.h"
#include "text/primitives.h"
#include "web/base64.h"
#include "web/header_text.h"

namespace tarvo {
namespace {

constexpr std::array<std::string_view, 8> kMethods = {"GET",     "POST",   "HEAD",  "PUT",
                                                      "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr int kPostMethod = 1;
constexpr int kDefaultTimeoutMs = 15000;
constexpr int kKeepObjectTimeouts = -1;
constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kUserAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Balances this call's CoInitialize on every path out.
class ComScope {
  public:
    ComScope() { static_cast<void>(platform::CoInitialize(nullptr)); }
    ~ComScope() { platform::CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

// `text` with every occurrence of `needle` (ASCII case ignored) taken out.
Text RemoveAll(std::string_view text, std::string_view needle) {
    Text out;
    int from = 1;
    for (int at; (at = Find(text, needle, from, true)) != kNotFound;) {
        out.append(text.substr(static_cast<size_t>(from) - 1, static_cast<size_t>(at - from)));
        from = at + static_cast<int>(needle.size());
    }
    if (static_cast<size_t>(from) <= text.size())
        out.append(text.substr(static_cast<size_t>(from) - 1));
    return out;
}

bool Contains(std::string_view text, std::string_view needle) {
    return Find(text, needle, 1, true) != kNotFound;
}

int TimeoutMs(int timeoutSeconds) {
    if (timeoutSeconds < 1) return kDefaultTimeoutMs;
    // Beyond what the object's milliseconds can hold, the longest time-out it takes.
    return static_cast<int>(std::min<std::int64_t>(std::int64_t{timeoutSeconds} * 1000, INT_MAX));
}

Text CompletedHeaders(Text text, std::string_view url, bool post) {
    if (!Contains(text, "Accept:")) text += "\r\nAccept: */*";
    if (!Contains(text, "Referer:")) text.append("\r\nReferer: ").append(url);
    if (!Contains(text, "Accept-Language:")) text += "\r\nAccept-Language: zh-cn";
    if (!Contains(text, "User-Agent:")) text.append("\r\nUser-Agent: ").append(kUserAgent);
    if (post && !Contains(text, "Content-Type:")) {
        text += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
    return text;
}

void SendHeaderLines(platform::RequestObject& request, std::string_view text) {
    if (Find(text, kCrLf) == kNotFound) {
        static_cast<void>(request.SetRequestHeader(HeaderName(text), HeaderValue(text)));
        return;
    }
    for (const Text& line : SplitItems(text, kCrLf)) {
        if (line.empty()) continue;
        const Text name = HeaderName(line);
        const Text value = HeaderValue(line);
        if (name == "Connection" && value == "keep-alive") continue;
        static_cast<void>(request.SetRequestHeader(name, value));
    }
}

// The 'name=value' parts of the response's Set-Cookie lines (name compared with case),
// joined with "; ".
Text CollectSetCookies(std::string_view headerText) {
    Text cookies;
    for (const Text& line : SplitItems(headerText, kCrLf)) {
        if (TextLeftOf(line, ": ") != "Set-Cookie") continue;
        cookies += Find(line, ";") != kNotFound ? Trim(TextBetween(line, "Set-Cookie:", ";"))
                                                : Trim(RemoveAll(line, "Set-Cookie:"));
        cookies += "; ";
    }
    if (cookies.size() >= 2) cookies.resize(cookies.size() - 2);
    return cookies;
}

}  // namespace

Bytes WebAccessObject(std::string_view url, const WebAccessObjectOptions& options) {
    const bool autoMergeCookies = options.autoMergeCookies.value_or(true);
    const bool completeHeaders = options.completeHeaders.value_or(true);
    const bool normalizeHeaders = options.normalizeHeaders.value_or(true);
    const int credentialsFor = options.credentialsFor.value_or(platform::kCredentialsForProxy);
    const int timeoutSeconds = options.timeoutSeconds.value_or(0);
    const Text proxy = options.proxy.value_or(Text{});
    const Text proxyUser = options.proxyUser.value_or(Text{});
    const Text proxyPassword = options.proxyPassword.value_or(Text{});

    ComScope com;
    int method = options.method.value_or(0);
    if (method < 0 || method >= static_cast<int>(kMethods.size())) method = 0;
    const std::string_view methodName = kMethods[static_cast<size_t>(method)];

    std::unique_ptr<platform::RequestObject> created;
    platform::RequestObject* request = options.requestObject;
    if (!request) {
        created = platform::CreateRequestObject(platform::kWinHttpRequestProgId);
        request = created.get();
    }
    if (!request) return {};

    // Every call below may fail; the request goes on, and what fails reads as empty.
    if (timeoutSeconds != kKeepObjectTimeouts) {
        const int ms = TimeoutMs(timeoutSeconds);
        static_cast<void>(request->SetTimeouts(ms, ms, ms, ms));
    }
    if (!proxy.empty()) static_cast<void>(request->SetProxy(platform::kProxySettingProxy, proxy));
    static_cast<void>(request->Open(methodName, url, false));
    if (options.noRedirect.value_or(false)) {
        static_cast<void>(request->SetOption(platform::kOptionEnableRedirects, 0));
    }
    static_cast<void>(
        request->SetOption(platform::kOptionSslErrorIgnoreFlags, platform::kSslErrorIgnoreAll));

    Text headers = options.headers.value_or(Text{});
    if (completeHeaders) headers = CompletedHeaders(std::move(headers), url, method == kPostMethod);
    if (normalizeHeaders) headers = NormalizeHeaderNames(headers);

    if (!proxy.empty() && !proxyUser.empty()) {
        static_cast<void>(request->SetCredentials(proxyUser, proxyPassword, credentialsFor));
        if (credentialsFor == platform::kCredentialsForProxy) {
            static_cast<void>(request->SetRequestHeader(
                "Proxy-Authorization",
                "Basic " + Base64Encode(BytesFromText(proxyUser + ":" + proxyPassword))));
        }
    }
    if (options.cookies) {
        Text& cookies = *options.cookies;
        if (!cookies.empty() && Contains(cookies, "Cookie:"))
            cookies = RemoveAll(cookies, "Cookie:");
        static_cast<void>(request->SetRequestHeader("Cookie", cookies));
    }
    SendHeaderLines(*request, headers);

    if (options.byteBody && !options.byteBody->empty()) {
        static_cast<void>(request->Send(*options.byteBody));
    } else {
        static_cast<void>(request->Send(options.textBody.value_or(Text{})));
    }

    Bytes body = request->ResponseBody();
    const Text responseHeaders = request->GetAllResponseHeaders();
    if (options.returnedHeaders) *options.returnedHeaders = responseHeaders;
    if (options.status) *options.status = request->Status();

    Text returnedCookies = CollectSetCookies(responseHeaders);
    if (autoMergeCookies && options.cookies) {
        returnedCookies = MergeCookies(*options.cookies, returnedCookies);
    }
    if (options.returnedCookies) *options.returnedCookies = returnedCookies;
    return body;
}

}  // namespace tarvo
