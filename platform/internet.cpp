#include "platform/internet.h"

#include "platform/curl_support.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace tarvo::platform {

namespace {

constexpr long kMaxRedirects = 10;
constexpr std::string_view kHttp = "http";
constexpr std::string_view kHttps = "https";

// ---- libcurl resources ----

struct ShareDeleter {
    void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};

// The platform's own cookie store: one share for the process, locked per kind of data.
// First used once an easy handle exists, so after the library's initialisation.
class CookieStore {
  public:
    CookieStore() : share_(curl_share_init()) {
        if (!share_) return;
        curl_share_setopt(share_.get(), CURLSHOPT_LOCKFUNC, &CookieStore::Lock);
        curl_share_setopt(share_.get(), CURLSHOPT_UNLOCKFUNC, &CookieStore::Unlock);
        curl_share_setopt(share_.get(), CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    [[nodiscard]] CURLSH* get() const { return share_.get(); }

  private:
    static std::mutex& MutexFor(void* self, curl_lock_data data) {
        auto& locks = static_cast<CookieStore*>(self)->locks_;
        const auto i = static_cast<size_t>(data);
        return locks[i < locks.size() ? i : 0];
    }
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        MutexFor(self, data).lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* self) { MutexFor(self, data).unlock(); }

    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
    std::unique_ptr<CURLSH, ShareDeleter> share_;
};

CookieStore& SharedCookies() {
    static CookieStore store;
    return store;
}

// ---- small text helpers ----

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

// A name that can stand as the host of a URL without changing its meaning.
bool IsHostName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), IsHostChar);
}

bool HasControlChar(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// Splits at any of `separators`, dropping empty pieces.
std::vector<std::string_view> Pieces(std::string_view s, std::string_view separators) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i <= s.size()) {
        const size_t j = std::min(s.find_first_of(separators, i), s.size());
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

// "*" matches any run of characters; letters compare without case.
bool GlobMatch(std::string_view pattern, std::string_view text) {
    if (pattern.empty()) return text.empty();
    if (pattern.front() == '*') {
        for (size_t k = 0; k <= text.size(); ++k) {
            if (GlobMatch(pattern.substr(1), text.substr(k))) return true;
        }
        return false;
    }
    return !text.empty() && Lower(pattern.front()) == Lower(text.front()) &&
           GlobMatch(pattern.substr(1), text.substr(1));
}

// ---- proxies ----

struct ProxyServer {
    std::string host;
    int port = 80;
};

struct ProxyList {
    std::optional<ProxyServer> http, https;
};

std::optional<ProxyServer> ParseProxyServer(std::string_view server) {
    if (server.size() > 7 && EqualsNoCase(server.substr(0, 7), "http://")) server.remove_prefix(7);
    if (!server.empty() && server.back() == '/') server.remove_suffix(1);
    ProxyServer out;
    const size_t colon = server.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view digits = server.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        out.port = std::stoi(std::string(digits));
        if (out.port < 1 || out.port > 65535) return std::nullopt;
        server = server.substr(0, colon);
    }
    if (!IsHostName(server)) return std::nullopt;
    out.host = std::string(server);
    return out;
}

// Entries for other schemes (ftp=, socks=) are not offered and left out.
ProxyList ParseProxyList(std::string_view list) {
    ProxyList out;
    for (const std::string_view entry : Pieces(list, " \t;")) {
        const size_t eq = entry.find('=');
        const std::string_view scheme = eq == std::string_view::npos ? "" : entry.substr(0, eq);
        const auto server =
            ParseProxyServer(eq == std::string_view::npos ? entry : entry.substr(eq + 1));
        if (!server) continue;
        if (scheme.empty()) {
            if (!out.http) out.http = server;
            if (!out.https) out.https = server;
        } else if (EqualsNoCase(scheme, kHttp)) {
            out.http = server;
        } else if (EqualsNoCase(scheme, kHttps)) {
            out.https = server;
        }
    }
    return out;
}

// ---- handles ----

struct Response {
    bool sent = false;      // a send was attempted
    bool complete = false;  // the final response arrived whole
    bool hasStatus = false;
    std::vector<std::string> headerLines;  // of the final response, without CRLF
    std::vector<unsigned char> body;
    size_t readOffset = 0;
};

}  // namespace

struct InternetHandle {
    InternetHandleKind kind;
    std::shared_ptr<InternetHandle> parent;

