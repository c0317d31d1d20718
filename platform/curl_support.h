// What every stand-in built on libcurl shares: one process-wide initialisation of the
// library and move-only owners of its handles.
//
// curl_global_init is not thread-safe, so MakeEasyHandle runs it exactly once, whichever
// thread asks first; after that each handle may be used by one thread at a time.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace tarvo::platform {

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

// A new easy handle, with the library initialised first; empty when either fails.
[[nodiscard]] CurlEasy MakeEasyHandle();

// Appends a copy of `line` to `list`; false (and `list` unchanged) when out of memory.
[[nodiscard]] bool AppendLine(CurlSlist& list, const char* line);

}  // namespace tarvo::platform
