#include "tests/support/test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace tarvo::test {
namespace {

constexpr std::size_t kMaxHeadBytes = 1 << 20;
constexpr std::size_t kMaxBodyBytes = 64 << 20;
constexpr std::string_view kCrLf = "\r\n";

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
using SslCtxPtr = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>>;
using SslPtr = std::unique_ptr<SSL, Deleter<SSL_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string_view NameOf(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view{} : TrimSpaces(line.substr(0, colon));
}

std::string_view ValueOf(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view{}
                                           : TrimSpaces(line.substr(colon + 1));
}

bool HasLine(const std::vector<std::string>& lines, std::string_view name) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return EqualNoCase(NameOf(line), name); });
}

std::string_view UsualReason(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 407:
            return "Proxy Authentication Required";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

[[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string("test server: ") + what);
}

// One connection's byte stream, plain or TLS.
class Stream {
  public:
    Stream(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}

    // Appends what arrives next to `buffer`; false at the end of the stream or on error.
    bool Fill(std::string& buffer) {
        char chunk[16384];
        const int n = ssl_ ? SSL_read(ssl_, chunk, sizeof chunk)
                           : static_cast<int>(recv(fd_, chunk, sizeof chunk, 0));
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    bool Write(std::string_view data) {
        while (!data.empty()) {
            const int n = ssl_
                              ? SSL_write(ssl_, data.data(), static_cast<int>(data.size()))
                              : static_cast<int>(send(fd_, data.data(), data.size(), MSG_NOSIGNAL));
            if (n <= 0) {
                if (!ssl_ && errno == EINTR) continue;
                return false;
            }
            data.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

  private:
    int fd_;
    SSL* ssl_;
};

// Reads up to and including the next CRLF-terminated line of `buffer`, filling it as
// needed; the line goes to `line` without its CRLF.
bool ReadLine(Stream& stream, std::string& buffer, std::string& line) {
    std::size_t end;
    while ((end = buffer.find(kCrLf)) == std::string::npos) {
        if (buffer.size() > kMaxHeadBytes || !stream.Fill(buffer)) return false;
    }
    line = buffer.substr(0, end);
    buffer.erase(0, end + kCrLf.size());
    return true;
}

bool ReadExactly(Stream& stream, std::string& buffer, std::size_t n, std::string& out) {
    while (buffer.size() < n) {
        if (!stream.Fill(buffer)) return false;
    }
    out.append(buffer, 0, n);
    buffer.erase(0, n);
    return true;
}

bool ReadChunkedBody(Stream& stream, std::string& buffer, std::string& body) {
    std::string line;
    for (;;) {
        if (!ReadLine(stream, buffer, line)) return false;
        char* end = nullptr;
        const unsigned long long size = std::strtoull(line.c_str(), &end, 16);
        if (end == line.c_str() || size > kMaxBodyBytes || body.size() + size > kMaxBodyBytes) {
            return false;
        }
        if (size == 0) break;
        if (!ReadExactly(stream, buffer, size, body)) return false;
        if (!ReadLine(stream, buffer, line) || !line.empty()) return false;
    }
    do {  // trailer lines up to the empty line
        if (!ReadLine(stream, buffer, line)) return false;
    } while (!line.empty());
    return true;
}

// Reads one whole request; false when the connection ends or the request is malformed.
bool ReadRequest(Stream& stream, std::string& buffer, RecordedRequest& request) {
    std::string line;
    do {  // tolerate empty lines between requests
        if (!ReadLine(stream, buffer, line)) return false;
    } while (line.empty());
    const auto firstSpace = line.find(' ');
    const auto lastSpace = line.rfind(' ');
    if (firstSpace == std::string::npos || lastSpace == firstSpace) return false;
    request.method = line.substr(0, firstSpace);
    request.target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    request.version = line.substr(lastSpace + 1);
    for (;;) {
        if (!ReadLine(stream, buffer, line)) return false;
        if (line.empty()) break;
        request.headerLines.push_back(line);
    }
    if (EqualNoCase(request.Header("Expect"), "100-continue") &&
        !stream.Write("HTTP/1.1 100 Continue\r\n\r\n")) {
        return false;
    }
    if (EqualNoCase(request.Header("Transfer-Encoding"), "chunked")) {
        request.chunked = true;
        return ReadChunkedBody(stream, buffer, request.body);
    }
    const std::string length = request.Header("Content-Length");
    if (length.empty()) return true;
    char* end = nullptr;
    const unsigned long long size = std::strtoull(length.c_str(), &end, 10);
    if (*end != '\0' || size > kMaxBodyBytes) return false;
    return ReadExactly(stream, buffer, size, request.body);
}

bool WantsClose(const RecordedRequest& request) {
    const std::string connection = request.Header("Connection");
    if (EqualNoCase(connection, "close")) return true;
    return request.version == "HTTP/1.0" && !EqualNoCase(connection, "keep-alive");
}

std::string ResponseHead(const Response& response, std::size_t bodySize) {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " ";
    head += response.reason.empty() ? std::string(UsualReason(response.status)) : response.reason;
    head += kCrLf;
    for (const auto& line : response.headerLines) head.append(line).append(kCrLf);
    if (response.addContentLength && !HasLine(response.headerLines, "Content-Length") &&
        !HasLine(response.headerLines, "Transfer-Encoding")) {
        head += "Content-Length: " + std::to_string(bodySize) + "\r\n";
    }
    head += kCrLf;
    return head;
}

// A fresh EC P-256 key and a self-signed certificate for the loopback names.
void MakeCertificate(SSL_CTX* ctx, std::string& pem) {
    KeyPtr key(EVP_EC_gen("P-256"));
    if (!key) Fail("EC key generation failed");
    X509Ptr cert(X509_new());
    if (!cert) Fail("X509_new failed");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, cert.get(), cert.get(), nullptr, nullptr, 0);
    ExtPtr san(
        X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"));
    if (!san || !X509_add_ext(cert.get(), san.get(), -1)) Fail("subjectAltName failed");
    if (!X509_sign(cert.get(), key.get(), EVP_sha256())) Fail("certificate signing failed");
    if (SSL_CTX_use_certificate(ctx, cert.get()) != 1 ||
        SSL_CTX_use_PrivateKey(ctx, key.get()) != 1) {
        Fail("certificate not accepted");
    }
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), cert.get()) != 1) Fail("PEM output failed");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    pem.assign(data, static_cast<std::size_t>(size));
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
    for (const auto& line : headerLines) {
        if (EqualNoCase(NameOf(line), name)) return std::string(ValueOf(line));
    }
    return {};
}

int RecordedRequest::HeaderCount(std::string_view name) const {
    return static_cast<int>(
        std::count_if(headerLines.begin(), headerLines.end(),
                      [&](const auto& line) { return EqualNoCase(NameOf(line), name); }));
}

std::vector<std::string> RecordedRequest::HeaderNames() const {
    std::vector<std::string> names;
    for (const auto& line : headerLines) names.emplace_back(NameOf(line));
    return names;
}

struct TestServer::TlsContext {
    SslCtxPtr ctx;
};

TestServer::TestServer(Handler handler, TestServerOptions options) : handler_(std::move(handler)) {
    if (options.tls) {
        tls_ = std::make_unique<TlsContext>();
        tls_->ctx.reset(SSL_CTX_new(TLS_server_method()));
        if (!tls_->ctx) Fail("SSL_CTX_new failed");
        MakeCertificate(tls_->ctx.get(), certificatePem_);
    }
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) Fail("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenFd_, 64) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listenFd_);
        Fail("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TestServer::~TestServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopCv_.notify_all();
    // Shutting the sockets down wakes every accept, read and write that is blocked on them.
    shutdown(listenFd_, SHUT_RDWR);
    acceptThread_.join();
    {
        std::lock_guard lock(mutex_);
        for (const int fd : openFds_) shutdown(fd, SHUT_RDWR);
    }
    for (auto& worker : workers_) worker.thread.join();
    close(listenFd_);
}

std::string TestServer::Origin() const {
    return (tls_ ? "https://" : "http://") + HostPort();
}

std::string TestServer::Url(std::string_view path) const {
    return Origin() + std::string(path);
}

std::string TestServer::HostPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::vector<RecordedRequest> TestServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t TestServer::RequestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

int TestServer::ConnectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

void TestServer::SetHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void TestServer::AcceptLoop() {
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(mutex_);
        if (stopping_) {
            if (fd >= 0) close(fd);
            return;
        }
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE) continue;
            return;
        }
        ReapFinishedWorkers();
        // A head and a body written apart must not wait for a delayed acknowledgement.
        const int noDelay = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        openFds_.insert(fd);
        const int connection = ++connections_;
        Worker& worker = workers_.emplace_back();
        worker.thread =
            std::thread([this, fd, connection, &worker] { Serve(fd, connection, &worker); });
    }
}