    // root
    std::string agent;
    bool useProxy = false;
    ProxyList proxies;
    std::vector<std::string> bypass;
    // connection
    std::string server;
    int port = 0;
    // request
    std::string verb;
    std::string object;
    std::uint32_t flags = 0;
    std::uint32_t securityFlags = 0;

    std::mutex mutex;  // guards the request's state below and securityFlags
    Response response;
};

namespace {

thread_local InternetTimeouts threadTimeouts;
thread_local std::vector<InternetHandleEvent> threadEvents;

class Registry {
  public:
    HINTERNET Add(std::shared_ptr<InternetHandle> handle) {
        const std::lock_guard lock(mutex_);
        HINTERNET raw = handle.get();
        handles_.emplace(raw, std::move(handle));
        threadEvents.push_back({raw->kind, true});
        return raw;
    }

    std::shared_ptr<InternetHandle> Find(HINTERNET h, InternetHandleKind kind) {
        const std::lock_guard lock(mutex_);
        const auto it = handles_.find(h);
        if (it == handles_.end() || it->second->kind != kind) return nullptr;
        return it->second;
    }

    std::shared_ptr<InternetHandle> FindAny(HINTERNET h) {
        const std::lock_guard lock(mutex_);
        const auto it = handles_.find(h);
        return it == handles_.end() ? nullptr : it->second;
    }

    // Closes `h` and, first, every handle still open under it.
    bool Close(HINTERNET h) {
        const std::lock_guard lock(mutex_);
        if (!handles_.contains(h)) return false;
        CloseLocked(h);
        return true;
    }

  private:
    void CloseLocked(HINTERNET h) {
        std::vector<HINTERNET> children;
        for (const auto& [raw, handle] : handles_) {
            if (handle->parent.get() == h) children.push_back(raw);
        }
        for (HINTERNET child : children) CloseLocked(child);
        const auto it = handles_.find(h);
        threadEvents.push_back({it->second->kind, false});
        handles_.erase(it);
    }

    std::mutex mutex_;
    std::unordered_map<HINTERNET, std::shared_ptr<InternetHandle>> handles_;
};

Registry& Handles() {
    static Registry registry;
    return registry;
}

// ---- one exchange ----

struct Target {
    bool secure;
    std::string host;
    int port;
};

// Spaces and bytes beyond ASCII cannot stand in a request line as they are.
std::string EscapePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (u == ' ' || u >= 0x80) {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string BuildUrl(bool secure, const std::string& host, int port, std::string_view object) {
    if (port == INTERNET_DEFAULT_PORT) port = secure ? 443 : 80;
    return std::string(secure ? kHttps : kHttp) + "://" + host + ":" + std::to_string(port) +
           EscapePath(object);
}

bool Bypassed(const InternetHandle& root, std::string_view host) {
    return std::any_of(root.bypass.begin(), root.bypass.end(), [&](const std::string& pattern) {
        if (pattern == "<local>") return host.find('.') == std::string_view::npos;
        return GlobMatch(pattern, host);
    });
}

// The header lines handed to libcurl: those of the header text in order, then entries
// that keep libcurl from adding headers of its own.
std::optional<CurlSlist> BuildHeaderList(std::string_view text, bool hasBody) {
    CurlSlist list;
    bool ok = true;
    bool accept = false, contentType = false, expect = false;
    const auto append = [&](const std::string& line) { ok = ok && AppendLine(list, line.c_str()); };
    // A bare CR or LF ends a line too: no line may carry a break into the request.
    for (const std::string_view line : Pieces(text, "\r\n")) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view name = TrimBlanks(line.substr(0, colon));
        if (name.empty() || EqualsNoCase(name, "User-Agent")) continue;
        accept = accept || EqualsNoCase(name, "Accept");
        contentType = contentType || EqualsNoCase(name, "Content-Type");
        expect = expect || EqualsNoCase(name, "Expect");
        // libcurl reads "Name:" as "drop the header"; "Name;" sends it with no value.
        if (TrimBlanks(line.substr(colon + 1)).empty()) {
            append(std::string(line.substr(0, colon)) + ";");
        } else {
            append(std::string(line));
        }
    }
    if (!accept) append("Accept:");
    if (hasBody && !contentType) append("Content-Type:");
    if (hasBody && !expect) append("Expect:");
    if (!ok) return std::nullopt;
    return list;
}

struct Exchange {
    // A HEAD answer has no body, but a HEAD that sends a body cannot tell libcurl so; its
    // transfer ends at the final answer's empty line instead.
    bool stopAfterHeaders = false;
    bool stoppedAtHeaders = false;
    std::vector<std::string> headerLines{};
    bool hasStatus = false;
    std::vector<unsigned char> body{};
    // Silence watch: the time of the last byte that moved either way.
    std::chrono::milliseconds stall{0};
    std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();
    curl_off_t lastDown = 0, lastUp = 0;
};

int OnProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
    auto& exchange = *static_cast<Exchange*>(user);
    const auto now = std::chrono::steady_clock::now();
    if (down != exchange.lastDown || up != exchange.lastUp) {
        exchange.lastDown = down;
        exchange.lastUp = up;
        exchange.lastActivity = now;
        return 0;
    }
    return now - exchange.lastActivity > exchange.stall ? 1 : 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& body = static_cast<Exchange*>(user)->body;
    body.insert(body.end(), data, data + size * count);
    return size * count;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& exchange = *static_cast<Exchange*>(user);
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    // Every status line starts a response of its own (1xx interim answers, redirects):
    // the block that counts is the last one.
    if (line.starts_with("HTTP/")) {
        exchange.headerLines.clear();
        exchange.hasStatus = true;
    }
    if (!line.empty()) {
        exchange.headerLines.emplace_back(line);
    } else if (exchange.stopAfterHeaders && !exchange.headerLines.empty() &&
               !exchange.headerLines.front().starts_with("HTTP/1.1 1")) {
        exchange.stoppedAtHeaders = true;
        return 0;
    }
    return size * count;
}

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The one place where libcurl's codes become the platform's result. They all mean the
// same to callers, no whole response, except the end that a HEAD with a body asked for.
bool Succeeded(CURLcode code, const Exchange& exchange) {
    return code == CURLE_OK || (code == CURLE_WRITE_ERROR && exchange.stoppedAtHeaders);
}

