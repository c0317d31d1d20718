#include "platform/request_object.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/curl_support.h"

namespace tarvo::platform {
namespace {

constexpr long kMaxRedirects = 10;
constexpr const char* kAllowedProtocols = "http,https";
// Headers libcurl would add of its own accord; each is suppressed unless the caller set it.
constexpr std::string_view kSuppressedHeaders[] = {"Accept", "Expect", "Content-Type",
                                                   "Proxy-Connection"};

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

long ClampToLong(std::int64_t value) {
    return static_cast<long>(std::min<std::int64_t>(value, LONG_MAX));
}

struct Credentials {
    std::string user;
    std::string password;
};

struct Response {
    Bytes body;
    std::vector<std::string> headerLines;
    int status = 0;
};

using Clock = std::chrono::steady_clock;

// What one exchange collects, and the watch on its stalls: the time since a byte last
// moved, counted from the moment the connection is ready.
struct Transfer {
    Response response;
    std::chrono::milliseconds stallLimit{0};  // 0: no limit
    bool connected = false;
    curl_off_t uploaded = 0;
    Clock::time_point lastMove = Clock::now();

    void Moved() { lastMove = Clock::now(); }
};

size_t CollectBody(char* data, size_t size, size_t count, void* userdata) {
    auto* transfer = static_cast<Transfer*>(userdata);
    transfer->Moved();
    transfer->response.body.insert(transfer->response.body.end(), data, data + size * count);
    return size * count;
}

// Keeps the header lines of the latest response only: a status line starts a new one,
// so interim and redirect responses leave nothing behind.
size_t CollectHeader(char* data, size_t size, size_t count, void* userdata) {
    auto* transfer = static_cast<Transfer*>(userdata);
    transfer->Moved();
    auto& lines = transfer->response.headerLines;
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/") {
        lines.clear();
    } else if (!line.empty()) {
        lines.emplace_back(line);
    }
    return size * count;
}

// Called once the connection (TLS included) is ready for a request, new or reused.
int ConnectionReady(void* userdata, char*, char*, int, int) {
    auto* transfer = static_cast<Transfer*>(userdata);
    transfer->connected = true;
    transfer->Moved();
    return CURL_PREREQFUNC_OK;
}

// libcurl's own low-speed check averages over several seconds, so a burst followed by a
// stall would run well past the limit; this one ends the exchange once no byte has moved
// for the limit.
int WatchStall(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploadedNow) {
    auto* transfer = static_cast<Transfer*>(userdata);
    if (uploadedNow != transfer->uploaded) {
        transfer->uploaded = uploadedNow;
        transfer->Moved();
    }
    if (!transfer->connected || transfer->stallLimit.count() == 0) return 0;
    return Clock::now() - transfer->lastMove > transfer->stallLimit ? 1 : 0;
}

}  // namespace

struct RequestObject::State {
    CurlEasy easy;
    RequestTimeouts timeouts;
    std::optional<std::string> proxy;
    bool redirects = true;
    int sslIgnoreFlags = 0;

    bool open = false;
    std::string method;
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<Credentials> serverCredentials;
    std::optional<Credentials> proxyCredentials;

    Response response;
};

RequestObject::RequestObject(std::unique_ptr<State> state) : state_(std::move(state)) {}

RequestObject::~RequestObject() = default;

std::unique_ptr<RequestObject> CreateRequestObject(std::string_view progId) {
    if (progId != kWinHttpRequestProgId) return nullptr;
    auto state = std::make_unique<RequestObject::State>();
    state->easy = MakeEasyHandle();
    if (!state->easy) return nullptr;
    return std::unique_ptr<RequestObject>(new RequestObject(std::move(state)));
}

bool RequestObject::SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) {
    if (resolveMs < 0 || connectMs < 0 || sendMs < 0 || receiveMs < 0) return false;
    state_->timeouts = {resolveMs, connectMs, sendMs, receiveMs};
    return true;
}

RequestTimeouts RequestObject::Timeouts() const {
    return state_->timeouts;
}

