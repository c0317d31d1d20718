#include "web/web_access_object.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/request_object.h"
#include "platform/response_limits.h"
#include "tests/support/flood_server.h"
#include "tests/support/test_server.h"
#include "tests/support/unanswered_listener.h"

namespace tarvo {
namespace {

using test::RecordedRequest;
using test::Response;
using test::TestServer;
using Lines = std::vector<std::string>;

const std::string kUserAgentLine = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

std::string BodyText(const Bytes& body) {
    return std::string(body.begin(), body.end());
}

// Answers "ok" unless a test scripts otherwise, and checks after each test that the call
// left COM as it found it.
class WebAccessObjectTest : public ::testing::Test {
  protected:
    void SetUp() override { comBefore_ = platform::ComInitCount(); }
    void TearDown() override { EXPECT_EQ(platform::ComInitCount(), comBefore_); }

    const RecordedRequest& OnlyRequest() {
        requests_ = server_.Requests();
        EXPECT_EQ(requests_.size(), 1u);
        if (requests_.empty()) requests_.emplace_back();
        return requests_.front();
    }
    std::string HostLine() const { return "Host: " + server_.HostPort(); }

    TestServer server_{[](const RecordedRequest&) { return Response{.body = "ok"}; }};
    std::vector<RecordedRequest> requests_;
    int comBefore_ = 0;
};

TEST_F(WebAccessObjectTest, DefaultsGoOutInOrderWithNothingAdded) {
    const std::string url = server_.Url("/share/x?a=1");
    int status = 0;
    Text headers;
    const Bytes body = WebAccessObject(url, {.returnedHeaders = &headers, .status = &status});
    EXPECT_EQ(BodyText(body), "ok");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(headers, "Content-Length: 2\r\n");
    const RecordedRequest& r = OnlyRequest();
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/share/x?a=1");
    EXPECT_EQ(r.headerLines, (Lines{HostLine(), "Accept: */*", "Referer: " + url,
                                    "Accept-Language: zh-cn", kUserAgentLine}));
    EXPECT_EQ(r.body, "");
}

TEST_F(WebAccessObjectTest, SettingsWrittenToTheRequestObject) {
    struct Case {
        const char* name;
        std::optional<int> timeoutSeconds;
        std::optional<bool> noRedirect;
        int expectedMs;
        int expectedRedirects;
    };
    const std::vector<Case> cases = {
        {"omitted", {}, {}, 15000, 1},
        {"-1 keeps the object's own", -1, {}, 1234, 1},
        {"0 is the default", 0, {}, 15000, 1},
        {"-5 is the default", -5, {}, 15000, 1},
        {"30 seconds", 30, {}, 30000, 1},
        {"too large for milliseconds", INT_MAX, {}, INT_MAX, 1},
        {"no redirect", {}, true, 15000, 0},
        {"noRedirect false writes nothing", {}, false, 15000, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto object = platform::CreateRequestObject(platform::kWinHttpRequestProgId);
        ASSERT_TRUE(object);
        ASSERT_TRUE(object->SetTimeouts(1234, 1234, 1234, 1234));
        const Bytes body = WebAccessObject(server_.Url("/"), {.noRedirect = c.noRedirect,
                                                              .timeoutSeconds = c.timeoutSeconds,
                                                              .requestObject = object.get()});
        EXPECT_EQ(BodyText(body), "ok");
        const platform::RequestTimeouts t = object->Timeouts();
        EXPECT_EQ(t.resolveMs, c.expectedMs);
        EXPECT_EQ(t.connectMs, c.expectedMs);
        EXPECT_EQ(t.sendMs, c.expectedMs);
        EXPECT_EQ(t.receiveMs, c.expectedMs);
        EXPECT_EQ(object->Option(platform::kOptionEnableRedirects), c.expectedRedirects);
        EXPECT_EQ(object->Option(platform::kOptionSslErrorIgnoreFlags), 0x3300);
    }
}

TEST_F(WebAccessObjectTest, MethodsAndContentType) {
    struct Case {
        const char* name;
        std::optional<int> method;
        std::optional<Text> headers;
        std::string expectedMethod;
        Lines expectedContentType;
    };
    const std::vector<Case> cases = {
        {"9 is GET", 9, {}, "GET", {}},
        {"-1 is GET", -1, {}, "GET", {}},
        {"POST gets the form type",
         1,
         {},
         "POST",
         {"Content-Type: application/x-www-form-urlencoded"}},
        {"POST keeps the caller's type, normalised",
         1,
         "content-type: text/plain",
         "POST",
         {"Content-Type: text/plain"}},
        {"PUT has no default type", 3, {}, "PUT", {}},
        {"DELETE", 5, {}, "DELETE", {}},
        {"OPTIONS", 4, {}, "OPTIONS", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = server_.RequestCount();
        static_cast<void>(WebAccessObject(
            server_.Url("/m"), {.method = c.method, .textBody = "x=1", .headers = c.headers}));
        const auto requests = server_.Requests();
        ASSERT_EQ(requests.size(), before + 1);
        const RecordedRequest& r = requests.back();
        EXPECT_EQ(r.method, c.expectedMethod);
        EXPECT_EQ(r.body, "x=1");
        Lines contentType;
        for (const auto& line : r.headerLines) {
            if (line.rfind("Content-Type", 0) == 0) contentType.push_back(line);
        }
        EXPECT_EQ(contentType, c.expectedContentType);
        EXPECT_EQ(r.HeaderCount("Content-Type"), static_cast<int>(c.expectedContentType.size()));
        EXPECT_EQ(r.HeaderCount("Expect"), 0);
    }
}

TEST_F(WebAccessObjectTest, HeadGetsNoBody) {
    int status = 0;
    const Bytes body = WebAccessObject(server_.Url("/h"), {.method = 2, .status = &status});
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(status, 200);
    EXPECT_EQ(OnlyRequest().method, "HEAD");
}

TEST_F(WebAccessObjectTest, CallerHeadersNormalisedAndDefaultsOnlyWhenMissing) {
    const std::string url = server_.Url("/");
    static_cast<void>(WebAccessObject(
        url, {.headers =
                  "x-requested-with: yes\r\nno colon\r\naccept: text/html\r\nreferer: http://r/"}));
    EXPECT_EQ(OnlyRequest().headerLines,
              (Lines{HostLine(), "X-Requested-With: yes", "Accept: text/html", "Referer: http://r/",
                     "Accept-Language: zh-cn", kUserAgentLine}));
}

TEST_F(WebAccessObjectTest, KeepAliveLineRules) {
    struct Case {
        const char* name;
        Text headers;
        Lines expected;
    };
    const std::vector<Case> cases = {
        {"single keep-alive line is sent", "Connection: keep-alive", {"Connection: keep-alive"}},
        {"keep-alive left out among several lines", "X-A: 1\r\nConnection: keep-alive", {"X-A: 1"}},
        {"other case of the value is sent",
         "X-A: 1\r\nConnection: Keep-Alive",
         {"X-A: 1", "Connection: Keep-Alive"}},
        {"other case alone is sent", "Connection: Keep-Alive", {"Connection: Keep-Alive"}},
        {"empty lines skipped", "\r\nX-A: 1\r\n\r\nX-B: 2", {"X-A: 1", "X-B: 2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = server_.RequestCount();
        static_cast<void>(
            WebAccessObject(server_.Url("/"), {.headers = c.headers, .completeHeaders = false}));
        const auto requests = server_.Requests();
        ASSERT_EQ(requests.size(), before + 1);
        Lines expected = {HostLine()};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(requests.back().headerLines, expected);
    }
}

TEST_F(WebAccessObjectTest, RedirectFollowedByDefaultNotWithNoRedirect) {
    server_.SetHandler([](const RecordedRequest& r) {
        if (r.target == "/final") return Response{.body = "final"};
        return Response{.status = 302, .headerLines = {"Location: /final"}, .body = "moved"};
    });
    int status = 0;
    Text headers;
    Bytes body =
        WebAccessObject(server_.Url("/r"), {.returnedHeaders = &headers, .status = &status});
    EXPECT_EQ(BodyText(body), "final");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(headers, "Content-Length: 5\r\n");

    body = WebAccessObject(server_.Url("/r"),
                           {.returnedHeaders = &headers, .status = &status, .noRedirect = true});
    EXPECT_EQ(BodyText(body), "moved");
    EXPECT_EQ(status, 302);
    EXPECT_EQ(headers, "Location: /final\r\nContent-Length: 5\r\n");
    EXPECT_EQ(server_.RequestCount(), 3u);
}

TEST_F(WebAccessObjectTest, SelfSignedCertificateAccepted) {
    TestServer tls([](const RecordedRequest&) { return Response{.body = "secure"}; },
                   {.tls = true});
    int status = 0;
    const Bytes body = WebAccessObject(tls.Url("/s"), {.status = &status});
    EXPECT_EQ(BodyText(body), "secure");
    EXPECT_EQ(status, 200);
}

TEST_F(WebAccessObjectTest, SetCookieLinesCollectedWithCase) {
    server_.SetHandler([](const RecordedRequest&) {
        return Response{.headerLines = {"Set-Cookie: a=1; path=/", "set-cookie: c=3",
                                        "Set-Cookie: b=2", "Set-Cookie:d=4"}};
    });
    Text returnedCookies = "stale";
    static_cast<void>(WebAccessObject(server_.Url("/"), {.returnedCookies = &returnedCookies}));
    // "Set-Cookie:d=4" lacks the ": " that marks a Set-Cookie line.
    EXPECT_EQ(returnedCookies, "a=1; b=2");
    EXPECT_EQ(OnlyRequest().HeaderCount("Cookie"), 0);
}

TEST_F(WebAccessObjectTest, CookieStrippingAndMerge) {
    server_.SetHandler([](const RecordedRequest&) {
        return Response{.headerLines = {"Set-Cookie: a=2; HttpOnly"}};
    });
    struct Case {
        const char* name;
        Text cookies;
        std::optional<bool> autoMerge;
        std::string sentLine, cookiesAfter, returnedAfter;
    };
    const std::vector<Case> cases = {
        {"Cookie: removed, merged", "Cookie: a=1", {}, "Cookie:  a=1", "a=2", "a=2"},
        {"removal ignores case, other cookies kept",
         "cookie: a=1; COOKIE:b=3",
         {},
         "Cookie:  a=1; b=3",
         "a=2; b=3",
         "a=2; b=3"},
        {"no merge keeps the stripped text", "Cookie: a=1", false, "Cookie:  a=1", " a=1", "a=2"},
        {"empty cookies still sent and merged", "", {}, "Cookie:", "a=2", "a=2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = server_.RequestCount();
        Text cookies = c.cookies;
        Text returned;
        static_cast<void>(WebAccessObject(
            server_.Url("/"),
            {.cookies = &cookies, .returnedCookies = &returned, .autoMergeCookies = c.autoMerge}));
        const auto requests = server_.Requests();
        ASSERT_EQ(requests.size(), before + 1);
        const RecordedRequest& r = requests.back();
        ASSERT_EQ(r.HeaderCount("Cookie"), 1);
        // The Cookie header comes before the caller's and the default header lines.
        EXPECT_EQ(r.headerLines[1], c.sentLine);
        EXPECT_EQ(cookies, c.cookiesAfter);
        EXPECT_EQ(returned, c.returnedAfter);
    }
}

TEST_F(WebAccessObjectTest, ProxyWithAndWithoutUser) {
    struct Case {
        const char* name;
        std::optional<Text> user;
        std::optional<int> credentialsFor;
        std::string expectedAuthorization;
    };
    const std::vector<Case> cases = {
        {"no user, no credentials", {}, {}, ""},
        {"user adds basic authorization", "user", {}, "Basic dXNlcjpwdw=="},
        {"server credentials add no proxy header", "user", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = server_.RequestCount();
        const Bytes body = WebAccessObject("http://video.example.test/p?q=1",
                                           {.proxy = server_.HostPort(),
                                            .proxyUser = c.user,
                                            .proxyPassword = "pw",
                                            .credentialsFor = c.credentialsFor});
        EXPECT_EQ(BodyText(body), "ok");
        const auto requests = server_.Requests();
        ASSERT_EQ(requests.size(), before + 1);
        const RecordedRequest& r = requests.back();
        EXPECT_EQ(r.target, "http://video.example.test/p?q=1");
        EXPECT_EQ(r.Header("Host"), "video.example.test");
        EXPECT_EQ(r.Header("Proxy-Authorization"), c.expectedAuthorization);
        EXPECT_LE(r.HeaderCount("Proxy-Authorization"), 1);
        EXPECT_EQ(r.HeaderCount("Proxy-Connection"), 0);
    }
}

TEST_F(WebAccessObjectTest, ByteBodyWinsOverTextBody) {
    const Bytes bytes = {'b', 0, 'y', 0xFF};
    static_cast<void>(
        WebAccessObject(server_.Url("/"), {.method = 1, .textBody = "text", .byteBody = bytes}));
    static_cast<void>(
        WebAccessObject(server_.Url("/"), {.method = 1, .textBody = "text", .byteBody = Bytes{}}));
    static_cast<void>(WebAccessObject(server_.Url("/"), {.method = 1}));
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].body, std::string("b\0y\xFF", 4));
    EXPECT_EQ(requests[1].body, "text");
    EXPECT_EQ(requests[2].body, "");
    EXPECT_EQ(requests[2].Header("Content-Length"), "0");
}

TEST_F(WebAccessObjectTest, SuppliedObjectIsReusedOverOneConnection) {
    auto object = platform::CreateRequestObject(platform::kWinHttpRequestProgId);
    ASSERT_TRUE(object);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(BodyText(WebAccessObject(server_.Url("/again"), {.requestObject = object.get()})),
                  "ok");
    }
    EXPECT_EQ(server_.RequestCount(), 3u);
    EXPECT_EQ(server_.ConnectionCount(), 1);
}

// Each way a request can fail ends in an empty body, status 0, empty response headers and,
// after a merge, the sent cookies.
TEST_F(WebAccessObjectTest, FailuresGiveEmptyBodyAndStatusZero) {
    TestServer stalled([](const RecordedRequest&) { return Response{.stallAfter = 0}; });
    TestServer cut(
        [](const RecordedRequest&) { return Response{.body = "0123456789", .resetAfter = 30}; });
    test::UnansweredListener unanswered;
    std::string refusedUrl;
    {
        TestServer gone([](const RecordedRequest&) { return Response{}; });
        refusedUrl = gone.Url("/");
    }
    struct Case {
        const char* name;
        std::string url;
    };
    const std::vector<Case> cases = {
        {"unreachable host", unanswered.Url()},
        {"refused connection", refusedUrl},
        {"stalled server", stalled.Url("/")},
        {"reset in the middle of the answer", cut.Url("/")},
        {"scheme other than http", "file:///etc/hostname"},
        {"malformed url", "http://[::1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int status = -1;
        Text headers = "stale";
        Text cookies = "Cookie: a=1";
        Text returned = "stale";
        const auto start = std::chrono::steady_clock::now();
        const Bytes body = WebAccessObject(c.url, {.cookies = &cookies,
                                                   .returnedCookies = &returned,
                                                   .returnedHeaders = &headers,
                                                   .status = &status,
                                                   .timeoutSeconds = 1});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
        EXPECT_TRUE(body.empty());
        EXPECT_EQ(status, 0);
        EXPECT_EQ(headers, "");
        EXPECT_EQ(cookies, "a=1");
        EXPECT_EQ(returned, "a=1");
    }
}

// Answers that a hostile or broken server gives: each ends within its bound, and only a
// whole answer counts.
TEST_F(WebAccessObjectTest, HostileAnswersEndInBoundedTime) {
    std::string refusedUrl;
    {
        TestServer gone([](const RecordedRequest&) { return Response{}; });
        refusedUrl = gone.Url("/");
    }
    const std::string slowBody(200, 's');
    server_.SetHandler([&](const RecordedRequest& r) {
        if (r.target == "/slow") {
            return Response{
                .body = slowBody, .pieceSize = 1, .pieceDelay = std::chrono::milliseconds(5)};
        }
        if (r.target == "/loop") return Response{.status = 302, .headerLines = {"Location: /loop"}};
        if (r.target == "/dead")
            return Response{.status = 302, .headerLines = {"Location: " + refusedUrl}};
        return Response{.body = "ok"};
    });
    struct Case {
        const char* name;
        std::string path;
        std::string body;
        int status;
    };
    const std::vector<Case> cases = {
        {"body a byte at a time", "/slow", slowBody, 200},
        {"redirect loop", "/loop", "", 0},
        {"redirect to a port where nothing listens", "/dead", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int status = -1;
        const auto start = std::chrono::steady_clock::now();
        const Bytes body =
            WebAccessObject(server_.Url(c.path), {.status = &status, .timeoutSeconds = 2});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(BodyText(body), c.body);
        EXPECT_EQ(status, c.status);
    }
    // The loop was cut after ten redirects.
    EXPECT_LE(server_.RequestCount(), 1u + 11u + 1u);
}

// The body is held in memory, so one beyond the limit fails the request instead of growing
// without end; a body of exactly the limit still comes back whole.
TEST(WebAccessObjectLimits, ResponseBeyondTheLimitIsAFailedRequest) {
    constexpr std::uint64_t kLimit = platform::kMaxResponseBodyBytes;
    struct Case {
        const char* name;
        test::FloodOptions flood;
        std::uint64_t expectedBody;
    };
    const std::vector<Case> cases = {
        {"exactly the limit, announced", {.bodyBytes = kLimit, .announceLength = true}, kLimit},
        {"one byte over, announced", {.bodyBytes = kLimit + 1, .announceLength = true}, 0},
        {"one byte over, unannounced", {.bodyBytes = kLimit + 1}, 0},
        {"300 MB, unannounced", {.bodyBytes = std::uint64_t{300} << 20}, 0},
        {"header lines without end", {.endlessHeaders = true}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::FloodServer server(c.flood);
        int status = -1;
        Text headers = "stale";
        const auto start = std::chrono::steady_clock::now();
        const Bytes body = WebAccessObject(
            server.Url(), {.returnedHeaders = &headers, .status = &status, .timeoutSeconds = 5});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_EQ(body.size(), c.expectedBody);
        EXPECT_EQ(status, c.expectedBody ? 200 : 0);
        if (!c.expectedBody) {
            EXPECT_EQ(headers, "");
        }
        // The client stopped reading soon after the limit.
        EXPECT_LT(server.BytesSent(), 2 * kLimit);
    }
    if (test::kPeakResidentIsMeaningful) {
        EXPECT_LT(test::PeakResidentBytes(), test::kPeakResidentLimit);
    }
}

}  // namespace
}  // namespace tarvo
