#include "tests/support/test_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace tarvo::test {
namespace {

// A bare client, so that the bytes on the wire are exactly the ones the test wrote.
class RawClient {
  public:
    explicit RawClient(std::uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        timeval timeout{5, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~RawClient() { close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return connected_; }
    void Send(std::string_view data) {
        ASSERT_EQ(send(fd_, data.data(), data.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(data.size()));
    }
    // Reads until `n` bytes have come or the stream ends; the result also tells how it ended.
    std::string Receive(std::size_t n, int* lastResult = nullptr) {
        std::string out;
        char chunk[4096];
        int r = 0;
        while (out.size() < n) {
            r = static_cast<int>(recv(fd_, chunk, std::min(sizeof chunk, n - out.size()), 0));
            if (r <= 0) break;
            out.append(chunk, static_cast<std::size_t>(r));
        }
        if (lastResult) *lastResult = r < 0 ? -errno : r;
        return out;
    }

  private:
    int fd_;
    bool connected_ = false;
};

Response Ok(std::string body) {
    return Response{.headerLines = {"X-Test: yes"}, .body = std::move(body)};
}

TEST(TestServer, RecordsRequestExactlyAndAnswersAsScripted) {
    TestServer server([](const RecordedRequest& r) { return Ok("got " + r.body); });
    RawClient client(server.Port());
    ASSERT_TRUE(client.Connected());
    client.Send(
        "POST http://example.test/p?q=1 HTTP/1.1\r\nhost: x\r\nX-B:  two  \r\nx-a: one\r\n"
        "Content-Length: 5\r\n\r\nhello");
    const std::string expected =
        "HTTP/1.1 200 OK\r\nX-Test: yes\r\nContent-Length: 9\r\n\r\ngot hello";
    EXPECT_EQ(client.Receive(expected.size()), expected);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const RecordedRequest& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "http://example.test/p?q=1");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.headerLines, (std::vector<std::string>{"host: x", "X-B:  two  ", "x-a: one",
                                                       "Content-Length: 5"}));
    EXPECT_EQ(r.Header("x-b"), "two");
    EXPECT_EQ(r.HeaderCount("X-A"), 1);
    EXPECT_EQ(r.HeaderNames(), (std::vector<std::string>{"host", "X-B", "x-a", "Content-Length"}));
    EXPECT_EQ(r.body, "hello");
}

TEST(TestServer, ChunkedBodyAndKeepAliveOnOneConnection) {
    TestServer server([](const RecordedRequest& r) { return Ok(r.body); });
    RawClient client(server.Port());
    client.Send(
        "PUT /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2;x=y\r\nde\r\n0\r\n\r\n"
        "GET /b HTTP/1.1\r\n\r\n");
    const std::string first = "HTTP/1.1 200 OK\r\nX-Test: yes\r\nContent-Length: 5\r\n\r\nabcde";
    const std::string second = "HTTP/1.1 200 OK\r\nX-Test: yes\r\nContent-Length: 0\r\n\r\n";
    EXPECT_EQ(client.Receive(first.size() + second.size()), first + second);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].chunked);
    EXPECT_EQ(requests[0].body, "abcde");
    EXPECT_EQ(requests[1].target, "/b");
    EXPECT_EQ(requests[0].connection, requests[1].connection);
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(TestServer, ResetAfterBytesAndStallEndWithServer) {
    auto stop = std::chrono::steady_clock::now();
    {
        TestServer server([](const RecordedRequest& r) {
            if (r.target == "/reset") return Response{.body = "0123456789", .resetAfter = 20};
            return Response{.stallAfter = 0};
        });
        RawClient resetClient(server.Port());
        resetClient.Send("GET /reset HTTP/1.1\r\n\r\n");
        int last = 0;
        EXPECT_EQ(resetClient.Receive(1000, &last), "HTTP/1.1 200 OK\r\nCon");
        EXPECT_EQ(last, -ECONNRESET);

        RawClient stallClient(server.Port());
        stallClient.Send("GET /stall HTTP/1.1\r\n\r\n");
        while (server.RequestCount() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stop = std::chrono::steady_clock::now();
    }
    // A stalled connection does not hold the destructor up.
    EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(1));
}

TEST(TestServer, TlsOriginAndCertificate) {
    TestServer server([](const RecordedRequest&) { return Response{}; }, {.tls = true});
    EXPECT_EQ(server.Origin(), "https://127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(server.CertificatePem().rfind("-----BEGIN CERTIFICATE-----", 0), 0u);
}

}  // namespace
}  // namespace tarvo::test
