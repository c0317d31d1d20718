#include "web/web_access.h"

#include <array>
#include <cstdint>

#include "platform/internet.h"
#include "text/markers.h"
#include "text/primitives.h"
#include "web/header_text.h"
#include "web/url.h"

namespace tarvo {
namespace {

namespace pf = platform;

constexpr std::array<std::string_view, 8> kVerbs = {"GET",     "POST",   "HEAD",  "PUT",
                                                    "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr int kPost = 1;
constexpr std::string_view kCrLf = "\r\n";
constexpr std::uint32_t kReadChunk = 1024;
constexpr size_t kHeaderBuffer = 5000;
constexpr std::uint32_t kSecurityFlags =
    pf::SECURITY_FLAG_IGNORE_REVOCATION | pf::SECURITY_FLAG_IGNORE_UNKNOWN_CA |
    pf::SECURITY_FLAG_IGNORE_WRONG_USAGE | pf::SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
    pf::SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | pf::SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS |
    pf::SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP | 0x10000;

bool Contains(std::string_view text, std::string_view marker, bool ignoreCase) {
    return Find(text, marker, 1, ignoreCase) != kNotFound;
}

// Whether `marker` stands at byte `i` of `text`, ASCII letters folded.
bool MarkerAt(std::string_view text, size_t i, std::string_view marker) {
    return Find(text.substr(i, marker.size()), marker, 1, true) == 1;
}

// The line with every `marker` taken out, ASCII letters folded, matching at character
// starts only.
Text Without(std::string_view line, std::string_view marker) {
    Text rest;
    for (size_t i = 0; i < line.size();) {
        if (MarkerAt(line, i, marker)) {
            i += marker.size();
        } else {
            const size_t n = CharLength(line, i);
            rest.append(line.substr(i, n));
            i += n;
        }
    }
    return rest;
}

Text AgentString(const Text& headerText) {
    if (!Contains(headerText, "User-Agent:", true)) return Text(kDefaultAgent);
    Text agent = Trim(TextBetween(headerText + Text(kCrLf), "User-Agent:", kCrLf));
    if (agent.empty()) agent = HeaderValue(headerText);
    return agent;
}

void CompleteHeaders(Text& headerText, std::string_view url, int method) {
    if (headerText.empty()) headerText = "Accept: */*";
    if (!Contains(headerText, "Accept:", true)) headerText += "\r\nAccept: */*";
    if (!Contains(headerText, "Referer:", true)) headerText += "\r\nReferer: " + Text(url);
    if (!Contains(headerText, "Accept-Language:", true)) headerText += "\r\nAccept-Language: zh-cn";
    if (method == kPost && !Contains(headerText, "Content-Type:", true)) {
        headerText += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
}

Text CookiesSet(const Text& headers) {
    Text cookies;
    for (const Text& line : SplitItems(headers, kCrLf)) {
        if (TextLeftOf(line, ": ") != "Set-Cookie") continue;
        if (Contains(line, ";", false)) {
            cookies += Trim(TextBetween(line, "Set-Cookie:", ";"));
        } else {
            cookies += Trim(Without(line, "Set-Cookie:"));
        }
        cookies += "; ";
    }
    return Left(cookies, static_cast<int>(cookies.size()) - 2);
}

}  // namespace

Bytes WebAccess(std::string_view url, const WebAccessOptions& options) {
    Text headerText = options.headers.value_or(Text());
    if (options.normalizeHeaders.value_or(true)) headerText = NormalizeHeaderNames(headerText);

    int method = options.method.value_or(0);
    if (method < 0 || method >= static_cast<int>(kVerbs.size())) method = 0;
    const std::string_view verb = kVerbs[static_cast<size_t>(method)];
    const bool secure = MarkerAt(url, 0, "https://");
    const Text agent = AgentString(headerText);

    const Text proxy = options.proxy.value_or(Text());
    pf::HINTERNET root;
    if (proxy.empty()) {
        root = pf::InternetOpenA(agent, pf::INTERNET_OPEN_TYPE_DIRECT, "", "", 0);
    } else {
        root = pf::InternetOpenA(agent, pf::INTERNET_OPEN_TYPE_PROXY,
                                 secure ? proxy : "http=" + proxy, "", 0);
    }
    if (!root) return {};

    pf::HINTERNET connection = pf::InternetConnectA(root, UrlHost(url, false), UrlPort(url), "", "",
                                                    pf::INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection) {
        pf::InternetCloseHandle(root);
        return {};
    }

    std::uint32_t flags = pf::INTERNET_FLAG_RELOAD | pf::INTERNET_FLAG_NEED_FILE;
    if (options.cookies) flags |= pf::INTERNET_FLAG_NO_COOKIES;
    if (options.noRedirect.value_or(false)) flags |= pf::INTERNET_FLAG_NO_AUTO_REDIRECT;
    flags |= secure ? pf::INTERNET_FLAG_SECURE : pf::INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

    pf::HINTERNET request =
        pf::HttpOpenRequestA(connection, verb, UrlPath(url), "HTTP/1.1", "", nullptr, flags, 0);
    if (!request) {
        pf::InternetCloseHandle(connection);
        pf::InternetCloseHandle(root);
        return {};
    }

    const std::uint32_t securityFlags = kSecurityFlags;
    (void)pf::InternetSetOptionA(request, pf::INTERNET_OPTION_SECURITY_FLAGS, &securityFlags,
                                 sizeof securityFlags);

    if (options.completeHeaders.value_or(true)) CompleteHeaders(headerText, url, method);
    if (options.cookies && !options.cookies->empty()) {
        const Text& cookies = *options.cookies;
        headerText +=
            Contains(cookies, "Cookie:", false) ? "\r\n" + cookies : "\r\nCookie: " + cookies;
    }

    Bytes textBodyBytes;
    const Bytes* body = nullptr;
    if (method != 0) {
        if (options.byteBody) {
            if (options.byteBody->empty())
                *options.byteBody = BytesFromText(options.textBody.value_or(Text()));
            body = options.byteBody;
        } else {
            // Without a caller's byteBody, the text body stands in its place.
            textBodyBytes = BytesFromText(options.textBody.value_or(Text()));
            body = &textBodyBytes;
        }
    }
    (void)pf::HttpSendRequestA(request, headerText.data(),
                               static_cast<std::uint32_t>(headerText.size()),
                               body && !body->empty() ? body->data() : nullptr,
                               body ? static_cast<std::uint32_t>(body->size()) : 0);

    Bytes result;
    std::array<std::uint8_t, kReadChunk> buffer;
    for (;;) {
        std::uint32_t read = 0;
        (void)pf::InternetReadFile(request, buffer.data(), kReadChunk, &read);
        if (read == 0) break;
        result.insert(result.end(), buffer.begin(), buffer.begin() + read);
    }

    Text headers(kHeaderBuffer, ' ');
    std::uint32_t length = kHeaderBuffer;
    (void)pf::HttpQueryInfoA(request, pf::HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &length,
                             nullptr);
    if (const size_t end = headers.find('\0'); end != Text::npos) headers.resize(end);

    pf::InternetCloseHandle(request);
    pf::InternetCloseHandle(connection);
    pf::InternetCloseHandle(root);

    Text returnedCookies = CookiesSet(headers);
    if (options.autoMergeCookies.value_or(true) && options.cookies) {
        returnedCookies = MergeCookies(*options.cookies, returnedCookies);
    }
    if (options.returnedHeaders) *options.returnedHeaders = std::move(headers);
    if (options.returnedCookies) *options.returnedCookies = std::move(returnedCookies);
    return result;
}

}  // namespace tarvo
