// Streams one HTTP or HTTPS resource into an open file, for downloads too large to hold in
// memory. Redirects are followed (http and https only) and, as everywhere in this system,
// server certificates are not checked. Any thread may call it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tarvo::platform {

struct DownloadProgress {
    std::uint64_t received = 0;
    std::uint64_t total = 0;  // 0 while the size is not known
};

struct DownloadResult {
    bool complete = false;  // the whole body arrived with a success status
    long status = 0;        // the final response's status, 0 when none arrived
    std::uint64_t received = 0;
    std::uint64_t total = 0;
    bool cancelled = false;  // the progress callback asked to stop
};

struct DownloadOptions {
    int connectTimeoutSeconds = 30;
    int stallSeconds = 60;  // a transfer that moves no byte for this long fails
    // Called now and then while bytes arrive; returning false cancels the download.
    std::function<bool(const DownloadProgress&)> onProgress;
};

// Writes the body of `url` to the file descriptor `fd`.
[[nodiscard]] DownloadResult DownloadToFile(const std::string& url, int fd,
                                            const DownloadOptions& options);

}  // namespace tarvo::platform