bool RequestObject::SetProxy(int setting, std::string_view server) {
    if (setting == kProxySettingDefault || setting == kProxySettingDirect) {
        state_->proxy.reset();
        return true;
    }
    if (setting != kProxySettingProxy || server.empty()) return false;
    state_->proxy = std::string(server);
    return true;
}

bool RequestObject::Open(std::string_view method, std::string_view url, bool async) {
    if (method.empty() || async) return false;
    CurlUrl parsed(curl_url());
    if (!parsed) return false;
    const std::string urlText(url);
    if (curl_url_set(parsed.get(), CURLUPART_URL, urlText.c_str(), 0) != CURLUE_OK) return false;
    char* scheme = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
    const bool web = std::string_view(scheme) == "http" || std::string_view(scheme) == "https";
    curl_free(scheme);
    if (!web) return false;

    state_->open = true;
    state_->method = std::string(method);
    state_->url = urlText;
    state_->headers.clear();
    state_->serverCredentials.reset();
    state_->proxyCredentials.reset();
    state_->response = {};
    return true;
}

bool RequestObject::SetOption(int index, int value) {
    switch (index) {
        case kOptionEnableRedirects:
            state_->redirects = value != 0;
            return true;
        case kOptionSslErrorIgnoreFlags:
            state_->sslIgnoreFlags = value;
            return true;
        default:
            return false;
    }
}

int RequestObject::Option(int index) const {
    switch (index) {
        case kOptionEnableRedirects:
            return state_->redirects ? 1 : 0;
        case kOptionSslErrorIgnoreFlags:
            return state_->sslIgnoreFlags;
        default:
            return 0;
    }
}

bool RequestObject::SetCredentials(std::string_view user, std::string_view password, int target) {
    if (!state_->open) return false;
    Credentials credentials{std::string(user), std::string(password)};
    if (target == kCredentialsForServer) {
        state_->serverCredentials = std::move(credentials);
    } else if (target == kCredentialsForProxy) {
        state_->proxyCredentials = std::move(credentials);
    } else {
        return false;
    }
    return true;
}

bool RequestObject::SetRequestHeader(std::string_view name, std::string_view value) {
    if (!state_->open || name.empty() || HasLineBreak(name) || HasLineBreak(value) ||
        name.find(':') != std::string_view::npos) {
        return false;
    }
    auto& headers = state_->headers;
    const auto same = std::find_if(headers.begin(), headers.end(), [&](const auto& header) {
        return SameName(header.first, name);
    });
    if (same != headers.end()) {
        same->second = std::string(value);
    } else {
        headers.emplace_back(std::string(name), std::string(value));
    }
    return true;
}

bool RequestObject::Send(std::string_view textBody) {
    return Perform(textBody.data(), textBody.size());
}

bool RequestObject::Send(const Bytes& byteBody) {
    return Perform(reinterpret_cast<const char*>(byteBody.data()), byteBody.size());
}

