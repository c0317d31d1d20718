// A loopback HTTP and HTTPS server for tests: it records every request exactly as it
// arrived and answers each one as the test scripts it.
//
// The server listens on 127.0.0.1 with an ephemeral port and serves each connection on a
// thread of its own, keep-alive included. Every request is recorded before it is answered:
// method, target, version, the header lines in order exactly as written, and the body
// (Content-Length or chunked). A request whose target is an absolute URL
// ("GET http://host/path HTTP/1.1") is recorded as it is and answered by the same handler,
// so the server also plays an HTTP proxy for http:// targets.
//
// The handler decides each answer: status, reason, header lines exactly as given, body, a
// delay before answering, a body sent slowly in pieces, a stall that sends nothing more,
// or a connection reset after some bytes. It runs on the connection's thread and may be
// called on several threads at once, so it must be thread-safe.
//
// With TLS on, the server presents a self-signed certificate for 127.0.0.1 and localhost,
// made in memory when it starts (EC P-256). The destructor stops the server: delays and
// stalls end at once, every connection is closed and every thread joined.
//
// All members may be called from any thread. Needs no test framework.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tarvo::test {

struct RecordedRequest {
    std::string method{};
    std::string target{};   // as written: "/path?q" or, through a proxy, "http://host/path"
    std::string version{};  // "HTTP/1.1"
    std::vector<std::string> headerLines{};  // without their CRLF, in order, as written
    std::string body{};                      // de-chunked when it came chunked
    bool chunked = false;
    int connection = 0;  // number of the connection it came on, counting from 1

    // The trimmed value of the first header line with this name (case ignored), or empty.
    [[nodiscard]] std::string Header(std::string_view name) const;
    // How many header lines have this name (case ignored).
    [[nodiscard]] int HeaderCount(std::string_view name) const;
    // The names of the header lines, in order, as written.
    [[nodiscard]] std::vector<std::string> HeaderNames() const;
};

struct Response {
    int status = 200;
    std::string reason{};  // empty: the usual phrase of the status
    // Sent exactly as given, each followed by CRLF. "Content-Length: <body size>" is added
    // at the end unless a Content-Length or Transfer-Encoding line is here already or
    // addContentLength is false.
    std::vector<std::string> headerLines{};
    std::string body{};  // not sent for HEAD
    bool addContentLength = true;
    // When set, these bytes are sent instead of status line, headers and body.
    std::optional<std::string> raw{};
    // Waited out before anything is sent.
    std::chrono::milliseconds delay{0};
    // The body goes out in pieces of this many bytes, each after pieceDelay (0: at once).
    std::size_t pieceSize = 0;
    std::chrono::milliseconds pieceDelay{0};
    // After this many bytes of the answer, nothing more is sent and the connection is
    // held open until the client closes it or the server stops (0: a stall before any
    // byte).
    std::optional<std::size_t> stallAfter{};
    // After this many bytes of the answer, the connection is reset (SO_LINGER 0).
    std::optional<std::size_t> resetAfter{};
    // Closes the connection after the answer, whatever the request asked.
    bool close = false;
};

using Handler = std::function<Response(const RecordedRequest&)>;

struct TestServerOptions {
    bool tls = false;
};

class TestServer {
  public:
    explicit TestServer(Handler handler, TestServerOptions options = {});
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    [[nodiscard]] std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>" or "https://127.0.0.1:<port>".
    [[nodiscard]] std::string Origin() const;
    // Origin() followed by `path`, which should begin with "/".
    [[nodiscard]] std::string Url(std::string_view path) const;
    // "127.0.0.1:<port>", the form a proxy setting takes.
    [[nodiscard]] std::string HostPort() const;
    // The certificate in PEM; empty without TLS.
    [[nodiscard]] std::string CertificatePem() const { return certificatePem_; }

    // Every request recorded so far, in the order they were complete.
    [[nodiscard]] std::vector<RecordedRequest> Requests() const;
    [[nodiscard]] std::size_t RequestCount() const;
    // How many connections were accepted so far.
    [[nodiscard]] int ConnectionCount() const;
    // Replaces the handler for requests that arrive from now on.
    void SetHandler(Handler handler);

  private:
    struct TlsContext;
    struct Worker {
        std::thread thread;
        bool done = false;
    };

    void AcceptLoop();
    void Serve(int fd, int connection, Worker* worker);
    void ReapFinishedWorkers();
    // Waits up to `duration`; false when the server is stopping.
    bool WaitUnlessStopping(std::chrono::milliseconds duration);
    // Waits until the server stops or `fd` is closed by the peer.
    void HoldUntilStopOrPeerClose(int fd);
    void CloseConnection(int fd, bool reset);

    Handler handler_;
    std::unique_ptr<TlsContext> tls_;
    std::string certificatePem_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable stopCv_;
    bool stopping_ = false;
    std::set<int> openFds_;
    std::list<Worker> workers_;
    std::vector<RecordedRequest> requests_;
    int connections_ = 0;
    std::thread acceptThread_;
};

}  // namespace tarvo::test
