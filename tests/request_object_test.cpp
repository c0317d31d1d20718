#include "platform/request_object.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_server.h"
#include "tests/support/unanswered_listener.h"

namespace tarvo::platform {
namespace {

using test::RecordedRequest;
using test::Response;
using test::TestServer;
using Clock = std::chrono::steady_clock;

std::unique_ptr<RequestObject> NewObject() {
    return CreateRequestObject(kWinHttpRequestProgId);
}

std::string BodyText(const RequestObject& object) {
    const Bytes body = object.ResponseBody();
    return std::string(body.begin(), body.end());
}

TEST(RequestObject, CreatedOnlyByItsIdentifier) {
    EXPECT_TRUE(CreateRequestObject("WinHttp.WinHttpRequest.5.1"));
    for (const char* other :
         {"", "WinHttp.WinHttpRequest.5", "winhttp.winhttprequest.5.1", "MSXML2.XMLHTTP"}) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(CreateRequestObject(other));
    }
}

TEST(RequestObject, OpenAcceptsOnlySynchronousWebRequests) {
    struct Case {
        const char* name;
        std::string method, url;
        bool async;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"http", "GET", "http://127.0.0.1:1/", false, true},
        {"https, upper-case scheme", "GET", "HTTPS://127.0.0.1:1/", false, true},
        {"file", "GET", "file:///etc/hostname", false, false},
        {"ftp", "GET", "ftp://127.0.0.1/", false, false},
        {"not a url", "GET", "http://[::1", false, false},
        {"empty method", "", "http://127.0.0.1:1/", false, false},
        {"asynchronous", "GET", "http://127.0.0.1:1/", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto object = NewObject();
        EXPECT_EQ(object->Open(c.method, c.url, c.async), c.expected);
        // Without an open request nothing can be set or sent.
        EXPECT_EQ(object->SetRequestHeader("X-A", "1"), c.expected);
        if (!c.expected) {
            EXPECT_FALSE(object->Send());
        }
    }
}

TEST(RequestObject, HeadersOnceInCallerOrderAndNothingOfItsOwn) {
    TestServer server([](const RecordedRequest&) { return Response{}; });
    auto object = NewObject();
    ASSERT_TRUE(object->Open("POST", server.Url("/p")));
    EXPECT_TRUE(object->SetRequestHeader("X-First", "1"));
    EXPECT_TRUE(object->SetRequestHeader("accept", "text/plain"));
    EXPECT_TRUE(object->SetRequestHeader("X-Empty", ""));
    EXPECT_TRUE(object->SetRequestHeader("x-first", "again"));  // replaces in place
    EXPECT_FALSE(object->SetRequestHeader("", "no name"));
    EXPECT_FALSE(object->SetRequestHeader("X-Bad", "a\r\nInjected: yes"));
    EXPECT_FALSE(object->SetRequestHeader("X-Bad:", "v"));
    // Large enough that libcurl would ask for 100-continue if left to itself.
    const Bytes body(2 << 20, 'z');
    ASSERT_TRUE(object->Send(body));
    EXPECT_EQ(object->Status(), 200);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].headerLines,
              (std::vector<std::string>{
                  "Host: " + server.HostPort(), "X-First: again", "accept: text/plain",
                  "X-Empty:", "Content-Length: " + std::to_string(body.size())}));
    EXPECT_EQ(requests[0].body.size(), body.size());
}

TEST(RequestObject, OpenForgetsThePreviousRequest) {
    TestServer server([](const RecordedRequest& r) { return Response{.body = r.target}; });
    auto object = NewObject();
    ASSERT_TRUE(object->Open("GET", server.Url("/one")));
    ASSERT_TRUE(object->SetRequestHeader("X-One", "1"));
    ASSERT_TRUE(object->Send());
    EXPECT_EQ(BodyText(*object), "/one");
    ASSERT_TRUE(object->Open("GET", server.Url("/two")));
    EXPECT_EQ(object->Status(), 0);
    EXPECT_TRUE(object->ResponseBody().empty());
    ASSERT_TRUE(object->Send());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].HeaderCount("X-One"), 0);
    EXPECT_EQ(BodyText(*object), "/two");
}

