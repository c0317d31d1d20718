#include "tests/support/hostile_service.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvo::test {
namespace {

constexpr std::string_view kCell = R"({"data":{"comment":{"user":{"name":"user"}}}})";
constexpr std::size_t kHugeBodyBytes = std::size_t{300} << 20;

std::string Item(std::string_view url1, std::string_view url2, std::string_view title) {
    return R"({"data":{"item":{"share":{"title":")" + std::string(title) +
           R"("},"video":{"video_fallback":{"url_list":[{"url":")" + std::string(url1) +
           R"("},{"url":")" + std::string(url2) + R"("}]}}}}})";
}

// A port on 127.0.0.1 where nothing listens: bound once, then closed.
int DeadPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) close(fd);
        return 1;
    }
    close(fd);
    return ntohs(address.sin_port);
}

// Invalid UTF-8 (a lone continuation byte, an overlong form, a surrogate, a cut sequence)
// and bytes at the edges of code page 936 (0x80, 0xFF, a lead byte with no trail).
constexpr std::string_view kBadText = "\x80\xC0\xAF\xED\xA0\x80\xFF\x81\xFE\xE4\xBD";

// The bytes of "HTTP/1.1 200 OK", a Content-Length line and the empty line.
std::size_t HeadSize(std::size_t bodySize) {
    return std::string_view("HTTP/1.1 200 OK\r\nContent-Length: \r\n\r\n").size() +
           std::to_string(bodySize).size();
}

}  // namespace

HostileService::HostileService(Hostility hostility)
    : hostility_(hostility),
      deadPort_(DeadPort()),
      server_([this](const RecordedRequest& r) { return Answer(r); }, {.tls = true}) {}

Response HostileService::Answer(const RecordedRequest& request) const {
    const std::string& target = request.target;
    if (target.starts_with("/s/")) return Response{.body = "no redirect here"};
    if (target.starts_with("/video/")) {
        return Response{.headerLines = {"Content-Length: 1000000"},
                        .body = std::string(1000, 'v'),
                        .addContentLength = false,
                        .stallAfter = 600};
    }
    const bool cell = target.starts_with("/bds/webapi/cell/detail/");
    const std::string valid = cell ? std::string(kCell) : Item("https://v/1", "https://v/2", "t");
    switch (hostility_) {
        case Hostility::kNeverAnswers:
            return Response{.stallAfter = 0};
        case Hostility::kByteAtATime:
            return Response{
                .body = valid, .pieceSize = 1, .pieceDelay = std::chrono::milliseconds(2)};
        case Hostility::kResetHalfWay:
            return Response{.headerLines = {"Content-Length: " + std::to_string(valid.size())},
                            .body = valid,
                            .addContentLength = false,
                            .resetAfter = HeadSize(valid.size()) + valid.size() / 2};
        case Hostility::kRedirectLoop:
            return Response{.status = 302, .headerLines = {"Location: " + target}};
        case Hostility::kRedirectToDeadPort:
            return Response{
                .status = 302,
                .headerLines = {"Location: https://127.0.0.1:" + std::to_string(deadPort_) + "/"}};
        case Hostility::kHugeHeader:
            return Response{.headerLines = {"X-Pad: " + std::string(6000, 'p'),
                                            "Set-Cookie: k=" + std::string(100, 'c')},
                            .body = valid};
        case Hostility::kHugeBody:
            return Response{.body = std::string(kHugeBodyBytes, ' ')};
        case Hostility::kScriptString:
            return Response{.body = "\"while(true){}\""};
        case Hostility::kEndlessAllocation:
            return Response{.body =
                                "(function(){var a=[];for(;;)a.push(new Array(1e5).join('x'))})()"};
        case Hostility::kBadBytes: {
            const std::string bad(kBadText);
            return Response{.body =
                                cell ? R"({"data":{"comment":{"user":{"name":")" + bad + R"("}}}})"
                                     : Item(bad, bad, bad)};
        }
        case Hostility::kZeroByteEarly:
            return Response{.body = "{" + std::string(1, '\0') + valid};
        case Hostility::kStallingVideo:
            return Response{.body = cell ? std::string(kCell)
                                         : Item(server_.Url("/video/stall.mp4"),
                                                server_.Url("/video/stall.mp4"), "stalled")};
    }
    return Response{.status = 500};
}

}  // namespace tarvo::test
