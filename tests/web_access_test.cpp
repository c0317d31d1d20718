#include "web/web_access.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/internet.h"
#include "platform/response_limits.h"
#include "tests/support/flood_server.h"
#include "tests/support/test_server.h"
#include "tests/support/unanswered_listener.h"

namespace tarvo {
namespace {

using platform::InternetHandleEvent;
using platform::InternetHandleKind;
using test::RecordedRequest;
using test::Response;
using test::TestServer;

Bytes B(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

std::string S(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

// The header lines after Host and User-Agent: the ones the header text put there.
std::vector<std::string> ExtraLines(const RecordedRequest& r) {
    return {r.headerLines.begin() + std::min<size_t>(2, r.headerLines.size()), r.headerLines.end()};
}

class WebAccessTest : public ::testing::Test {
  protected:
    // Each test starts with an empty cookie store and an empty handle log.
    void SetUp() override {
        ASSERT_TRUE(platform::InternetSetOptionA(
            nullptr, platform::INTERNET_OPTION_END_BROWSER_SESSION, nullptr, 0));
        (void)platform::TakeInternetHandleEvents();
    }

    RecordedRequest Last() const {
        const auto all = server_.Requests();
        return all.empty() ? RecordedRequest{} : all.back();
    }

    TestServer server_{[](const RecordedRequest& r) {
        return Response{.body = "echo " + r.method + " " + r.target};
    }};
};

TEST_F(WebAccessTest, ShareLinkCallSendsExactlyTheDefaults) {
    const std::string url = server_.Url("/bds/webapi/cell/detail/?cell_id=7&cell_type=8");
    const Bytes body = WebAccess(url, {.method = 0});

    EXPECT_EQ(S(body), "echo GET /bds/webapi/cell/detail/?cell_id=7&cell_type=8");
    const RecordedRequest r = Last();
    EXPECT_EQ(r.version, "HTTP/1.1");
    const std::vector<std::string> expected = {
        "Host: " + server_.HostPort(),
        "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
        "Accept: */*",
        "Referer: " + url,
        "Accept-Language: zh-cn",
    };
    EXPECT_EQ(r.headerLines, expected);
    EXPECT_EQ(r.body, "");
    // The chain opens in order and closes in reverse order.
    const std::vector<InternetHandleEvent> events = {
        {InternetHandleKind::root, true},        {InternetHandleKind::connection, true},
        {InternetHandleKind::request, true},     {InternetHandleKind::request, false},
        {InternetHandleKind::connection, false}, {InternetHandleKind::root, false},
    };
    EXPECT_EQ(platform::TakeInternetHandleEvents(), events);
}

struct MethodCase {
    const char* name;
    int method;
    std::string verb;
    std::string body;  // what the server receives
    bool contentType;
};

TEST_F(WebAccessTest, MethodTableAndBodies) {
    const std::vector<MethodCase> cases = {
        {"GET sends no body", 0, "GET", "", false},
        {"POST", 1, "POST", "a=1", true},
        {"HEAD", 2, "HEAD", "a=1", false},
        {"PUT has no content type", 3, "PUT", "a=1", false},
        {"OPTIONS", 4, "OPTIONS", "a=1", false},
        {"DELETE", 5, "DELETE", "a=1", false},
        {"TRACE", 6, "TRACE", "a=1", false},
        {"8 is GET", 8, "GET", "", false},
        {"9 is GET", 9, "GET", "", false},
        {"-1 is GET", -1, "GET", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes byteBody;
        (void)WebAccess(server_.Url("/m"),
                        {.method = c.method, .textBody = "a=1", .byteBody = &byteBody});
        const RecordedRequest r = Last();
        EXPECT_EQ(r.method, c.verb);
        EXPECT_EQ(r.target, "/m");
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.HeaderCount("Content-Type"), c.contentType ? 1 : 0);
        EXPECT_EQ(r.HeaderCount("Expect"), 0);
        EXPECT_EQ(S(byteBody), c.body);  // written back for every method but GET
        if (c.contentType) {
            EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
        }
    }
}

TEST_F(WebAccessTest, BodyChoice) {
    // A GET leaves a given byteBody as it was and sends nothing.
    Bytes kept = B("keep");
    (void)WebAccess(server_.Url("/"), {.textBody = "t", .byteBody = &kept});
    EXPECT_EQ(S(kept), "keep");
    EXPECT_EQ(Last().body, "");

    // byteBody wins over textBody, and a large body goes out without Expect.
    Bytes large(3000, 'x');
    large[0] = 0;  // bodies may hold zero bytes
    (void)WebAccess(server_.Url("/"), {.method = 1, .textBody = "t", .byteBody = &large});
    EXPECT_EQ(Last().body, std::string(large.begin(), large.end()));
    EXPECT_EQ(Last().HeaderCount("Expect"), 0);

    // Without a byteBody variable the text body is sent.
    (void)WebAccess(server_.Url("/"), {.method = 3, .textBody = "put"});
    EXPECT_EQ(Last().body, "put");
    EXPECT_EQ(Last().Header("Content-Length"), "3");
}

struct HeaderCase {
    const char* name;
    WebAccessOptions options;
    std::vector<std::string> extraLines;  // {url} stands for the URL
};

TEST_F(WebAccessTest, HeaderText) {
    Text cookiesA = "a=1";
    Text cookiesNamed = "Cookie: a=1";
    Text cookiesEmpty;
    const std::vector<HeaderCase> cases = {
        {"caller lines first, normalised",
         {.headers = "x-one: 1\r\nno colon\r\nx-two: 2"},
         {"X-One: 1", "X-Two: 2", "Accept: */*", "Referer: {url}", "Accept-Language: zh-cn"}},
        {"X-Accept counts as Accept",
         {.headers = "X-Accept: 1"},
         {"X-Accept: 1", "Referer: {url}", "Accept-Language: zh-cn"}},
        {"caller's own values kept",
         {.headers = "Accept: text/html\r\nReferer: r\r\nAccept-Language: en"},
         {"Accept: text/html", "Referer: r", "Accept-Language: en"}},
        {"no completion, only the cookie line",
         {.cookies = &cookiesA, .headers = "", .completeHeaders = false},
         {"Cookie: a=1"}},
        {"cookie name not doubled",
         {.cookies = &cookiesNamed, .completeHeaders = false},
         {"Cookie: a=1"}},
        {"empty cookies add no line", {.cookies = &cookiesEmpty, .completeHeaders = false}, {}},
        {"no normalising keeps the case",
         {.headers = "x-low: 1", .completeHeaders = false, .normalizeHeaders = false},
         {"x-low: 1"}},
        {"empty value is sent empty",
         {.headers = "X-Empty:", .completeHeaders = false},
         {"X-Empty:"}},
    };
    const std::string url = server_.Url("/h");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        (void)WebAccess(url, c.options);
        std::vector<std::string> expected;
        for (const std::string& line : c.extraLines) {
            expected.push_back(line == "Referer: {url}" ? "Referer: " + url : line);
        }
        const RecordedRequest r = Last();
        ASSERT_GE(r.headerLines.size(), 2u);
        EXPECT_EQ(r.headerLines[0], "Host: " + server_.HostPort());
        EXPECT_TRUE(r.headerLines[1].starts_with("User-Agent: "));
        EXPECT_EQ(ExtraLines(r), expected);
    }
    // The caller's texts are only read.
    EXPECT_EQ(cookiesEmpty, "");
}

TEST_F(WebAccessTest, AgentString) {
    (void)WebAccess(server_.Url("/"), {.headers = "user-agent: Foo", .normalizeHeaders = false});
    EXPECT_EQ(Last().Header("User-Agent"), "Foo");
    EXPECT_EQ(Last().HeaderCount("User-Agent"), 1);

    (void)WebAccess(server_.Url("/"), {.headers = "X-A: 1\r\nUser-Agent:  Bar "});
    EXPECT_EQ(Last().Header("User-Agent"), "Bar");
    EXPECT_EQ(Last().HeaderCount("User-Agent"), 1);

    // The fallback value runs over the following lines; only its first line can be sent.
    (void)WebAccess(server_.Url("/"), {.headers = "X-A: 1\r\nuser-agent: Baz",
                                       .completeHeaders = false,
                                       .normalizeHeaders = false});
    EXPECT_EQ(Last().Header("User-Agent"), "1");
    EXPECT_EQ(Last().HeaderCount("X-A"), 1);
}

TEST_F(WebAccessTest, ReturnedHeadersAndCookies) {
    server_.SetHandler([](const RecordedRequest&) {
        return Response{.headerLines = {"Set-Cookie: a=1; path=/", "set-cookie: lower=1",
                                        "Set-Cookie: b=2", "X-Other: Set-Cookie: c=3"},
                        .body = "ok"};
    });
    Text headers, returned;
    EXPECT_EQ(S(WebAccess(server_.Url("/c"),
                          {.returnedCookies = &returned, .returnedHeaders = &headers})),
              "ok");
    EXPECT_EQ(headers,
              "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nset-cookie: lower=1\r\n"
              "Set-Cookie: b=2\r\nX-Other: Set-Cookie: c=3\r\nContent-Length: 2\r\n\r\n");
    EXPECT_EQ(returned, "a=1; b=2");

    // The merge: new cookies first, then the old ones the response did not set again.
    Text jar = "b=0; z=9";
    (void)WebAccess(server_.Url("/c"), {.cookies = &jar, .returnedCookies = &returned});
    EXPECT_EQ(jar, "a=1; b=2; z=9");
    EXPECT_EQ(returned, jar);
    EXPECT_EQ(Last().Header("Cookie"), "b=0; z=9");

    // Without the merge, the jar stays and only the response's cookies come back.
    Text jar2 = "q=1";
    (void)WebAccess(server_.Url("/c"),
                    {.cookies = &jar2, .returnedCookies = &returned, .autoMergeCookies = false});
    EXPECT_EQ(jar2, "q=1");
    EXPECT_EQ(returned, "a=1; b=2");
}

TEST_F(WebAccessTest, SharedStoreCarriesCookiesWhenCookiesAreLeftOut) {
    server_.SetHandler([](const RecordedRequest& r) {
        if (r.target == "/set") return Response{.headerLines = {"Set-Cookie: s=1; Path=/"}};
        if (r.target == "/clear")
            return Response{.headerLines = {"Set-Cookie: s=; Max-Age=0; Path=/"}};
        return Response{};
    });
    (void)WebAccess(server_.Url("/set"));
    (void)WebAccess(server_.Url("/next"));
    EXPECT_EQ(Last().Header("Cookie"), "s=1");

    // Given cookies, even empty, switch the store off: nothing sent, nothing kept.
    Text empty, returned;
    server_.SetHandler([](const RecordedRequest&) {
        return Response{.headerLines = {"Set-Cookie: t=2; Path=/"}};
    });
    (void)WebAccess(server_.Url("/off"), {.cookies = &empty, .returnedCookies = &returned});
    EXPECT_EQ(Last().HeaderCount("Cookie"), 0);
    EXPECT_EQ(empty, "t=2");
    EXPECT_EQ(returned, "t=2");

    server_.SetHandler([](const RecordedRequest& r) {
        if (r.target == "/clear")
            return Response{.headerLines = {"Set-Cookie: s=; Max-Age=0; Path=/"}};
        return Response{};
    });
    (void)WebAccess(server_.Url("/check"));
    EXPECT_EQ(Last().Header("Cookie"), "s=1");  // t=2 was not stored
    (void)WebAccess(server_.Url("/clear"));
    (void)WebAccess(server_.Url("/after"));
    EXPECT_EQ(Last().HeaderCount("Cookie"), 0);
}

// Several threads use the one store at once; each finds the cookie its previous answer set.
TEST_F(WebAccessTest, SharedStoreServesThreadsAtOnce) {
    constexpr int kThreads = 4;
    constexpr int kCalls = 10;
    server_.SetHandler([](const RecordedRequest& r) {
        // "/<thread>/<call>" sets t<thread>=<call>.
        const auto slash = r.target.find('/', 1);
        return Response{.headerLines = {"Set-Cookie: t" + r.target.substr(1, slash - 1) + "=" +
                                        r.target.substr(slash + 1) + "; Path=/"}};
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                (void)WebAccess(server_.Url("/" + std::to_string(t) + "/" + std::to_string(i)));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), size_t{kThreads * kCalls});
    for (const auto& r : requests) {
        const auto slash = r.target.find('/', 1);
        const int call = std::stoi(r.target.substr(slash + 1));
        if (call == 0) continue;
        const std::string own =
            "t" + r.target.substr(1, slash - 1) + "=" + std::to_string(call - 1);
        SCOPED_TRACE(r.target);
        EXPECT_NE(("; " + r.Header("Cookie") + ";").find("; " + own + ";"), std::string::npos);
    }
}

TEST_F(WebAccessTest, BodiesArriveWholeAndInOrder) {
    std::string big;
    for (int i = 0; i < 3000; ++i) big += static_cast<char>('a' + i % 26);
    big[1500] = '\0';
    server_.SetHandler([&](const RecordedRequest& r) {
        if (r.target == "/empty") return Response{};
        return Response{.body = big, .pieceSize = 700, .pieceDelay = std::chrono::milliseconds(5)};
    });
    EXPECT_EQ(S(WebAccess(server_.Url("/big"))), big);
    EXPECT_TRUE(WebAccess(server_.Url("/empty")).empty());
}

TEST_F(WebAccessTest, HeaderBlockLimit) {
    // The block with its terminator may take 5000 bytes; one byte more and none comes back.
    Text headers;
    server_.SetHandler([](const RecordedRequest&) {
        return Response{.headerLines = {"X-Pad: "}, .body = "body"};
    });
    (void)WebAccess(server_.Url("/"), {.returnedHeaders = &headers});
    const std::string cookieLine = "Set-Cookie: k=1";
    const size_t room = 5000 - 1 - headers.size() - cookieLine.size() - 2;
    for (const size_t extra : {0, 1}) {
        SCOPED_TRACE(extra);
        const std::string pad(room + extra, 'p');
        server_.SetHandler([&](const RecordedRequest&) {
            return Response{.headerLines = {"X-Pad: " + pad, cookieLine}, .body = "body"};
        });
        Text returned = "old";
        const Bytes body = WebAccess(server_.Url("/"),
                                     {.returnedCookies = &returned, .returnedHeaders = &headers});
        EXPECT_EQ(S(body), "body");
        if (extra == 0) {
            EXPECT_EQ(headers.size(), 4999u);
            EXPECT_EQ(returned, "k=1");
        } else {
            EXPECT_EQ(headers, std::string(5000, ' '));
            EXPECT_EQ(returned, "");
        }
    }
}

TEST(WebAccessRedirect, FollowsAcrossSchemesUnlessNoRedirect) {
    std::atomic<int> plainPort = 0;
    TestServer secure(
        [&](const RecordedRequest& r) {
            if (r.target == "/back") {
                return Response{.status = 302,
                                .headerLines = {"Location: http://127.0.0.1:" +
                                                std::to_string(plainPort.load()) + "/final"}};
            }
            return Response{.headerLines = {"X-Where: secure"}, .body = "secure " + r.target};
        },
        {.tls = true});
    TestServer plain([&](const RecordedRequest& r) {
        if (r.target == "/to-https") {
            return Response{.status = 302,
                            .headerLines = {"Location: " + secure.Url("/landed")},
                            .body = "moved"};
        }
        if (r.target == "/to-back") {
            return Response{.status = 301, .headerLines = {"Location: " + secure.Url("/back")}};
        }
        return Response{.body = "plain " + r.target};
    });
    plainPort = plain.Port();

    Text headers;
    EXPECT_EQ(S(WebAccess(plain.Url("/to-https"), {.returnedHeaders = &headers})),
              "secure /landed");
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\nX-Where: secure\r\n")) << headers;

    EXPECT_EQ(S(WebAccess(plain.Url("/to-back"))), "plain /final");

    EXPECT_EQ(
        S(WebAccess(plain.Url("/to-https"), {.returnedHeaders = &headers, .noRedirect = true})),
        "moved");
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 302 ")) << headers;
    EXPECT_EQ(secure.RequestCount(), 2u);
}

TEST(WebAccessProxy, ProxyListPerScheme) {
    TestServer proxy([](const RecordedRequest& r) {
        if (r.method == "CONNECT") return Response{.status = 403};
        return Response{.body = "via proxy " + r.target};
    });
    // Nothing resolves the name: the proxy gets the whole URL.
    EXPECT_EQ(S(WebAccess("http://service.invalid/p?q=1", {.proxy = proxy.HostPort()})),
              "via proxy http://service.invalid/p?q=1");
    // An https URL asks the proxy for a tunnel, which this one refuses.
    EXPECT_TRUE(WebAccess("https://service.invalid/s", {.proxy = proxy.HostPort()}).empty());
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::vector<std::string> proxied = {
        "Host: service.invalid",
        "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
        "Accept: */*",
        "Referer: http://service.invalid/p?q=1",
        "Accept-Language: zh-cn",
    };
    EXPECT_EQ(requests[0].headerLines, proxied);
    EXPECT_EQ(requests[1].method, "CONNECT");
    EXPECT_EQ(requests[1].target, "service.invalid:443");
}

struct FailureCase {
    const char* name;
    std::string url;
    std::optional<Text> proxy;
    bool opened;  // the request was opened, so the outputs are written
    std::vector<InternetHandleEvent> events;
};

TEST(WebAccessFailure, EmptyResultAndOutputs) {
    using K = InternetHandleKind;
    std::string refusedUrl;
    {
        const TestServer gone([](const RecordedRequest&) { return Response{}; });
        refusedUrl = gone.Url("/x");
    }
    const std::vector<FailureCase> cases = {
        {"no root", "http://127.0.0.1/", ";", false, {}},
        {"no connection",
         "http://127.0.0.1:70000/",
         std::nullopt,
         false,
         {{K::root, true}, {K::root, false}}},
        {"no request",
         "http://127.0.0.1/a\x01"
         "b",
         std::nullopt,
         false,
         {{K::root, true}, {K::connection, true}, {K::connection, false}, {K::root, false}}},
        {"failed send",
         refusedUrl,
         std::nullopt,
         true,
         {{K::root, true},
          {K::connection, true},
          {K::request, true},
          {K::request, false},
          {K::connection, false},
          {K::root, false}}},
        {"not a host name",
         "https://srv?q=1",
         std::nullopt,
         true,
         {{K::root, true},
          {K::connection, true},
          {K::request, true},
          {K::request, false},
          {K::connection, false},
          {K::root, false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        (void)platform::TakeInternetHandleEvents();
        Text cookies = "a=1", returnedCookies = "rc", returnedHeaders = "rh";
        Bytes byteBody;
        const Bytes result = WebAccess(c.url, {.method = 1,
                                               .textBody = "body",
                                               .cookies = &cookies,
                                               .returnedCookies = &returnedCookies,
                                               .returnedHeaders = &returnedHeaders,
                                               .byteBody = &byteBody,
                                               .proxy = c.proxy});
        EXPECT_TRUE(result.empty());
        EXPECT_EQ(platform::TakeInternetHandleEvents(), c.events);
        if (c.opened) {
            EXPECT_EQ(returnedHeaders, std::string(5000, ' '));
            EXPECT_EQ(returnedCookies, "a=1");  // the merge of the jar with nothing
            EXPECT_EQ(cookies, "a=1");
            EXPECT_EQ(S(byteBody), "body");
        } else {
            EXPECT_EQ(returnedHeaders, "rh");
            EXPECT_EQ(returnedCookies, "rc");
            EXPECT_EQ(cookies, "a=1");
            EXPECT_TRUE(byteBody.empty());
        }
    }
}

// Answers that a hostile or broken server gives end within their bounds: a stall by the
// platform's stall time-out, shortened here, and everything else at once.
TEST_F(WebAccessTest, HostileAnswersEndInBoundedTime) {
    platform::SetInternetTimeoutsForThisThread({.connect = std::chrono::milliseconds(1000),
                                                .stall = std::chrono::milliseconds(1000),
                                                .total = std::chrono::milliseconds(10000)});
    std::string refusedUrl;
    {
        const TestServer gone([](const RecordedRequest&) { return Response{}; });
        refusedUrl = gone.Url("/");
    }
    const test::UnansweredListener unanswered;
    const std::string slowBody(200, 's');
    const std::string tenBytes = "0123456789";
    const size_t headAndFive =
        std::string_view("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n").size() + 5;
    server_.SetHandler([&](const RecordedRequest& r) {
        if (r.target == "/slow") {
            return Response{
                .body = slowBody, .pieceSize = 1, .pieceDelay = std::chrono::milliseconds(5)};
        }
        if (r.target == "/silent") return Response{.stallAfter = 0};
        if (r.target == "/stall") return Response{.body = tenBytes, .stallAfter = headAndFive};
        if (r.target == "/reset") return Response{.body = tenBytes, .resetAfter = headAndFive};
        if (r.target == "/loop") {
            return Response{.status = 302, .headerLines = {"Location: /loop"}, .body = "again"};
        }
        if (r.target == "/dead") {
            return Response{.status = 302, .headerLines = {"Location: " + refusedUrl}};
        }
        return Response{.body = "ok"};
    });
    struct Case {
        const char* name;
        std::string url;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"body a byte at a time", server_.Url("/slow"), slowBody},
        {"accepts and never answers", server_.Url("/silent"), ""},
        {"stall half-way: the bytes that came", server_.Url("/stall"), "01234"},
        {"reset half-way: the bytes that came", server_.Url("/reset"), "01234"},
        {"redirect loop: the last redirect's own body", server_.Url("/loop"), "again"},
        {"redirect to a port where nothing listens", server_.Url("/dead"), ""},
        {"a connect that is never answered", unanswered.Url(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(S(WebAccess(c.url)), c.body);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    }
    platform::SetInternetTimeoutsForThisThread({});
}

// The body is held in memory, so one beyond the limit fails the request instead of growing
// without end; a body of exactly the limit still comes back whole.
TEST(WebAccessLimits, ResponseBeyondTheLimitIsAFailedRequest) {
    constexpr std::uint64_t kLimit = platform::kMaxResponseBodyBytes;
    struct Case {
        const char* name;
        test::FloodOptions flood;
        std::uint64_t expectedBody;
    };
    const std::vector<Case> cases = {
        {"exactly the limit, announced", {.bodyBytes = kLimit, .announceLength = true}, kLimit},
        {"exactly the limit, unannounced", {.bodyBytes = kLimit}, kLimit},
        {"one byte over, announced", {.bodyBytes = kLimit + 1, .announceLength = true}, 0},
        {"one byte over, unannounced", {.bodyBytes = kLimit + 1}, 0},
        {"300 MB, unannounced", {.bodyBytes = std::uint64_t{300} << 20}, 0},
        {"header lines without end", {.endlessHeaders = true}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::FloodServer server(c.flood);
        Text headers = "stale";
        const auto start = std::chrono::steady_clock::now();
        const Bytes body = WebAccess(server.Url(), {.returnedHeaders = &headers});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_EQ(body.size(), c.expectedBody);
        if (!c.expectedBody) {
            EXPECT_EQ(headers, std::string(5000, ' '));
        }
        EXPECT_LT(server.BytesSent(), 2 * kLimit);
    }
    if (test::kPeakResidentIsMeaningful) {
        EXPECT_LT(test::PeakResidentBytes(), test::kPeakResidentLimit);
    }
}

}  // namespace
}  // namespace tarvo
