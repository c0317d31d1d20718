#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web/base64.h"

namespace tarvo {
namespace {

struct Base64Case {
    const char* name;
    Bytes input;
    std::string expected;
};

TEST(Base64Encode, Table) {
    const std::vector<Base64Case> cases = {
        {"empty", {}, ""},
        {"one byte, two pads", {'f'}, "Zg=="},
        {"two bytes, one pad", {'f', 'o'}, "Zm8="},
        {"three bytes, no pad", {'f', 'o', 'o'}, "Zm9v"},
        {"rfc 4648 vector", {'f', 'o', 'o', 'b', 'a', 'r'}, "Zm9vYmFy"},
        {"zero bytes kept", {0, 0, 0, 0}, "AAAAAA=="},
        {"high bits and last letters", {0xFB, 0xFF, 0xBF}, "+/+/"},
        {"proxy credentials", {'u', 's', 'e', 'r', ':', 'p', 'w'}, "dXNlcjpwdw=="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Base64Encode(c.input), c.expected);
    }
}

TEST(Base64Encode, LengthIsFourPerGroupBegun) {
    for (size_t n = 0; n < 10; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Base64Encode(Bytes(n, 0x5A)).size(), (n + 2) / 3 * 4);
    }
}

}  // namespace
}  // namespace tarvo
