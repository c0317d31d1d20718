// The Set-Cookie collection of both web operations on arbitrary response-header texts,
// merged into a cookie text as a call with cookies does.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/fuzz_input.h"
#include "web/header_text.h"

using tarvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvo::fuzz::FuzzInput input(data, size);
    tarvo::Text sent(input.Text());
    const std::string_view headers = input.Text();

    tarvo::Text cookies = tarvo::CollectSetCookies(headers);
    Require(cookies.size() <= headers.size());
    Require(cookies.find_first_of("\r\n") == tarvo::Text::npos);
    const tarvo::Text merged = tarvo::MergeCookies(sent, cookies);
    Require(merged == sent);
    return 0;
}
