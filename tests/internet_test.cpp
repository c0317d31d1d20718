#include "platform/internet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "tests/support/test_server.h"

namespace tarvo::platform {
namespace {

using test::RecordedRequest;
using test::Response;
using test::TestServer;

// One open chain of handles to a loopback server, closed in reverse order.
class Chain {
  public:
    Chain(const TestServer& server, std::string_view verb, std::string_view path,
          std::uint32_t flags = INTERNET_FLAG_RELOAD,
          std::uint32_t accessType = INTERNET_OPEN_TYPE_DIRECT, std::string_view proxy = "") {
        root = InternetOpenA("agent", accessType, proxy, "", 0);
        connection =
            InternetConnectA(root, "127.0.0.1", server.Port(), "", "", INTERNET_SERVICE_HTTP, 0, 0);
        request = HttpOpenRequestA(connection, verb, path, "HTTP/1.1", "", nullptr, flags, 0);
    }
    ~Chain() {
        InternetCloseHandle(request);
        InternetCloseHandle(connection);
        InternetCloseHandle(root);
    }
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    bool Send(std::string_view headers = "", std::string_view body = "") {
        return HttpSendRequestA(request, headers.data(), static_cast<std::uint32_t>(headers.size()),
                                body.empty() ? nullptr : body.data(),
                                static_cast<std::uint32_t>(body.size()));
    }
    std::string ReadAll(bool* lastOk = nullptr) {
        std::string out;
        char buffer[100];
        for (;;) {
            std::uint32_t n = 0;
            const bool ok = InternetReadFile(request, buffer, sizeof buffer, &n);
            if (lastOk) *lastOk = ok;
            if (n == 0) return out;
            out.append(buffer, n);
        }
    }

