// Resolving pasted share texts with the share-link job, several at a time. Texts here are
// UTF-8; the job's code page 936 results are converted on the way out.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "job/share_link_job.h"

namespace tarvo::cli {

struct Resolution {
    std::optional<std::string> link;  // the link found in the input; none when there was none
    std::string title;
    std::string user;
    std::string url1;
    std::string url2;

    [[nodiscard]] bool HasVideo() const { return !url1.empty() || !url2.empty(); }
};

// Resolves one pasted input: finds its link and runs the job on it.
[[nodiscard]] Resolution ResolveInput(const std::string& input, const ShareLinkJobOptions& options);

// Resolves every input, at most `jobs` at a time, and gives the results in input order.
[[nodiscard]] std::vector<Resolution> ResolveAll(const std::vector<std::string>& inputs, int jobs,
                                                 const ShareLinkJobOptions& options);

}  // namespace tarvo::cli
