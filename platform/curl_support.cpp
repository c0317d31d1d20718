#include "platform/curl_support.h"

#include <mutex>

namespace tarvo::platform {

CurlEasy MakeEasyHandle() {
    static std::once_flag once;
    static bool initialised = false;
    std::call_once(once, [] { initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    if (!initialised) return {};
    return CurlEasy(curl_easy_init());
}

bool AppendLine(CurlSlist& list, const char* line) {
    curl_slist* grown = curl_slist_append(list.get(), line);
    if (!grown) return false;
    static_cast<void>(list.release());
    list.reset(grown);
    return true;
}

}  // namespace tarvo::platform