TEST(RequestObject, RedirectToAnotherSchemeFails) {
    TestServer server([](const RecordedRequest& r) {
        if (r.target == "/ok") return Response{.status = 301, .headerLines = {"Location: /end"}};
        if (r.target == "/end") return Response{.body = "end"};
        return Response{.status = 302, .headerLines = {"Location: file:///etc/hostname"}};
    });
    auto object = NewObject();
    ASSERT_TRUE(object->Open("GET", server.Url("/file")));
    EXPECT_FALSE(object->Send());
    EXPECT_EQ(object->Status(), 0);
    EXPECT_EQ(object->GetAllResponseHeaders(), "");
    // The same object goes on to serve a good request.
    ASSERT_TRUE(object->Open("GET", server.Url("/ok")));
    EXPECT_TRUE(object->Send());
    EXPECT_EQ(object->Status(), 200);
    EXPECT_EQ(BodyText(*object), "end");
}

TEST(RequestObject, CertificateErrorsIgnoredOnlyWhenAsked) {
    TestServer server([](const RecordedRequest&) { return Response{.body = "tls"}; },
                      {.tls = true});
    struct Case {
        const char* name;
        std::optional<int> flags;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"verified by default", {}, false},
        {"unknown authority alone is not enough", kSslErrorIgnoreUnknownCa, false},
        {"all four flags", kSslErrorIgnoreAll, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto object = NewObject();
        if (c.flags) {
            ASSERT_TRUE(object->SetOption(kOptionSslErrorIgnoreFlags, *c.flags));
        }
        ASSERT_TRUE(object->Open("GET", server.Url("/")));
        EXPECT_EQ(object->Send(), c.expected);
        EXPECT_EQ(BodyText(*object), c.expected ? "tls" : "");
    }
}

TEST(RequestObject, ServerCredentialsAnswerAChallenge) {
    TestServer server([](const RecordedRequest& r) {
        if (r.Header("Authorization").empty()) {
            return Response{.status = 401, .headerLines = {"WWW-Authenticate: Basic realm=\"t\""}};
        }
        return Response{.body = r.Header("Authorization")};
    });
    auto object = NewObject();
    ASSERT_TRUE(object->Open("GET", server.Url("/")));
    EXPECT_FALSE(object->SetCredentials("u", "p", 7));
    ASSERT_TRUE(object->SetCredentials("u", "p", kCredentialsForServer));
    ASSERT_TRUE(object->Send());
    EXPECT_EQ(object->Status(), 200);
    EXPECT_EQ(BodyText(*object), "Basic dTpw");
}

TEST(RequestObject, ProxySettingTakesEffectAndCanBeUndone) {
    TestServer server([](const RecordedRequest& r) { return Response{.body = r.target}; });
    auto object = NewObject();
    EXPECT_FALSE(object->SetProxy(3, server.HostPort()));
    ASSERT_TRUE(object->SetProxy(kProxySettingProxy, server.HostPort()));
    ASSERT_TRUE(object->Open("GET", "http://far.example.test/x"));
    ASSERT_TRUE(object->Send());
    EXPECT_EQ(BodyText(*object), "http://far.example.test/x");
    ASSERT_TRUE(object->SetProxy(kProxySettingDirect));
    ASSERT_TRUE(object->Open("GET", server.Url("/direct")));
    ASSERT_TRUE(object->Send());
    EXPECT_EQ(BodyText(*object), "/direct");
}

TEST(RequestObject, StallIsCutButASlowMovingBodyIsNot) {
    TestServer server([](const RecordedRequest& r) {
        if (r.target == "/slow") {
            return Response{
                .body = "abcdef", .pieceSize = 1, .pieceDelay = std::chrono::milliseconds(300)};
        }
        return Response{.body = "never all of it", .stallAfter = 45};
    });
    auto object = NewObject();
    ASSERT_TRUE(object->SetTimeouts(1000, 1000, 1000, 1000));

    ASSERT_TRUE(object->Open("GET", server.Url("/slow")));
    EXPECT_TRUE(object->Send());
    EXPECT_EQ(BodyText(*object), "abcdef");

    ASSERT_TRUE(object->Open("GET", server.Url("/stall")));
    const auto start = Clock::now();
    EXPECT_FALSE(object->Send());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(object->Status(), 0);
    EXPECT_TRUE(object->ResponseBody().empty());
}

TEST(RequestObject, ConnectTimeOutBoundsAnUnansweredConnect) {
    test::UnansweredListener unanswered;
    auto object = NewObject();
    ASSERT_TRUE(object->SetTimeouts(500, 500, 1000, 1000));
    ASSERT_TRUE(object->Open("GET", unanswered.Url()));
    const auto start = Clock::now();
    EXPECT_FALSE(object->Send());
    const auto took = Clock::now() - start;
    // Resolve and connect together make the bound.
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_EQ(object->Status(), 0);
}

}  // namespace
}  // namespace tarvo::platform
