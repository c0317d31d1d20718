// Utf8ToGbk and FromUtf16 on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/fuzz_input.h"
#include "text/conversion.h"

using tarvo::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const tarvo::Text gbk = tarvo::Utf8ToGbk(bytes);
    Require(gbk.find('\0') == tarvo::Text::npos);
    // What came out as code page 936 goes to UTF-8 and back unchanged.
    Require(tarvo::Utf8ToGbk(tarvo::GbkToUtf8(gbk)) == gbk);

    const tarvo::Bytes wide(data, data + size);
    for (const unsigned codePage : {0u, 936u, 65001u}) {
        const tarvo::Text text = tarvo::FromUtf16(wide, codePage);
        Require(text.find('\0') == tarvo::Text::npos);
    }
    return 0;
}