bool Perform(InternetHandle& request, const InternetHandle& connection, const InternetHandle& root,
             std::string_view headerText, std::string_view body, Response& response) {
    const InternetTimeouts timeouts = threadTimeouts;
    const auto deadline = std::chrono::steady_clock::now() + timeouts.total;
    const bool secure = (request.flags & INTERNET_FLAG_SECURE) != 0;
    std::uint32_t securityFlags;
    {
        const std::lock_guard lock(request.mutex);
        securityFlags = request.securityFlags;
    }

    std::string verb = request.verb;
    bool hasBody = !body.empty() || (verb != "GET" && verb != "HEAD");
    std::string url = BuildUrl(secure, connection.server, connection.port, request.object);

    Exchange exchange;

    for (long hop = 0;; ++hop) {
        // A fresh handle for every hop: nothing of the previous hop's settings carries over.
        const CurlEasy curl = MakeEasyHandle();
        if (!curl) return false;
        CURL* c = curl.get();
        const std::optional<CurlSlist> headers = BuildHeaderList(headerText, hasBody);
        // libcurl's own Proxy-Connection line is not the platform's; the entry drops it.
        CurlSlist proxyHeaders;
        if (!headers || !AppendLine(proxyHeaders, "Proxy-Connection:")) return false;
        exchange = {.stopAfterHeaders = verb == "HEAD", .stall = timeouts.stall};

        const CurlUrl parsedUrl(curl_url());
        CURLU* parsed = parsedUrl.get();
        char* hostPart = nullptr;
        char* schemePart = nullptr;
        if (!parsed || curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
            curl_url_get(parsed, CURLUPART_HOST, &hostPart, 0) != CURLUE_OK ||
            curl_url_get(parsed, CURLUPART_SCHEME, &schemePart, 0) != CURLUE_OK) {
            curl_free(hostPart);
            curl_free(schemePart);
            return false;
        }
        const std::string host = hostPart;
        const bool hopSecure = EqualsNoCase(schemePart, kHttps);
        curl_free(hostPart);
        curl_free(schemePart);

        std::string proxy;  // empty: direct, and libcurl's proxy variables are not read
        if (root.useProxy && !Bypassed(root, host)) {
            const auto& server = hopSecure ? root.proxies.https : root.proxies.http;
            if (server) proxy = "http://" + server->host + ":" + std::to_string(server->port);
        }

        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;

        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(c, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(c, CURLOPT_PROXY, proxy.c_str());
        curl_easy_setopt(c, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(c, CURLOPT_USERAGENT, root.agent.c_str());
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers->get());
        curl_easy_setopt(c, CURLOPT_PROXYHEADER, proxyHeaders.get());
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &OnProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &exchange);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER,
                         (securityFlags & SECURITY_FLAG_IGNORE_UNKNOWN_CA) ? 0L : 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST,
                         (securityFlags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) ? 0L : 2L);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &exchange);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &OnHeader);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &exchange);
        if ((request.flags & INTERNET_FLAG_NO_COOKIES) == 0 && SharedCookies().get()) {
            curl_easy_setopt(c, CURLOPT_SHARE, SharedCookies().get());
            curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");
        }
        if (!hasBody && verb == "GET") {
            curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
        } else if (!hasBody && verb == "HEAD") {
            curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        } else {
            curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
            curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
            if (verb != "POST") curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, verb.c_str());
        }

        const bool ok = Succeeded(curl_easy_perform(c), exchange);
        response.hasStatus = exchange.hasStatus;
        response.headerLines = std::move(exchange.headerLines);
        response.body = std::move(exchange.body);
        if (!ok) return false;

        long status = 0;
        char* location = nullptr;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location);
        if ((request.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) || !IsRedirect(status) || !location ||
            hop == kMaxRedirects) {
            return true;
        }
        const std::string next = location;
        const bool nextSecure = next.size() > 8 && EqualsNoCase(next.substr(0, 8), "https://");
        const bool nextPlain = next.size() > 7 && EqualsNoCase(next.substr(0, 7), "http://");
        if (!nextSecure && !nextPlain) return true;
        if (nextSecure && !hopSecure && !(request.flags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS) &&
            !(securityFlags & SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS)) {
            return true;
        }
        if (nextPlain && hopSecure && !(request.flags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP) &&
            !(securityFlags & SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP)) {
            return true;
        }
        // As browsers do: 303 asks for a GET, and so do 301 and 302 after a POST; 307 and
        // 308 repeat the request as it was.
        if ((status == 303 && verb != "HEAD") ||
            ((status == 301 || status == 302) && verb == "POST")) {
            verb = "GET";
            body = {};
            hasBody = false;
        }
        url = next;
    }
}

}  // namespace

