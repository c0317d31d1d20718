#include "platform/http_download.h"

#include <curl/curl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/curl_support.h"

namespace tarvo::platform {
namespace {

struct Transfer {
    int fd;
    const DownloadOptions* options;
    std::uint64_t written = 0;
    bool cancelled = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::write(transfer->fd, data + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;  // a short count makes libcurl fail the transfer
        done += static_cast<size_t>(n);
    }
    transfer->written += bytes;
    return bytes;
}

int OnProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    if (!transfer->options->onProgress) return 0;
    const DownloadProgress progress{static_cast<std::uint64_t>(now),
                                    static_cast<std::uint64_t>(total)};
    if (transfer->options->onProgress(progress)) return 0;
    transfer->cancelled = true;
    return 1;
}

}  // namespace

DownloadResult DownloadToFile(const std::string& url, int fd, const DownloadOptions& options) {
    DownloadResult result;
    CurlEasy easy = MakeEasyHandle();
    if (!easy) return result;
    CURL* h = easy.get();
    Transfer transfer{fd, &options};
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(options.connectTimeoutSeconds));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.stallSeconds));
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 0L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);

    const CURLcode code = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.status);
    curl_off_t length = -1;
    curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    result.received = transfer.written;
    result.total = length > 0 ? static_cast<std::uint64_t>(length) : transfer.written;
    result.cancelled = transfer.cancelled;
    result.complete = code == CURLE_OK && result.status >= 200 && result.status < 300;
    return result;
}

}  // namespace tarvo::platform