    HINTERNET root = nullptr, connection = nullptr, request = nullptr;
};

TEST(InternetHandles, ChainRulesAndClosingAParentClosesWhatIsUnderIt) {
    const TestServer server([](const RecordedRequest&) { return Response{.body = "x"}; });
    (void)TakeInternetHandleEvents();
    HINTERNET root = InternetOpenA("a", INTERNET_OPEN_TYPE_DIRECT, "", "", 0);
    HINTERNET connection =
        InternetConnectA(root, "127.0.0.1", server.Port(), "", "", INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestA(connection, "GET", "/", "HTTP/1.1", "", nullptr, 0, 0);
    ASSERT_TRUE(root && connection && request);
    // Handles of the wrong kind are refused.
    EXPECT_EQ(InternetConnectA(request, "h", 80, "", "", INTERNET_SERVICE_HTTP, 0, 0), nullptr);
    EXPECT_EQ(HttpOpenRequestA(root, "GET", "/", "HTTP/1.1", "", nullptr, 0, 0), nullptr);

    EXPECT_TRUE(InternetCloseHandle(root));
    EXPECT_FALSE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));
    EXPECT_FALSE(InternetCloseHandle(request));
    EXPECT_FALSE(InternetCloseHandle(connection));
    EXPECT_EQ(server.RequestCount(), 0u);
    using K = InternetHandleKind;
    const std::vector<InternetHandleEvent> events = {
        {K::root, true},     {K::connection, true},  {K::request, true},
        {K::request, false}, {K::connection, false}, {K::root, false},
    };
    EXPECT_EQ(TakeInternetHandleEvents(), events);
}

TEST(InternetHandles, OpensThatFail) {
    EXPECT_EQ(InternetOpenA("a", 2, "", "", 0), nullptr);
    EXPECT_EQ(InternetOpenA("a", INTERNET_OPEN_TYPE_DIRECT, "", "", 1), nullptr);  // async
    EXPECT_EQ(InternetOpenA("a", INTERNET_OPEN_TYPE_PROXY, "", "", 0), nullptr);
    EXPECT_EQ(InternetOpenA("a", INTERNET_OPEN_TYPE_PROXY, "ftp=p:21 socks=p:1080", "", 0),
              nullptr);
    HINTERNET root = InternetOpenA("a", INTERNET_OPEN_TYPE_DIRECT, "", "", 0);
    EXPECT_EQ(InternetConnectA(root, "", 80, "", "", INTERNET_SERVICE_HTTP, 0, 0), nullptr);
    EXPECT_EQ(InternetConnectA(root, "h", 65536, "", "", INTERNET_SERVICE_HTTP, 0, 0), nullptr);
    HINTERNET connection = InternetConnectA(root, "h", 80, "", "", INTERNET_SERVICE_HTTP, 0, 0);
    EXPECT_EQ(HttpOpenRequestA(connection, "GET", "/a\r\nX: 1", "HTTP/1.1", "", nullptr, 0, 0),
              nullptr);
    EXPECT_EQ(HttpOpenRequestA(connection, "GET", "a", "HTTP/1.1", "", nullptr, 0, 0), nullptr);
    EXPECT_EQ(HttpOpenRequestA(connection, "GET", "/", "HTTP/2", "", nullptr, 0, 0), nullptr);
    EXPECT_TRUE(InternetCloseHandle(root));
}

TEST(InternetQuery, HeaderBlockNeedsRoomForItsTerminator) {
    const TestServer server(
        [](const RecordedRequest&) { return Response{.headerLines = {"X-A: 1"}, .body = "b"}; });
    Chain chain(server, "GET", "/");
    std::uint32_t length = 0;
    char buffer[200];
    EXPECT_FALSE(
        HttpQueryInfoA(chain.request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer, &length, nullptr));
    ASSERT_TRUE(chain.Send());
    const std::string block = "HTTP/1.1 200 OK\r\nX-A: 1\r\nContent-Length: 1\r\n\r\n";
    length = static_cast<std::uint32_t>(block.size());  // one short
    EXPECT_FALSE(
        HttpQueryInfoA(chain.request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer, &length, nullptr));
    EXPECT_EQ(length, block.size() + 1);
    EXPECT_TRUE(
        HttpQueryInfoA(chain.request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer, &length, nullptr));
    EXPECT_EQ(length, block.size());
    EXPECT_EQ(std::string(buffer), block);
    EXPECT_EQ(chain.ReadAll(), "b");
}

TEST(InternetSend, StalledAnswerEndsWithTheBytesThatCame) {
    SetInternetTimeoutsForThisThread({.connect = std::chrono::milliseconds(2000),
                                      .stall = std::chrono::milliseconds(1000),
                                      .total = std::chrono::milliseconds(10000)});
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    const TestServer server([&](const RecordedRequest&) {
        return Response{.raw = head + "partial", .stallAfter = head.size() + 7};
    });
    Chain chain(server, "GET", "/");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(chain.Send());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    bool lastOk = true;
    EXPECT_EQ(chain.ReadAll(&lastOk), "partial");
    EXPECT_FALSE(lastOk);
    SetInternetTimeoutsForThisThread({});
}

TEST(InternetSend, RedirectRules) {
    std::atomic<int> securePort = 0;
    const TestServer server([&](const RecordedRequest& r) {
        if (r.target == "/303") return Response{.status = 303, .headerLines = {"Location: /got"}};
        if (r.target == "/307") return Response{.status = 307, .headerLines = {"Location: /got"}};
        if (r.target == "/tls") {
            return Response{.status = 302,
                            .headerLines = {"Location: https://127.0.0.1:" +
                                            std::to_string(securePort.load()) + "/s"}};
        }
        if (r.target == "/ftp")
            return Response{.status = 302, .headerLines = {"Location: ftp://127.0.0.1/"}};
        return Response{.body = r.method + " " + r.body};
    });
    const TestServer secure([](const RecordedRequest&) { return Response{.body = "secure"}; },
                            {.tls = true});
    securePort = secure.Port();

    {
        Chain chain(server, "POST", "/303");
        ASSERT_TRUE(chain.Send("", "data"));
        EXPECT_EQ(chain.ReadAll(), "GET ");
    }
    {
        Chain chain(server, "PUT", "/307");
        ASSERT_TRUE(chain.Send("", "data"));
        EXPECT_EQ(chain.ReadAll(), "PUT data");
    }
    {
        // To https only when asked for; and never to another scheme.
        Chain chain(server, "GET", "/tls");
        ASSERT_TRUE(chain.Send());
        EXPECT_EQ(chain.ReadAll(), "");
        const std::uint32_t flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                                    SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                    SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS;
        EXPECT_TRUE(InternetSetOptionA(chain.request, INTERNET_OPTION_SECURITY_FLAGS, &flags, 4));
        ASSERT_TRUE(chain.Send());
        EXPECT_EQ(chain.ReadAll(), "secure");
    }
    {
        Chain chain(server, "GET", "/tls", INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
        EXPECT_FALSE(chain.Send());  // the certificate is checked unless told otherwise
    }
    {
        Chain chain(server, "GET", "/ftp");
        ASSERT_TRUE(chain.Send());
        EXPECT_EQ(chain.ReadAll(), "");
    }
}

TEST(InternetProxy, ListEntriesApplyToTheirScheme) {
    const TestServer proxy([](const RecordedRequest&) { return Response{.body = "proxied"}; });
    const TestServer direct([](const RecordedRequest&) { return Response{.body = "direct"}; });
    const std::string hostPort = proxy.HostPort();
    // An https-only entry leaves http requests direct; an http entry carries them.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"https=" + hostPort, "direct"},
        {"http=" + hostPort, "proxied"},
        {hostPort, "proxied"},
        {"ftp=x:1;http=http://" + hostPort, "proxied"},
    };
    for (const auto& [list, expected] : cases) {
        SCOPED_TRACE(list);
        Chain chain(direct, "GET", "/p", INTERNET_FLAG_RELOAD, INTERNET_OPEN_TYPE_PROXY, list);
        ASSERT_NE(chain.root, nullptr);
        ASSERT_TRUE(chain.Send());
        EXPECT_EQ(chain.ReadAll(), expected);
    }
    EXPECT_EQ(proxy.Requests().back().target, direct.Url("/p"));
}

}  // namespace
}  // namespace tarvo::platform