HINTERNET InternetOpenA(std::string_view agent, std::uint32_t accessType, std::string_view proxy,
                        std::string_view proxyBypass, std::uint32_t flags) {
    if (flags != 0) return nullptr;
    auto root = std::make_shared<InternetHandle>();
    root->kind = InternetHandleKind::root;
    root->agent = std::string(agent.substr(0, std::min(agent.find_first_of("\r\n"), agent.size())));
    if (accessType == INTERNET_OPEN_TYPE_PROXY) {
        root->useProxy = true;
        root->proxies = ParseProxyList(proxy);
        if (!root->proxies.http && !root->proxies.https) return nullptr;
        for (const std::string_view pattern : Pieces(proxyBypass, " \t;")) {
            root->bypass.emplace_back(pattern);
        }
    } else if (accessType != INTERNET_OPEN_TYPE_DIRECT &&
               accessType != INTERNET_OPEN_TYPE_PRECONFIG) {
        return nullptr;
    }
    return Handles().Add(std::move(root));
}

HINTERNET InternetConnectA(HINTERNET internet, std::string_view serverName, int port,
                           std::string_view userName, std::string_view password,
                           std::uint32_t service, std::uint32_t /*flags*/,
                           std::uintptr_t /*context*/) {
    auto root = Handles().Find(internet, InternetHandleKind::root);
    if (!root || serverName.empty() || port < 0 || port > 65535 ||
        service != INTERNET_SERVICE_HTTP || !userName.empty() || !password.empty()) {
        return nullptr;
    }
    auto connection = std::make_shared<InternetHandle>();
    connection->kind = InternetHandleKind::connection;
    connection->parent = std::move(root);
    connection->server = std::string(serverName);
    connection->port = port;
    return Handles().Add(std::move(connection));
}

HINTERNET HttpOpenRequestA(HINTERNET connect, std::string_view verb, std::string_view objectName,
                           std::string_view version, std::string_view referrer,
                           const char* const* acceptTypes, std::uint32_t flags,
                           std::uintptr_t /*context*/) {
    auto connection = Handles().Find(connect, InternetHandleKind::connection);
    if (objectName.empty()) objectName = "/";
    if (!connection || verb.empty() || HasControlChar(verb) || verb.find(' ') != verb.npos ||
        objectName.front() != '/' || HasControlChar(objectName) ||
        !(version.empty() || version == "HTTP/1.1") || !referrer.empty() ||
        (acceptTypes && *acceptTypes)) {
        return nullptr;
    }
    auto request = std::make_shared<InternetHandle>();
    request->kind = InternetHandleKind::request;
    request->parent = std::move(connection);
    request->verb = std::string(verb);
    request->object = std::string(objectName);
    request->flags = flags;
    return Handles().Add(std::move(request));
}

