#include "job/share_link_job.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/internet.h"
#include "tests/support/hostile_service.h"
#include "tests/support/sample_service.h"
#include "text/conversion.h"

namespace tarvo {
namespace {

using test::SampleService;
namespace codes = test::codes;
namespace sample = test::sample;

// Records every call of the job, in order, as "name=value" (values turned to UTF-8).
class RecordingOutput final : public JobOutput {
  public:
    void SetUser(const Text& t) override { calls.push_back("user=" + GbkToUtf8(t)); }
    void SetDownUrl1(const Text& t) override { calls.push_back("url1=" + GbkToUtf8(t)); }
    void SetDownUrl2(const Text& t) override { calls.push_back("url2=" + GbkToUtf8(t)); }
    void SetTitle(const Text& t) override { calls.push_back("title=" + GbkToUtf8(t)); }
    void SetPage(Page page) override {
        calls.push_back("page=" + std::to_string(static_cast<int>(page)));
    }
    std::vector<std::string> calls;
};

// What the window shows of a UTF-8 text: code page 936 has no emoji, so they become "?".
std::string Shown(std::string_view utf8) {
    return GbkToUtf8(Utf8ToGbk(utf8));
}

std::string CellTarget(std::string_view id) {
    return "/bds/webapi/cell/detail/?cell_id=" + std::string(id) + "&cell_type=8&source=share";
}

std::string ItemTarget(std::string_view id) {
    return "/bds/webapi/item/detail/?item_id=" + std::string(id) + "&source=share";
}

// A port on 127.0.0.1 where nothing listens: bound once, then closed.
int DeadPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

class ShareLinkJobTest : public ::testing::Test {
  protected:
    std::vector<std::string> Run(std::string_view code) {
        RecordingOutput output;
        ShareLinkJob(service.ShareLink(code), output, {.host = service.Host()});
        return output.calls;
    }

    SampleService service;
};

TEST_F(ShareLinkJobTest, ResolvesTheUsualAnswerInOrder) {
    const std::vector<std::string> calls = Run(codes::kSample);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "user=" + Shown(sample::kUser),
                         "url1=" + service.DownloadUrl(1),
                         "url2=" + service.DownloadUrl(2),
                         "title=" + Shown(sample::kTitle),
                         "page=2",
                     }));
    EXPECT_NE(service.DownloadUrl(1), service.DownloadUrl(2));
    EXPECT_NE(service.DownloadUrl(1).find("&br="), std::string::npos);
}

TEST_F(ShareLinkJobTest, SendsThreeRequestsWithTheFixedHeaders) {
    Run(codes::kSample);
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 3u);
    const std::vector<std::string> targets = {"/s/Sample01/", CellTarget(sample::kCellId),
                                              ItemTarget(sample::kItemId)};
    for (size_t i = 0; i < requests.size(); ++i) {
        SCOPED_TRACE(targets[i]);
        const auto& r = requests[i];
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.target, targets[i]);
        EXPECT_EQ(r.Header("Accept"), "*/*");
        EXPECT_EQ(r.HeaderCount("Accept"), 1);
        EXPECT_EQ(r.Header("Referer"), service.Origin() + targets[i]);
        EXPECT_EQ(r.Header("Accept-Language"), "zh-cn");
        EXPECT_EQ(r.Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
        EXPECT_EQ(r.HeaderCount("Cookie"), 0);
        EXPECT_TRUE(r.body.empty());
    }
}

TEST_F(ShareLinkJobTest, EdgeCasesOfTheService) {
    struct Case {
        std::string_view code;
        bool user, url1, url2, title;
        std::string_view cellId, itemId;
    };
    const std::vector<Case> cases = {
        {codes::kOneUrl, true, true, false, true, sample::kCellId, "7301234567890123457"},
        {codes::kNullFallback, true, false, false, true, sample::kCellId, "7301234567890123458"},
        // No cell id in the redirect: the cell detail is asked with an empty id all the same.
        {codes::kNoCell, false, true, true, true, "", sample::kItemId},
        // Only the part before the zero byte is read; the junk after it does not matter.
        {codes::kZeroByte, true, true, true, true, sample::kCellId, "7301234567890123459"},
        {codes::kError, true, false, false, false, sample::kCellId, "7301234567890123460"},
        {codes::kNotJson, true, false, false, false, sample::kCellId, "7301234567890123461"},
        // An unknown code answers 404 without a redirect: both ids are empty.
        {"Unknown1", false, false, false, false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        SampleService fresh;
        RecordingOutput output;
        ShareLinkJob(fresh.ShareLink(c.code), output, {.host = fresh.Host()});
        ASSERT_EQ(output.calls.size(), 5u);
        auto filled = [&](size_t i) {
            return output.calls[i].find('=') + 1 < output.calls[i].size();
        };
        EXPECT_EQ(filled(0), c.user) << output.calls[0];
        EXPECT_EQ(filled(1), c.url1) << output.calls[1];
        EXPECT_EQ(filled(2), c.url2) << output.calls[2];
        EXPECT_EQ(filled(3), c.title) << output.calls[3];
        EXPECT_EQ(output.calls[4], "page=2");
        const auto requests = fresh.Requests();
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_EQ(requests[1].target, CellTarget(c.cellId));
        EXPECT_EQ(requests[2].target, ItemTarget(c.itemId));
    }
}

TEST_F(ShareLinkJobTest, MatchesTheHostWithCase) {
    // The redirect names the host in capitals: the item marker, written with the
    // configured host, does not match it, while the cell id is still found.
    const std::string host = "localhost:" + std::to_string(service.Port());
    RecordingOutput output;
    ShareLinkJob("https://" + host + "/s/" + std::string(codes::kUpperHost) + "/", output,
                 {.host = host});
    EXPECT_EQ(output.calls, (std::vector<std::string>{"user=" + Shown(sample::kUser),
                                                      "url1=", "url2=", "title=", "page=2"}));
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].target, ItemTarget(""));
}