bool RequestObject::Perform(const char* body, size_t size) {
    State& s = *state_;
    if (!s.open) return false;
    s.response = {};
    CURL* easy = s.easy.get();
    // A reset returns every option to libcurl's default but keeps live connections, so a
    // reused object still gets keep-alive.
    curl_easy_reset(easy);

    CurlSlist headerList;
    for (const auto& [name, value] : s.headers) {
        // libcurl reads "Name:" with nothing after it as "leave this header out" and
        // "Name;" as "send it empty".
        const std::string line = IsBlank(value) ? name + ";" : name + ": " + value;
        if (!AppendLine(headerList, line.c_str())) return false;
    }
    for (const std::string_view suppressed : kSuppressedHeaders) {
        const bool set = std::any_of(s.headers.begin(), s.headers.end(), [&](const auto& header) {
            return SameName(header.first, suppressed);
        });
        if (!set && !AppendLine(headerList, (std::string(suppressed) + ":").c_str())) return false;
    }

    Transfer transfer;
    bool configured =
        curl_easy_setopt(easy, CURLOPT_URL, s.url.c_str()) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kAllowedProtocols) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1) == CURLE_OK &&
        // An empty proxy also keeps libcurl from taking one from the environment.
        curl_easy_setopt(easy, CURLOPT_PROXY, s.proxy ? s.proxy->c_str() : "") == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, s.redirects ? 1L : 0L) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList.get()) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, CollectBody) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, CollectHeader) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, ConnectionReady) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, WatchStall) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;

    constexpr int kAuthorityFlags =
        kSslErrorIgnoreUnknownCa | kSslErrorIgnoreWrongUsage | kSslErrorIgnoreCertDateInvalid;
    const bool verifyPeer = (s.sslIgnoreFlags & kAuthorityFlags) != kAuthorityFlags;
    const bool verifyHost = (s.sslIgnoreFlags & kSslErrorIgnoreCertCnInvalid) == 0;
    configured = configured &&
                 curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, verifyPeer ? 1L : 0L) == CURLE_OK &&
                 curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, verifyHost ? 2L : 0L) == CURLE_OK;

    const RequestTimeouts& t = s.timeouts;
    const std::int64_t connectMs = std::int64_t{t.resolveMs} + t.connectMs;
    const std::int64_t stallMs = std::max(t.sendMs, t.receiveMs);
    configured = configured && curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                                                ClampToLong(connectMs)) == CURLE_OK;
    transfer.stallLimit = std::chrono::milliseconds(stallMs);

    const bool head = s.method == "HEAD";
    const bool post = s.method == "POST";
    const bool carriesBody = !head && (size > 0 || post || s.method == "PUT");
    if (head) {
        configured = configured && curl_easy_setopt(easy, CURLOPT_NOBODY, 1L) == CURLE_OK;
    } else if (carriesBody) {
        configured = configured &&
                     curl_easy_setopt(easy, CURLOPT_POSTFIELDS, size ? body : "") == CURLE_OK &&
                     curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                                      static_cast<curl_off_t>(size)) == CURLE_OK;
    }
    // GET, HEAD and POST are libcurl's own, which lets it turn a POST into a GET on a
    // 301, 302 or 303 redirect as browsers do; a GET with a body needs its name spelt out.
    const bool ownMethod = s.method == "GET" ? !carriesBody : head || post;
    if (!ownMethod) {
        configured = configured &&
                     curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, s.method.c_str()) == CURLE_OK;
    }

    if (s.serverCredentials) {
        configured = configured &&
                     curl_easy_setopt(easy, CURLOPT_USERNAME, s.serverCredentials->user.c_str()) ==
                         CURLE_OK &&
                     curl_easy_setopt(easy, CURLOPT_PASSWORD,
                                      s.serverCredentials->password.c_str()) == CURLE_OK &&
                     curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_ANY) == CURLE_OK;
    }
    if (s.proxyCredentials) {
        configured = configured &&
                     curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME,
                                      s.proxyCredentials->user.c_str()) == CURLE_OK &&
                     curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD,
                                      s.proxyCredentials->password.c_str()) == CURLE_OK &&
                     curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_ANY) == CURLE_OK;
    }

    const bool ok = configured && curl_easy_perform(easy) == CURLE_OK;
    long status = 0;
    const bool haveStatus =
        ok && curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK;
    // Nothing that points at this call's locals may outlive it.
    curl_easy_reset(easy);
    // Every failure of the exchange reads afterwards as no response at all.
    if (!haveStatus) return false;
    transfer.response.status = static_cast<int>(status);
    s.response = std::move(transfer.response);
    return true;
}

Bytes RequestObject::ResponseBody() const {
    return state_->response.body;
}

Text RequestObject::GetAllResponseHeaders() const {
    Text text;
    for (const auto& line : state_->response.headerLines) text.append(line).append("\r\n");
    return text;
}

int RequestObject::Status() const {
    return state_->response.status;
}

}  // namespace tarvo::platform