bool InternetSetOptionA(HINTERNET internet, std::uint32_t option, const void* buffer,
                        std::uint32_t bufferLength) {
    if (!internet && option == INTERNET_OPTION_END_BROWSER_SESSION) {
        const CurlEasy curl = MakeEasyHandle();
        if (!curl || !SharedCookies().get()) return false;
        curl_easy_setopt(curl.get(), CURLOPT_SHARE, SharedCookies().get());
        return curl_easy_setopt(curl.get(), CURLOPT_COOKIELIST, "ALL") == CURLE_OK;
    }
    auto request = Handles().Find(internet, InternetHandleKind::request);
    if (!request || option != INTERNET_OPTION_SECURITY_FLAGS || !buffer ||
        bufferLength != sizeof(std::uint32_t)) {
        return false;
    }
    std::uint32_t value;
    std::memcpy(&value, buffer, sizeof value);
    const std::lock_guard lock(request->mutex);
    request->securityFlags = value;
    return true;
}

bool HttpSendRequestA(HINTERNET request, const char* headers, std::uint32_t headersLength,
                      const void* optional, std::uint32_t optionalLength) {
    auto handle = Handles().Find(request, InternetHandleKind::request);
    if (!handle) return false;
    const InternetHandle& connection = *handle->parent;
    const InternetHandle& root = *connection.parent;

    std::string_view headerText;
    if (headers) {
        headerText = headersLength == kHeadersZeroTerminated
                         ? std::string_view(headers)
                         : std::string_view(headers, headersLength);
    }
    const std::string_view body =
        optional ? std::string_view(static_cast<const char*>(optional), optionalLength)
                 : std::string_view();

    Response response;
    response.sent = true;
    // A name that could not be a host fails as its lookup would, before anything is sent.
    if (IsHostName(connection.server)) {
        response.complete = Perform(*handle, connection, root, headerText, body, response);
    }
    const bool complete = response.complete;
    const std::lock_guard lock(handle->mutex);
    handle->response = std::move(response);
    return complete;
}

bool InternetReadFile(HINTERNET file, void* buffer, std::uint32_t numberOfBytesToRead,
                      std::uint32_t* numberOfBytesRead) {
    if (numberOfBytesRead) *numberOfBytesRead = 0;
    auto handle = Handles().Find(file, InternetHandleKind::request);
    if (!handle || !numberOfBytesRead || (!buffer && numberOfBytesToRead > 0)) return false;
    const std::lock_guard lock(handle->mutex);
    Response& response = handle->response;
    if (!response.sent) return false;
    const size_t n =
        std::min<size_t>(numberOfBytesToRead, response.body.size() - response.readOffset);
    if (n > 0) std::memcpy(buffer, response.body.data() + response.readOffset, n);
    response.readOffset += n;
    *numberOfBytesRead = static_cast<std::uint32_t>(n);
    return n > 0 || response.complete;
}

bool HttpQueryInfoA(HINTERNET request, std::uint32_t infoLevel, void* buffer,
                    std::uint32_t* bufferLength, std::uint32_t* index) {
    auto handle = Handles().Find(request, InternetHandleKind::request);
    if (!handle || infoLevel != HTTP_QUERY_RAW_HEADERS_CRLF || !bufferLength || index) return false;
    const std::lock_guard lock(handle->mutex);
    const Response& response = handle->response;
    if (!response.hasStatus) return false;
    std::string block;
    for (const std::string& line : response.headerLines) block += line + "\r\n";
    block += "\r\n";
    if (!buffer || block.size() + 1 > *bufferLength) {
        *bufferLength = static_cast<std::uint32_t>(block.size() + 1);
        return false;
    }
    std::memcpy(buffer, block.c_str(), block.size() + 1);
    *bufferLength = static_cast<std::uint32_t>(block.size());
    return true;
}

bool InternetCloseHandle(HINTERNET internet) {
    return Handles().Close(internet);
}

void SetInternetTimeoutsForThisThread(const InternetTimeouts& timeouts) {
    threadTimeouts = timeouts;
}

std::vector<InternetHandleEvent> TakeInternetHandleEvents() {
    return std::exchange(threadEvents, {});
}

}  // namespace tarvo::platform
