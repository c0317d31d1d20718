// A stand-in of the video service on 127.0.0.1, for tests, benchmarks and demonstrations.
//
// One HTTPS server plays both hosts of a real resolution: the share-link host and the
// service's web host. A share link "https://HOST/s/CODE/" answers with a redirect to the
// work's page, as the service does; the two detail endpoints answer with realistic JSON
// (tens of KB, Chinese text, "\u0026" escapes, emoji, 19-digit ids); "/video/NAME.mp4"
// serves a small video. The codes below choose the case a test needs. The addresses in
// the answers name the host that the request was sent to, so they lead back here.
//
// All members may be called from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/test_server.h"

namespace tarvo::test {

// Share codes the sample service knows.
namespace codes {
inline constexpr std::string_view kSample = "Sample01";        // the usual answer
inline constexpr std::string_view kOneUrl = "OneUrl01";        // url_list holds one entry
inline constexpr std::string_view kNullFallback = "NullFb01";  // video_fallback is null
inline constexpr std::string_view kNoCell = "NoCell01";        // the redirect has no cell_id
inline constexpr std::string_view kUpperHost = "UpHost01";     // the redirect's host in capitals
inline constexpr std::string_view kZeroByte = "Zero0001";      // item detail, zero byte, junk
inline constexpr std::string_view kError = "Error001";         // the service's error answer
inline constexpr std::string_view kNotJson = "NoJson01";       // item detail is an HTML page
inline constexpr std::string_view kCutVideo = "CutVid01";      // both videos break off half-way
}  // namespace codes

// What the usual answers hold, as UTF-8.
namespace sample {
inline constexpr std::string_view kItemId = "7301234567890123456";
inline constexpr std::string_view kCellId = "7301234567890654321";
inline constexpr std::string_view kTitle = "今天的晚霞太美了🌅 带你们看看海边的日落 #治愈系 #旅行";
inline constexpr std::string_view kUser = "摸鱼达人🐟小王";
}  // namespace sample

struct SampleServiceOptions {
    std::chrono::milliseconds delay{0};  // waited out before every answer
};

class SampleService {
  public:
    explicit SampleService(SampleServiceOptions options = {});

    // "127.0.0.1:<port>": the service host to hand to the job.
    [[nodiscard]] std::string Host() const { return server_.HostPort(); }
    [[nodiscard]] std::uint16_t Port() const { return server_.Port(); }
    // "https://127.0.0.1:<port>".
    [[nodiscard]] std::string Origin() const { return server_.Origin(); }
    // "https://127.0.0.1:<port>/s/<code>/".
    [[nodiscard]] std::string ShareLink(std::string_view code) const;
    // The first and second download address of the usual answer, as the job reads them.
    [[nodiscard]] std::string DownloadUrl(int n) const;
    // The bytes that every whole "/video/…" answer holds.
    [[nodiscard]] static const std::string& Video();

    [[nodiscard]] std::vector<RecordedRequest> Requests() const { return server_.Requests(); }

  private:
    Response Answer(const RecordedRequest& request) const;

    SampleServiceOptions options_;
    TestServer server_;
};

}  // namespace tarvo::test
