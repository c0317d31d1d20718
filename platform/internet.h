// Stand-in for the platform's Internet API: the ANSI entry points that WebAccess calls,
// carried out with libcurl, speaking HTTP and HTTPS only (redirects included).
//
// Handles form a chain: a root handle (InternetOpenA), a connection under it
// (InternetConnectA) and a request under that (HttpOpenRequestA). A handle can be opened
// only under a live parent; closing a handle closes whatever is still open under it.
// HttpSendRequestA performs the whole exchange, redirects included; InternetReadFile then
// hands out the final response's body in pieces and HttpQueryInfoA its header block.
// Texts are handed over as the code page 936 bytes they are. Failures show only as the
// results the platform gives: a null handle, false, 0 bytes.
//
// What reaches the server: the verb, the path and "HTTP/1.1"; Host; User-Agent carrying
// the root's agent string; the lines of the header text in the order written (a
// User-Agent line among them is not sent again: the agent string stands for it); the
// cookies of the shared store unless INTERNET_FLAG_NO_COOKIES; and the body. libcurl adds
// no Accept, Content-Type, Expect or cache header of its own (there is no cache to bypass,
// so INTERNET_FLAG_RELOAD needs no header). Proxy lists follow the platform's form:
// entries separated by spaces or ";", each "scheme=server[:port]" (http or https) or
// "server[:port]" for both schemes.
//
// The platform's own cookie store is one in-memory store for the whole process, shared by
// every request on every thread; it lives until the process ends.
//
// Any thread may call these; a handle should be used by one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tarvo::platform {

struct InternetHandle;
using HINTERNET = InternetHandle*;

inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;  // taken as direct
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PROXY = 3;

inline constexpr std::uint32_t INTERNET_SERVICE_HTTP = 3;
inline constexpr int INTERNET_DEFAULT_PORT = 0;  // the scheme's own port

inline constexpr std::uint32_t INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr std::uint32_t INTERNET_FLAG_NEED_FILE = 0x10;
inline constexpr std::uint32_t INTERNET_FLAG_NO_COOKIES = 0x80000;
inline constexpr std::uint32_t INTERNET_FLAG_NO_AUTO_REDIRECT = 0x200000;
inline constexpr std::uint32_t INTERNET_FLAG_SECURE = 0x800000;
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x8000;
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x4000;

inline constexpr std::uint32_t INTERNET_OPTION_SECURITY_FLAGS = 31;
inline constexpr std::uint32_t INTERNET_OPTION_END_BROWSER_SESSION = 42;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_REVOCATION = 0x80;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x100;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_WRONG_USAGE = 0x200;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x1000;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x2000;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x4000;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x8000;

inline constexpr std::uint32_t HTTP_QUERY_RAW_HEADERS_CRLF = 22;

// A header length of this value means the header text runs to its terminating zero.
inline constexpr std::uint32_t kHeadersZeroTerminated = 0xFFFFFFFF;

// Opens a root handle. `agent` is cut at a line break, which no header value may hold.
// Fails for an unknown access type, flags other than 0 (only synchronous use is offered)
// and, with INTERNET_OPEN_TYPE_PROXY, a proxy list without a usable http or https entry.
// `proxyBypass` lists host patterns ("*" matches any run, "<local>" any name without a
// dot) that are reached directly.
[[nodiscard]] HINTERNET InternetOpenA(std::string_view agent, std::uint32_t accessType,
                                      std::string_view proxy, std::string_view proxyBypass,
                                      std::uint32_t flags);

// Opens a connection to `serverName` on `port` (INTERNET_DEFAULT_PORT: the scheme's own)
// under a root handle. Nothing is sent yet. Fails for an empty name, a port outside
// 0..65535 or a service other than INTERNET_SERVICE_HTTP. User name and password are not
// supported and must be empty.
[[nodiscard]] HINTERNET InternetConnectA(HINTERNET internet, std::string_view serverName, int port,
                                         std::string_view userName, std::string_view password,
                                         std::uint32_t service, std::uint32_t flags,
                                         std::uintptr_t context);

// Opens a request under a connection. `objectName` is the path with its query; it must
// begin with "/" and hold no control character (empty means "/"). Only "HTTP/1.1" (or an
// empty version) is spoken. Referrer and accept types are not supported and must be empty.
[[nodiscard]] HINTERNET HttpOpenRequestA(HINTERNET connect, std::string_view verb,
                                         std::string_view objectName, std::string_view version,
                                         std::string_view referrer, const char* const* acceptTypes,
                                         std::uint32_t flags, std::uintptr_t context);

// Sets an option on a handle. Two are known: INTERNET_OPTION_SECURITY_FLAGS on a request,
// as a 4-byte value, whose SECURITY_FLAG_IGNORE_* bits switch the certificate checks off
// and allow redirects between http and https; and INTERNET_OPTION_END_BROWSER_SESSION with
// a null handle, which empties the process's cookie store (it holds session cookies only).
bool InternetSetOptionA(HINTERNET internet, std::uint32_t option, const void* buffer,
                        std::uint32_t bufferLength);

// Sends the request with the header text (lines separated by CRLF) and body, and receives
// the response, following redirects unless the request was opened with
// INTERNET_FLAG_NO_AUTO_REDIRECT. False when no final response arrived whole.
bool HttpSendRequestA(HINTERNET request, const char* headers, std::uint32_t headersLength,
                      const void* optional, std::uint32_t optionalLength);

// Copies up to `numberOfBytesToRead` further bytes of the body into `buffer` and stores
// their number in `numberOfBytesRead`; 0 at the end. After a transfer that broke off,
// the bytes that arrived are handed out and the read at the end returns false.
bool InternetReadFile(HINTERNET file, void* buffer, std::uint32_t numberOfBytesToRead,
                      std::uint32_t* numberOfBytesRead);

// With HTTP_QUERY_RAW_HEADERS_CRLF: the final response's status line and header lines,
// each ending in CRLF, then an empty line, written with a terminating zero into `buffer`
// of `*bufferLength` bytes; `*bufferLength` becomes the count without the terminator.
// When the block and its terminator do not fit, nothing is written, `*bufferLength`
// becomes the size needed and the call returns false. False too when no response arrived.
// `index` is not supported and must be null.
bool HttpQueryInfoA(HINTERNET request, std::uint32_t infoLevel, void* buffer,
                    std::uint32_t* bufferLength, std::uint32_t* index);

// Closes a handle and whatever is still open under it. False for a handle not open.
bool InternetCloseHandle(HINTERNET internet);

// The time-outs of an exchange. The platform's own apply, since callers set none: a
// desktop user waits half a minute for a server to answer the connection, a minute of
// silence within an answer, and a quarter of an hour for one exchange in all, redirects
// included, before the request is given up.
struct InternetTimeouts {
    std::chrono::milliseconds connect{30'000};
    std::chrono::milliseconds stall{60'000};  // checked about once a second
    std::chrono::milliseconds total{15 * 60'000};
};

// Test hook: the time-outs that sends on the calling thread use from now on.
void SetInternetTimeoutsForThisThread(const InternetTimeouts& timeouts);

// Test hook: what happened to handles on the calling thread, in order.
enum class InternetHandleKind { root, connection, request };
struct InternetHandleEvent {
    InternetHandleKind kind;
    bool opened;  // false: closed
    bool operator==(const InternetHandleEvent&) const = default;
};
// The calling thread's events since the last call; the log starts empty again.
[[nodiscard]] std::vector<InternetHandleEvent> TakeInternetHandleEvents();

}  // namespace tarvo::platform
