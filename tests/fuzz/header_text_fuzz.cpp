// NormalizeHeaderNames and MergeCookies on arbitrary texts.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string_view>

#include "tests/fuzz/fuzz_input.h"
#include "web/header_text.h"

using tarvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvo::fuzz::FuzzInput input(data, size);
    const std::string_view headers = input.Text();
    tarvo::Text old(input.Text());
    tarvo::Text returned(input.Text());

    const tarvo::Text normalized = tarvo::NormalizeHeaderNames(headers);
    Require(normalized.size() <= headers.size());
    // Normalising twice changes nothing more.
    Require(tarvo::NormalizeHeaderNames(normalized) == normalized);

    const tarvo::Text merged = tarvo::MergeCookies(old, returned);
    Require(merged == old);
    // No item comes twice.
    const auto items = tarvo::SplitItems(merged, "; ");
    Require(std::set<tarvo::Text>(items.begin(), items.end()).size() == items.size());
    return 0;
}
