// Downloading a resolved video to a file. The file appears only when the download is
// complete: bytes go to a temporary file beside it, renamed at the end, so a failure
// leaves no partial file and no earlier file of that name damaged. Texts are UTF-8.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "cli/resolver.h"

namespace tarvo::cli {

struct DownloadRequest {
    std::optional<std::string> path;            // default: SafeFileName(title)
    bool showProgress = false;                  // a progress line on standard error
    const std::atomic<bool>* cancel = nullptr;  // set to true to stop (Ctrl-C)
};

struct DownloadOutcome {
    bool ok = false;
    std::string path;   // the file written, when ok
    std::string error;  // one sentence for the user, when not ok
};

// Downloads the first address of `video`, or the second when the first is empty or fails.
[[nodiscard]] DownloadOutcome DownloadVideo(const Resolution& video,
                                            const DownloadRequest& request);

// A file name made from a title: characters that file systems or shells trip over become
// "_", it is cut to a sensible length on a character boundary, and it ends in ".mp4".
[[nodiscard]] std::string SafeFileName(std::string_view title);

}  // namespace tarvo::cli
