// Stand-in for the platform's COM HTTP request object "WinHttp.WinHttpRequest.5.1".
//
// The object is made by programmatic identifier and then driven call by call, as the
// platform's late-bound object is: SetTimeouts, SetProxy, Open, Option, SetCredentials,
// SetRequestHeader, Send, and the reads ResponseBody, GetAllResponseHeaders and Status.
// Every call may fail; a failed call reports false (or an empty value, or 0) and changes
// nothing else, so a caller may ignore it and go on. Settings made with SetTimeouts,
// SetProxy and Option stay with the object from request to request; Open starts a new
// request and forgets the previous one's headers, credentials and response.
//
// It speaks HTTP/1.1 over HTTP and HTTPS only; any other scheme, also as a redirect
// target, fails like an unreachable host. Each header the caller sets reaches the server
// once, in the order it was first set, exactly as "Name: value"; nothing is added of the
// object's own beyond Host and the body's Content-Length. Texts are code page 936 bytes
// and pass through unchanged.
//
// One object is used by one thread at a time; different objects may be used at once.
#pragma once

#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "text/text.h"

namespace tarvo::platform {

inline constexpr std::string_view kWinHttpRequestProgId = "WinHttp.WinHttpRequest.5.1";

// "SetProxy" settings.
inline constexpr int kProxySettingDefault = 0;
inline constexpr int kProxySettingDirect = 1;
inline constexpr int kProxySettingProxy = 2;

// "Option" indexes and the certificate-error flags of option 4.
inline constexpr int kOptionSslErrorIgnoreFlags = 4;
inline constexpr int kOptionEnableRedirects = 6;
inline constexpr int kSslErrorIgnoreUnknownCa = 0x0100;
inline constexpr int kSslErrorIgnoreWrongUsage = 0x0200;
inline constexpr int kSslErrorIgnoreCertCnInvalid = 0x1000;
inline constexpr int kSslErrorIgnoreCertDateInvalid = 0x2000;
inline constexpr int kSslErrorIgnoreAll = 0x3300;

// "SetCredentials" targets.
inline constexpr int kCredentialsForServer = 0;
inline constexpr int kCredentialsForProxy = 1;

// Milliseconds of the four phases; 0 sets no limit of the phase's own.
struct RequestTimeouts {
    int resolveMs = 0;
    int connectMs = 60000;
    int sendMs = 30000;
    int receiveMs = 30000;
};

class RequestObject {
  public:
    ~RequestObject();
    RequestObject(const RequestObject&) = delete;
    RequestObject& operator=(const RequestObject&) = delete;

    // Resolve and connect together bound the time until the socket is connected (TLS
    // handshake included); send and receive bound a stall, a stretch with no byte moving
    // (the longer of the two, in whole seconds rounded up), not a slow transfer that
    // keeps moving. False for a negative value.
    bool SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);
    [[nodiscard]] RequestTimeouts Timeouts() const;

    // kProxySettingProxy: later requests go through `server` ("host:port"), an HTTP proxy.
    // kProxySettingDefault or kProxySettingDirect: later requests go direct.
    bool SetProxy(int setting, std::string_view server = {});

    // Prepares a request. False for an empty method, a URL that is not http or https, or
    // `async` true (only synchronous requests are offered).
    bool Open(std::string_view method, std::string_view url, bool async = false);

    // The "Option" property. Index 6: redirects are followed unless the value is 0 (they
    // are by default). Index 4: the certificate-error flags; a certificate of an unknown
    // authority, wrong usage or invalid date is accepted only with all three flags, a
    // name that does not match only with kSslErrorIgnoreCertCnInvalid. Other indexes fail.
    bool SetOption(int index, int value);
    [[nodiscard]] int Option(int index) const;

    // Credentials for the server (0) or the proxy (1), given when it asks for them. Needs
    // an open request.
    bool SetCredentials(std::string_view user, std::string_view password, int target);

    // Sets a request header; setting a name again (case ignored) replaces its value in
    // place. Needs an open request; fails for an empty name or a name or value that holds
    // CR, LF or (in the name) a colon.
    bool SetRequestHeader(std::string_view name, std::string_view value);

    // Performs the open request with this body and returns once the response is in.
    // False when no request is open or the exchange fails (unreachable or refused host,
    // time-out, reset, certificate refused, scheme not allowed); the response then reads
    // as empty with status 0.
    bool Send(std::string_view textBody = {});
    bool Send(const Bytes& byteBody);

    // The last response's body; empty before a response.
    [[nodiscard]] Bytes ResponseBody() const;
    // The last response's header lines without its status line, each followed by CRLF.
    [[nodiscard]] Text GetAllResponseHeaders() const;
    // The last response's status code; 0 before a response.
    [[nodiscard]] int Status() const;

  private:
    friend std::unique_ptr<RequestObject> CreateRequestObject(std::string_view progId);
    struct State;
    explicit RequestObject(std::unique_ptr<State> state);
    bool Perform(const char* body, size_t size);

    std::unique_ptr<State> state_;
};

// Creates the object named by `progId`; empty for any identifier but
// kWinHttpRequestProgId, or when the object cannot be made.
[[nodiscard]] std::unique_ptr<RequestObject> CreateRequestObject(std::string_view progId);

}  // namespace tarvo::platform
