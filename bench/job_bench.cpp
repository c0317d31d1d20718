// The whole share-link job in-process against the sample service on loopback, and beside
// it the network floor: the same three HTTPS requests made with bare libcurl, each on a
// new handle and connection, with the job's TLS settings (HTTP/1.1, certificates not
// checked) and nothing else. The ratio of the two is the job's own overhead.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <string>

#include "job/share_link_job.h"
#include "tests/support/sample_service.h"

namespace tarvo::bench {
namespace {

test::SampleService& Service() {
    static test::SampleService service;
    return service;
}

class Results : public JobOutput {
  public:
    void SetUser(const Text& user) override { user_ = user; }
    void SetDownUrl1(const Text& url) override { url1_ = url; }
    void SetDownUrl2(const Text& url) override { url2_ = url; }
    void SetTitle(const Text& title) override { title_ = title; }
    void SetPage(Page) override {}
    [[nodiscard]] bool Complete() const {
        return !user_.empty() && !url1_.empty() && !url2_.empty() && !title_.empty();
    }

  private:
    Text user_, url1_, url2_, title_;
};

void ShareLinkJobOnLoopback(benchmark::State& state) {
    const Text link = Service().ShareLink(test::codes::kSample);
    const ShareLinkJobOptions options{.host = Service().Host()};
    for (auto _ : state) {
        Results results;
        ShareLinkJob(link, results, options);
        if (!results.Complete()) state.SkipWithError("the job missed a result");
    }
}
BENCHMARK(ShareLinkJobOnLoopback)->Unit(benchmark::kMillisecond)->UseRealTime();

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

std::size_t Keep(char* data, std::size_t size, std::size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// One GET on a new handle; the body, or empty on failure.
std::string BareGet(const std::string& url, std::string* headers = nullptr) {
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::string body;
    if (!easy) return body;
    CURL* c = easy.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Keep);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
    if (headers != nullptr) {
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, Keep);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, headers);
    }
    if (curl_easy_perform(c) != CURLE_OK) body.clear();
    return body;
}

void BareLibcurlBaseline(benchmark::State& state) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::string origin = Service().Origin();
    const std::string link = Service().ShareLink(test::codes::kSample);
    const std::string cell =
        origin + "/bds/webapi/cell/detail/?cell_id=" + std::string(test::sample::kCellId) +
        "&cell_type=8&source=share";
    const std::string item =
        origin + "/bds/webapi/item/detail/?item_id=" + std::string(test::sample::kItemId) +
        "&source=share";
    for (auto _ : state) {
        std::string headers;
        (void)BareGet(link, &headers);
        const std::string cellBody = BareGet(cell);
        const std::string itemBody = BareGet(item);
        if (headers.empty() || cellBody.empty() || itemBody.empty()) {
            state.SkipWithError("a request failed");
        }
    }
}
BENCHMARK(BareLibcurlBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tarvo::bench