TEST(ShareLinkJob, WithoutNetworkEveryBoxIsEmptiedAndThePageIsEnd) {
    const std::string host = "127.0.0.1:" + std::to_string(DeadPort());
    RecordingOutput output;
    const auto started = std::chrono::steady_clock::now();
    ShareLinkJob("https://" + host + "/s/Sample01/", output, {.host = host});
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(output.calls,
              (std::vector<std::string>{"user=", "url1=", "url2=", "title=", "page=2"}));
    EXPECT_LT(took, std::chrono::seconds(5));
}

// ThreadSanitizer runs the engine's allocations several times slower: the bounds below,
// which include the script engine's work, stretch with it there.
#if defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 3;
#else
constexpr int kSlowdown = 1;
#endif

// Whatever the service's web host does, the job ends on End within its bound and leaves
// the boxes as the answers allow. The stall time-outs of the detail requests are the
// platform's own, shortened here to 2 s; the share link answers at once.
TEST(ShareLinkJob, HostileServiceEndsOnEndWithinItsBound) {
    using test::Hostility;
    platform::SetInternetTimeoutsForThisThread({.connect = std::chrono::milliseconds(2000),
                                                .stall = std::chrono::milliseconds(2000),
                                                .total = std::chrono::milliseconds(20000)});
    const std::vector<std::string> nothing = {"user=", "url1=", "url2=", "title=", "page=2"};
    const std::vector<std::string> whole = {"user=user", "url1=https://v/1", "url2=https://v/2",
                                            "title=t", "page=2"};
    struct Case {
        const char* name;
        Hostility hostility;
        std::vector<std::string> calls;
        std::chrono::seconds bound;
    };
    const std::vector<Case> cases = {
        {"never answers", Hostility::kNeverAnswers, nothing, std::chrono::seconds(8)},
        {"a byte at a time", Hostility::kByteAtATime, whole, std::chrono::seconds(5)},
        {"reset half-way", Hostility::kResetHalfWay, nothing, std::chrono::seconds(3)},
        {"redirect loop", Hostility::kRedirectLoop, nothing, std::chrono::seconds(3)},
        {"redirect to a dead port", Hostility::kRedirectToDeadPort, nothing,
         std::chrono::seconds(3)},
        {"header block over 5000 bytes", Hostility::kHugeHeader, whole, std::chrono::seconds(3)},
        {"body of 300 MB", Hostility::kHugeBody, nothing, std::chrono::seconds(20)},
        {"script string", Hostility::kScriptString, nothing, std::chrono::seconds(8)},
        {"endless allocation", Hostility::kEndlessAllocation, nothing, std::chrono::seconds(8)},
        {"zero byte early", Hostility::kZeroByteEarly, nothing, std::chrono::seconds(3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::HostileService service(c.hostility);
        RecordingOutput output;
        const auto started = std::chrono::steady_clock::now();
        ShareLinkJob(service.ShareLink(), output, {.host = service.Host()});
        EXPECT_LT(std::chrono::steady_clock::now() - started, c.bound * kSlowdown);
        EXPECT_EQ(output.calls, c.calls);
    }
    {
        SCOPED_TRACE("invalid UTF-8 and code page 936 edge bytes");
        const test::HostileService service(Hostility::kBadBytes);
        RecordingOutput output;
        ShareLinkJob(service.ShareLink(), output, {.host = service.Host()});
        ASSERT_EQ(output.calls.size(), 5u);
        EXPECT_EQ(output.calls.back(), "page=2");
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(output.calls[i].substr(output.calls[i].find('=') + 1).find_first_not_of('?'),
                      std::string::npos)
                << output.calls[i];
        }
    }
    platform::SetInternetTimeoutsForThisThread({});
}

}  // namespace
}  // namespace tarvo
