// UrlHost, UrlPort and UrlPath on arbitrary texts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/fuzz_input.h"
#include "web/url.h"

using tarvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvo::fuzz::FuzzInput input(data, size);
    const std::string_view url = input.Text();

    const tarvo::Text host = tarvo::UrlHost(url, false);
    const tarvo::Text hostWithPort = tarvo::UrlHost(url, true);
    Require(hostWithPort.starts_with(host));
    Require(tarvo::UrlPort(url) >= 0);
    const tarvo::Text path = tarvo::UrlPath(url);
    Require(path.starts_with("/"));
    Require(path == "/" || url.ends_with(path));
    return 0;
}
