#include "tests/support/flood_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace tarvo::test {
namespace {

constexpr std::size_t kPieceBytes = 256 * 1024;
constexpr int kPollMs = 100;

}  // namespace

FloodServer::FloodServer(FloodOptions options) : options_(options) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listenFd_ < 0 ||
        bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenFd_, 8) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listenFd_ >= 0) close(listenFd_);
        throw std::runtime_error("flood server: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

FloodServer::~FloodServer() {
    stopping_ = true;
    thread_.join();
    close(listenFd_);
}

std::string FloodServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void FloodServer::Serve() {
    while (!stopping_) {
        pollfd listening{.fd = listenFd_, .events = POLLIN, .revents = 0};
        if (poll(&listening, 1, kPollMs) <= 0) continue;
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Answer(fd);
        close(fd);
    }
}

// Waits for the end of the request's head, then floods; the request itself is not read
// further.
void FloodServer::Answer(int fd) {
    std::string head;
    char buffer[4096];
    while (!stopping_ && head.find("\r\n\r\n") == std::string::npos) {
        pollfd client{.fd = fd, .events = POLLIN, .revents = 0};
        if (poll(&client, 1, kPollMs) <= 0) continue;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    if (options_.endlessHeaders) {
        if (!SendAll(fd, "HTTP/1.1 200 OK\r\n")) return;
        const std::string line = "X-Pad: " + std::string(1000, 'p') + "\r\n";
        std::string piece;
        while (piece.size() < kPieceBytes) piece += line;
        while (!stopping_ && SendAll(fd, piece)) {
        }
        return;
    }
    std::string block = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n";
    block += options_.announceLength
                 ? "Content-Length: " + std::to_string(options_.bodyBytes) + "\r\n"
                 : std::string("Connection: close\r\n");
    block += "\r\n";
    if (!SendAll(fd, block)) return;
    const std::string piece(kPieceBytes, 'f');
    for (std::uint64_t left = options_.bodyBytes; left > 0 && !stopping_;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
        if (!SendAll(fd, std::string_view(piece).substr(0, n))) return;
        left -= n;
    }
}

// False once the client has gone or the server is stopping.
bool FloodServer::SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        if (stopping_) return false;
        pollfd client{.fd = fd, .events = POLLOUT, .revents = 0};
        if (poll(&client, 1, kPollMs) <= 0) continue;
        const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent_ += static_cast<std::uint64_t>(n);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::uint64_t PeakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) return std::stoull(line.substr(6)) * 1024;
    }
    return 0;
}

}  // namespace tarvo::test