void TestServer::ReapFinishedWorkers() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

bool TestServer::WaitUnlessStopping(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !stopCv_.wait_for(lock, duration, [this] { return stopping_; });
}

void TestServer::HoldUntilStopOrPeerClose(int fd) {
    constexpr auto kPollStep = std::chrono::milliseconds(50);
    while (WaitUnlessStopping(std::chrono::milliseconds(0))) {
        pollfd entry{fd, POLLIN | POLLRDHUP, 0};
        const int ready = poll(&entry, 1, static_cast<int>(kPollStep.count()));
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) continue;
        if (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) return;
        char discard[4096];
        if (recv(fd, discard, sizeof discard, 0) <= 0) return;
    }
}

void TestServer::CloseConnection(int fd, bool reset) {
    if (reset) {
        const linger hard{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    std::lock_guard lock(mutex_);
    openFds_.erase(fd);
    close(fd);
}

void TestServer::Serve(int fd, int connection, Worker* worker) {
    // A peer that closes early must end a write with EPIPE, not end the test program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    bool reset = false;
    SslPtr ssl;
    if (tls_) {
        ssl.reset(SSL_new(tls_->ctx.get()));
        if (!ssl || SSL_set_fd(ssl.get(), fd) != 1 || SSL_accept(ssl.get()) != 1) ssl.reset();
    }
    if (!tls_ || ssl) {
        Stream stream(fd, ssl.get());
        std::string buffer;
        for (;;) {
            RecordedRequest request;
            request.connection = connection;
            if (!ReadRequest(stream, buffer, request)) break;
            Handler handler;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
                handler = handler_;
            }
            const Response response = handler ? handler(request) : Response{.status = 500};
            if (!WaitUnlessStopping(response.delay)) break;

            const bool head = request.method == "HEAD";
            const std::string_view body =
                head ? std::string_view{} : std::string_view(response.body);
            std::string first =
                response.raw ? *response.raw : ResponseHead(response, response.body.size());
            std::size_t limit = std::string::npos;
            if (response.stallAfter) limit = std::min(limit, *response.stallAfter);
            if (response.resetAfter) limit = std::min(limit, *response.resetAfter);

            // The answer is the head and then the body, in pieces when asked for; `limit`
            // cuts it wherever it falls.
            std::vector<std::string_view> parts{first};
            if (!response.raw) {
                const std::size_t piece = response.pieceSize ? response.pieceSize : body.size();
                for (std::size_t at = 0; at < body.size(); at += piece) {
                    parts.push_back(body.substr(at, piece));
                }
            }
            std::size_t sent = 0;
            bool ok = true;
            for (std::size_t k = 0; k < parts.size() && ok && sent < limit; ++k) {
                if (k > 0 && response.pieceSize && response.pieceDelay.count() > 0 &&
                    !WaitUnlessStopping(response.pieceDelay)) {
                    ok = false;
                    break;
                }
                const std::string_view part = parts[k].substr(0, limit - sent);
                ok = stream.Write(part);
                sent += part.size();
            }
            if (!ok) break;
            if (response.resetAfter && sent >= *response.resetAfter) {
                reset = true;
                break;
            }
            if (response.stallAfter && sent >= *response.stallAfter) {
                HoldUntilStopOrPeerClose(fd);
                break;
            }
            if (response.close || WantsClose(request)) break;
        }
        if (ssl && !reset) SSL_shutdown(ssl.get());
    }
    ssl.reset();
    CloseConnection(fd, reset);
    std::lock_guard lock(mutex_);
    worker->done = true;
}

}  // namespace tarvo::test
