#include "cli/resolver.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "cli/link.h"
#include "text/conversion.h"

namespace tarvo::cli {
namespace {

// Keeps the job's results; the job calls it on the resolving thread only.
class CollectingOutput final : public JobOutput {
  public:
    explicit CollectingOutput(Resolution& result) : result_(result) {}

    void SetUser(const Text& user) override { result_.user = GbkToUtf8(user); }
    void SetDownUrl1(const Text& url) override { result_.url1 = GbkToUtf8(url); }
    void SetDownUrl2(const Text& url) override { result_.url2 = GbkToUtf8(url); }
    void SetTitle(const Text& title) override { result_.title = GbkToUtf8(title); }
    void SetPage(Page) override {}

  private:
    Resolution& result_;
};

}  // namespace

Resolution ResolveInput(const std::string& input, const ShareLinkJobOptions& options) {
    Resolution result;
    result.link = ExtractLink(input);
    if (!result.link) return result;
    CollectingOutput output(result);
    // The link holds only ASCII address characters, so it is a code page 936 text as it is.
    ShareLinkJob(*result.link, output, options);
    return result;
}

std::vector<Resolution> ResolveAll(const std::vector<std::string>& inputs, int jobs,
                                   const ShareLinkJobOptions& options) {
    std::vector<Resolution> results(inputs.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < inputs.size(); i = next++) {
            results[i] = ResolveInput(inputs[i], options);
        }
    };
    const size_t workers = std::clamp<size_t>(static_cast<size_t>(std::max(jobs, 1)), 1,
                                              std::max<size_t>(inputs.size(), 1));
    std::vector<std::jthread> threads;
    threads.reserve(workers - 1);
    for (size_t t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
    threads.clear();  // every worker is done before the results leave
    return results;
}

}  // namespace tarvo::cli
