#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "text/conversion.h"

namespace tarvo {
namespace {

struct Utf8Case {
    const char* name;
    std::string utf8, gbk;
};

TEST(Utf8ToGbk, Table) {
    const std::vector<Utf8Case> cases = {
        {"ascii unchanged", "https://h5.pipix.com/item/1?a=b", "https://h5.pipix.com/item/1?a=b"},
        {"zhong", "\xE4\xB8\xAD", "\xD6\xD0"},
        {"mixed",
         "a\xE4\xB8\xAD"
         "b",
         "a\xD6\xD0"
         "b"},
        {"euro is 0x80", "\xE2\x82\xAC", "\x80"},
        {"thai letter becomes question mark", "\xE0\xB8\x81", "?"},
        {"emoji is one question mark", "x\xF0\x9F\x98\x80y", "x?y"},
        {"lone 0x80",
         "a\x80"
         "b",
         "a?b"},
        {"lone lead byte at end", "a\xE4", "a?"},
        {"truncated sequence is one replacement",
         "\xE4\xB8"
         "b",
         "?b"},
        {"invalid continuation ends the subpart", "\xE4\x41", "?A"},
        {"overlong encoding", "\xC0\xAF", "??"},
        {"surrogate encoded in utf-8", "\xED\xA0\x80", "???"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk);
    }
}

TEST(Utf8ToGbk, StopsAtZeroByte) {
    EXPECT_EQ(Utf8ToGbk(std::string("ab\0cd", 5)), "ab");
}

TEST(Utf8ToGbk, IndependentOfProcessLocale) {
    const std::string input = "\xE4\xB8\xAD\xE6\x96\x87 ok \xE0\xB8\x81";
    const std::string expected = "\xD6\xD0\xCE\xC4 ok ?";
    for (const char* locale : {"C", "C.UTF-8", "POSIX"}) {
        SCOPED_TRACE(locale);
        if (std::setlocale(LC_ALL, locale) == nullptr) continue;
        EXPECT_EQ(Utf8ToGbk(input), expected);
    }
    std::setlocale(LC_ALL, "C");
}

TEST(ToUtf16, EmptyTextIsOneZeroUnit) {
    EXPECT_EQ(ToUtf16(""), Bytes({0, 0}));
}

TEST(ToUtf16, CodePage936AndUtf8) {
    EXPECT_EQ(ToUtf16("a\xE4\xB8\xAD"), Bytes({'a', 0, 0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(ToUtf16("a\xD6\xD0", 936u), Bytes({'a', 0, 0x2D, 0x4E, 0, 0}));
    EXPECT_EQ(ToUtf16("\xD6\xD0", 0u), Bytes({0x2D, 0x4E, 0, 0}));
    // A lead byte with nothing after it, and a byte that leads nothing in code page 936.
    EXPECT_EQ(ToUtf16("\xFF"
                      "a\xD6",
                      936u),
              Bytes({'?', 0, 'a', 0, '?', 0, 0, 0}));
    // A lead byte before a byte outside the trail range leaves that byte to stand alone.
    EXPECT_EQ(ToUtf16("\x81 b", 936u), Bytes({'?', 0, ' ', 0, 'b', 0, 0, 0}));
}

TEST(FromUtf16, Table) {
    struct Case {
        const char* name;
        Bytes wide;
        std::optional<unsigned> codePage;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"ansi default is 936", {0x2D, 0x4E, 0, 0}, {}, "\xD6\xD0"},
        {"stops at zero unit", {'a', 0, 0, 0, 'b', 0}, {}, "a"},
        {"no terminator is not read past", {'a', 0, 'b', 0}, {}, "ab"},
        {"odd byte count ignores the odd byte", {'a', 0, 'b'}, {}, "a"},
        {"lone surrogate", {0x00, 0xD8, 'a', 0, 0, 0}, 936u, "?a"},
        {"utf-8 target", {0x2D, 0x4E, 0, 0}, 65001u, "\xE4\xB8\xAD"},
        // Thai needs one byte ("?") in code page 936 but three in UTF-8.
        {"utf-8 target larger than ansi count",
         {0x01, 0x0E, 0x01, 0x0E, 0, 0},
         65001u,
         "\xE0\xB8\x81\xE0\xB8\x81"},
        {"empty", {}, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FromUtf16(c.wide, c.codePage), c.expected);
    }
}

TEST(GbkToUtf8, RoundTripsThroughUtf8ToGbk) {
    const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87 https://x/?a=1&b=2";
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk(utf8)), utf8);
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk("\xF0\x9F\x98\x80")), "?");
    EXPECT_EQ(GbkToUtf8(""), "");
}

TEST(CodePageLayer, SizesIncludeTerminatorAndBufferTooSmallFails) {
    EXPECT_EQ(platform::MultiByteToWideChar(65001, 0, "ab", -1, nullptr, 0), 3);
    EXPECT_EQ(platform::MultiByteToWideChar(65001, 0, "ab", 2, nullptr, 0), 2);
    char16_t small[2];
    EXPECT_EQ(platform::MultiByteToWideChar(65001, 0, "ab", -1, small, 2), 0);
    EXPECT_EQ(platform::MultiByteToWideChar(1252, 0, "ab", -1, nullptr, 0), 0);
    EXPECT_EQ(platform::WideCharToMultiByte(936, 0, u"\u4E2D", -1, nullptr, 0), 3);
}

TEST(CodePageLayer, RoundTripsEveryBmpCharacterOf936) {
    // Every two-byte character that code page 936 defines survives a round trip.
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const std::string text{static_cast<char>(lead), static_cast<char>(trail)};
            const Bytes wide = ToUtf16(text, 936u);
            if (wide.size() != 4 || (wide[0] == '?' && wide[1] == 0)) continue;
            ASSERT_EQ(FromUtf16(wide, 936u), text) << std::hex << lead << " " << trail;
            ++checked;
        }
    }
    EXPECT_GT(checked, 21000);
}

}  // namespace
}  // namespace tarvo
