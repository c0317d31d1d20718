#include "cli/download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/http_download.h"

namespace tarvo::cli {
namespace {

constexpr size_t kLongestName = 120;  // bytes, before ".mp4"
constexpr std::string_view kExtension = ".mp4";
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

std::string Megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// Draws "  45%  12.3 MB of 27.1 MB  3.2 MB/s" over itself on standard error.
class ProgressLine {
  public:
    bool Update(const platform::DownloadProgress& progress) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastDrawn_ < kProgressInterval) return true;
        lastDrawn_ = now;
        const double seconds = std::chrono::duration<double>(now - started_).count();
        const double speed = seconds > 0 ? static_cast<double>(progress.received) / seconds : 0;
        if (progress.total > 0) {
            std::fprintf(stderr, "\r%4d%%  %s of %s  %s/s   ",
                         static_cast<int>(progress.received * 100 / progress.total),
                         Megabytes(progress.received).c_str(), Megabytes(progress.total).c_str(),
                         Megabytes(static_cast<std::uint64_t>(speed)).c_str());
        } else {
            std::fprintf(stderr, "\r  %s  %s/s   ", Megabytes(progress.received).c_str(),
                         Megabytes(static_cast<std::uint64_t>(speed)).c_str());
        }
        drawn_ = true;
        return true;
    }

    void Finish() {
        if (drawn_) std::fputc('\n', stderr);
    }

  private:
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn_{};
    bool drawn_ = false;
};

std::string Directory(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t FileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string Failure(const platform::DownloadResult& result) {
    if (result.cancelled) return "the download was cancelled";
    if (result.status >= 300) {
        return "the download failed with HTTP status " + std::to_string(result.status);
    }
    if (result.status == 0) return "the download failed: the video's server could not be reached";
    if (result.total > result.received) {
        return "the download was cut off after " + Megabytes(result.received) + " of " +
               Megabytes(result.total);
    }
    return "the download was cut off after " + Megabytes(result.received);
}

DownloadOutcome DownloadOnce(const std::string& url, const std::string& path,
                             const DownloadRequest& request) {
    std::string temporary = Directory(path) + "/." + BaseName(path) + ".part-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return {false, "", "cannot write " + path + ": " + std::strerror(errno)};
    ::fchmod(fd, FileMode());

    ProgressLine line;
    platform::DownloadOptions options;
    options.onProgress = [&](const platform::DownloadProgress& progress) {
        if (request.cancel != nullptr && request.cancel->load()) return false;
        return !request.showProgress || line.Update(progress);
    };
    const platform::DownloadResult result = platform::DownloadToFile(url, fd, options);
    line.Finish();

    const bool stored = result.complete && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!stored) {
        ::unlink(temporary.c_str());
        if (!result.complete) return {false, "", Failure(result)};
        return {false, "", "cannot write " + path + ": " + std::strerror(savedErrno)};
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int renameErrno = errno;
        ::unlink(temporary.c_str());
        return {false, "", "cannot write " + path + ": " + std::strerror(renameErrno)};
    }
    return {true, path, ""};
}

}  // namespace

DownloadOutcome DownloadVideo(const Resolution& video, const DownloadRequest& request) {
    const std::string path = request.path.value_or(SafeFileName(video.title));
    std::vector<std::string> urls;
    for (const std::string* url : {&video.url1, &video.url2}) {
        if (!url->empty()) urls.push_back(*url);
    }
    if (urls.empty()) return {false, "", "the service gave no video for this link"};
    DownloadOutcome outcome;
    for (const std::string& url : urls) {
        outcome = DownloadOnce(url, path, request);
        if (outcome.ok || (request.cancel != nullptr && request.cancel->load())) break;
    }
    return outcome;
}

std::string SafeFileName(std::string_view title) {
    std::string name;
    for (char c : title) {
        const auto u = static_cast<unsigned char>(c);
        const bool unsafe = u < 0x20 || u == 0x7F ||
                            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
        name.push_back(unsafe ? '_' : c);
    }
    const auto trimmed = [](char c) { return c == ' ' || c == '.' || c == '_'; };
    while (!name.empty() && trimmed(name.back())) name.pop_back();
    size_t start = 0;
    while (start < name.size() && (trimmed(name[start]) || name[start] == '-')) ++start;
    name.erase(0, start);
    if (name.size() > kLongestName) {
        size_t cut = kLongestName;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    if (name.empty()) name = "video";
    return name + std::string(kExtension);
}

}  // namespace tarvo::cli
