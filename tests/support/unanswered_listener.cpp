#include "tests/support/unanswered_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tarvo::test {
namespace {
// More than a queue of length 0 holds, so that later connects find it full.
constexpr int kFillers = 4;
}  // namespace

UnansweredListener::UnansweredListener() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 0) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener_ >= 0) close(listener_);
        throw std::runtime_error("unanswered listener: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    for (int k = 0; k < kFillers; ++k) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        static_cast<void>(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
        fillers_.push_back(fd);
    }
}

UnansweredListener::~UnansweredListener() {
    for (const int fd : fillers_) close(fd);
    close(listener_);
}

std::string UnansweredListener::Url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

}  // namespace tarvo::test
