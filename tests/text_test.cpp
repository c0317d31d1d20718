#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/markers.h"
#include "text/primitives.h"
#include "text/text.h"

namespace tarvo {
namespace {

// Code page 936 bytes of a few characters.
const std::string kZhong = "\xD6\xD0";      // 中
const std::string kWen = "\xCE\xC4";        // 文
const std::string kFullSpace = "\xA1\xA1";  // full-width space

TEST(TextFromBytes, KeepsBytesUpToFirstZero) {
    EXPECT_EQ(TextFromBytes({'a', 'b', 0, 'c'}), "ab");
    EXPECT_EQ(TextFromBytes({'a', 'b'}), "ab");
    EXPECT_EQ(TextFromBytes({}), "");
    EXPECT_EQ(TextFromBytes({0, 'x'}), "");
}

struct FindCase {
    const char* name;
    std::string text, needle;
    int from;
    bool ignoreCase;
    int expected;
};

TEST(Find, Table) {
    const std::vector<FindCase> cases = {
        {"first occurrence", "abcabc", "bc", 1, false, 2},
        {"from skips earlier", "abcabc", "bc", 3, false, 5},
        {"from zero is start", "abcabc", "a", 0, false, 1},
        {"negative from is start", "abcabc", "a", -7, false, 1},
        {"from at last byte", "abcabc", "c", 6, false, 6},
        {"from beyond end", "abc", "c", 4, false, -1},
        {"missing", "abc", "x", 1, false, -1},
        {"needle longer than text", "ab", "abc", 1, false, -1},
        {"empty needle found at 1", "abc", "", 1, false, 1},
        {"empty needle with later from", "abc", "", 3, false, 1},
        {"empty needle, from past end", "abc", "", 4, false, -1},
        {"empty needle in empty text", "", "", 1, false, -1},
        {"case kept", "Cell_ID=1", "cell_id=", 1, false, -1},
        {"ascii case folded", "Cell_ID=1", "cell_id=", 1, true, 1},
        // The second byte of 中 (D0) and the first of 文 (CE) never match as one marker.
        {"no match across two characters", kZhong + kWen, "\xD0\xCE", 1, false, -1},
        {"match at character start after double byte", kZhong + "ab", "ab", 1, false, 3},
        // "\xD0" alone is the trail byte of 中: not a character start.
        {"trail byte is not a start", kZhong, "\xD0", 1, false, -1},
        // Only ASCII letters fold: 0xC1 and 0xE1 (Latin-1 Á/á) stay distinct.
        {"non-ascii not folded", "x\xC1y", "x\xE1y", 1, true, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Find(c.text, c.needle, c.from, c.ignoreCase), c.expected);
    }
}

TEST(FindLast, Table) {
    struct Case {
        const char* name;
        std::string text, needle;
        int before;
        int expected;
    };
    const std::vector<Case> cases = {
        {"last in whole text", "a;b;c", ";", 6, 4},
        {"within first before-1 bytes", "a;b;c", ";", 4, 2},
        {"must lie wholly within", "a;;", ";;", 3, -1},
        {"before past end clamps", "a;b", ";", 99, 2},
        {"before 1 finds nothing", "a;b", ";", 1, -1},
        {"no match across two characters", kZhong + kWen + kZhong, "\xD0\xCE", 7, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindLast(c.text, c.needle, c.before), c.expected);
    }
}

TEST(Slicing, LeftRightMiddle) {
    EXPECT_EQ(Left("abcdef", 2), "ab");
    EXPECT_EQ(Left("abc", 10), "abc");
    EXPECT_EQ(Left("abc", 0), "");
    EXPECT_EQ(Left("abc", -1), "");
    EXPECT_EQ(Right("abcdef", 2), "ef");
    EXPECT_EQ(Right("abc", 10), "abc");
    EXPECT_EQ(Right("abc", -3), "");
    EXPECT_EQ(Middle("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Middle("abcdef", 5, 10), "ef");
    EXPECT_EQ(Middle("abc", 0, 2), "");
    EXPECT_EQ(Middle("abc", 4, 2), "");
    EXPECT_EQ(Middle("abc", 1, 0), "");
}

TEST(Trim, Table) {
    struct Case {
        const char* name;
        std::string text, expected;
    };
    const std::vector<Case> cases = {
        {"ascii spaces", "  a b  ", "a b"},
        {"full-width spaces", kFullSpace + "a" + kFullSpace + " ", "a"},
        {"tabs and line breaks stay", "\ta\r\n", "\ta\r\n"},
        {"only spaces", " " + kFullSpace + " ", ""},
        {"empty", "", ""},
        // B0 A1 is one character (啊); the A1 A1 that a byte scan would see at the end
        // overlaps it, so nothing is trimmed.
        {"no full-width space out of two characters", "x\xB0\xA1\xA1", "x\xB0\xA1\xA1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Trim(c.text), c.expected);
    }
}

struct BetweenCase {
    const char* name;
    std::string text, left, right;
    int start;
    bool ignoreCase;
    std::string expected;
};

TEST(TextBetween, Table) {
    const std::string quote(kQuoteMarker);
    const std::string location =
        "Location: https://h5.pipix.com/item/123?app_id=1319&cell_id=456&x=1\r\nServer: t";
    const std::vector<BetweenCase> cases = {
        {"markers excluded", "<a>x</a>", "<a>", "</a>", 0, false, "x"},
        {"item id", location, "h5.pipix.com/item/", "?", 0, false, "123"},
        {"cell id", location, "cell_id=", "&", 0, false, "456"},
        {"left without right gives empty", "a=1", "a=", "&", 0, false, ""},
        {"right right after left gives empty", "a=&", "a=", "&", 0, false, ""},
        {"empty right gives empty", "a=1", "a=", "", 0, false, ""},
        {"empty left starts at beginning", "ab&c", "", "&", 0, false, "ab"},
        {"missing left", "abc", "x", "c", 0, false, ""},
        {"both markers quote", "say \"hi\" and \"bye\"", quote, quote, 0, false, "hi"},
        {"quote inside marker", "k=\"v\";", "k=" + quote, quote, 0, false, "v"},
        {"start past first left uses next", "[a][b]", "[", "]", 2, false, "b"},
        {"start 1 from beginning", "[a][b]", "[", "]", 1, false, "a"},
        {"negative start from beginning", "[a][b]", "[", "]", -5, false, "a"},
        {"start beyond end", "[a][b]", "[", "]", 99, false, ""},
        {"case kept", "CELL_ID=9&", "cell_id=", "&", 0, false, ""},
        {"case ignored", "CELL_ID=9&", "cell_id=", "&", 0, true, "9"},
        {"right searched through rest of text", "cell_id=7\r\nX: a&b", "cell_id=", "&", 0, false,
         "7\r\nX: a"},
        {"double-byte text between", "[" + kZhong + kWen + "]", "[", "]", 0, false, kZhong + kWen},
        {"no left across two characters", kZhong + kWen + "x", "\xD0\xCE", "x", 0, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextBetween(c.text, c.left, c.right, c.start, c.ignoreCase), c.expected);
    }
}

TEST(TextBetween, QuoteMarkerMatchesOnlyAtCharacterStarts) {
    // A text whose bytes hold "#引号" only when read from the middle of a character: the
    // marker "x#引号" must not be rewritten there.
    const std::string marker = "\xB0" + std::string(kQuoteMarker);  // B0 23 ... : 23 is a trail
    EXPECT_EQ(TextBetween("a\xB0#\xD2\xFD\xBA\xC5"
                          "bc",
                          "a" + marker, "c"),
              "b");
}

TEST(TextLeftOf, Table) {
    struct Case {
        const char* name;
        std::string text, marker;
        int start;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"set-cookie name", "Set-Cookie: a=1", ": ", 0, "Set-Cookie"},
        {"no marker", "Set-Cookie:a=1", ": ", 0, ""},
        {"marker at start", ": a", ": ", 0, ""},
        {"start skips first", "a;b;c", ";", 3, "a;b"},
        {"minus one is last", "a;b;c", ";", -1, "a;b"},
        // "a;b;;" is 5 bytes; -2 searches the first 3 bytes "a;b", so the last ";" is at 2.
        {"minus two skips last two bytes", "a;b;;", ";", -2, "a"},
        {"minus two finds earlier", "a;b;cd", ";", -2, "a;b"},
        {"minus k beyond length", "a;b", ";", -9, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextLeftOf(c.text, c.marker, c.start), c.expected);
    }
}

TEST(HeaderNameValue, Table) {
    struct Case {
        const char* name;
        std::string line, name_, value;
    };
    const std::vector<Case> cases = {
        {"plain", "Accept: */*", "Accept", "*/*"},
        {"spaces trimmed", "  Host :  a  ", "Host", "a"},
        {"full-width spaces trimmed", kFullSpace + "X" + kFullSpace + ":" + kFullSpace + "v", "X",
         "v"},
        {"tabs stay", "\tX\t:\tv\t", "\tX\t", "\tv\t"},
        {"first colon splits", "Host: srv:8080", "Host", "srv:8080"},
        {"no colon", "no colon here", "", ""},
        {"ends with colon", "Name:", "Name", ""},
        {"begins with colon", ": v", "", "v"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(HeaderName(c.line), c.name_);
        EXPECT_EQ(HeaderValue(c.line), c.value);
    }
}

}  // namespace
}  // namespace tarvo
