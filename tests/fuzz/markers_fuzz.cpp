// TextBetween, TextLeftOf, HeaderName and HeaderValue on arbitrary code page 936 bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/fuzz_input.h"
#include "text/markers.h"

using tarvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvo::fuzz::FuzzInput input(data, size);
    const int start = input.SmallInt();
    const bool ignoreCase = input.Flag();
    const std::string_view left = input.Text();
    const std::string_view right = input.Text();
    const std::string_view text = input.Text();

    const tarvo::Text between = tarvo::TextBetween(text, left, right, start, ignoreCase);
    Require(between.size() <= text.size());
    Require(text.find(between) != std::string_view::npos);

    const tarvo::Text leftOf = tarvo::TextLeftOf(text, left, start, ignoreCase);
    Require(text.starts_with(leftOf));

    const tarvo::Text name = tarvo::HeaderName(text);
    const tarvo::Text value = tarvo::HeaderValue(text);
    Require(name.size() + value.size() < text.size() || (name.empty() && value.empty()));
    return 0;
}
