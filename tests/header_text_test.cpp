#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web/header_text.h"

namespace tarvo {
namespace {

const std::string kZhong = "\xD6\xD0";      // 中
const std::string kFullSpace = "\xA1\xA1";  // full-width space

struct SplitCase {
    const char* name;
    std::string text, separator;
    std::vector<std::string> expected;
};

TEST(SplitItems, Table) {
    const std::vector<SplitCase> cases = {
        {"empty text has no items", "", "; ", {}},
        {"no separator", "a=1", "; ", {"a=1"}},
        {"two items", "a=1; b=2", "; ", {"a=1", "b=2"}},
        {"trailing separator adds nothing", "a=1; ", "; ", {"a=1"}},
        {"leading separator gives empty item", "; a=1", "; ", {"", "a=1"}},
        {"empty item between separators", "a; ; b", "; ", {"a", "", "b"}},
        {"only a separator", "; ", "; ", {""}},
        {"semicolon alone does not split", "a=1;b=2", "; ", {"a=1;b=2"}},
        {"crlf lines", "A: 1\r\n\r\nB: 2\r\n", "\r\n", {"A: 1", "", "B: 2"}},
        // A lead byte takes the byte after it as its trail, so "\x81;" is one character and
        // the ";" in it separates nothing.
        {"no split inside a double-byte character", "a\x81; b", "; ", {"a\x81; b"}},
        {"split after a double-byte character", kZhong + "; b", "; ", {kZhong, "b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Text> expected(c.expected.begin(), c.expected.end());
        EXPECT_EQ(SplitItems(c.text, c.separator), expected);
    }
}

struct TextCase {
    const char* name;
    std::string input, expected;
};

TEST(NormalizeHeaderNames, Table) {
    const std::vector<TextCase> cases = {
        {"names capitalised", "content-type: text/html\r\nx-requested-with: yes",
         "Content-Type: text/html\r\nX-Requested-With: yes"},
        {"empty first line dropped", "\r\nAccept: */*\r\nAccept-Language: zh-cn",
         "Accept: */*\r\nAccept-Language: zh-cn"},
        {"lines without colon dropped, no trailing crlf",
         "no colon line\r\n\r\naccept-encoding:gzip\r\n", "Accept-Encoding:gzip"},
        {"other capitals stay", "USER-agent: q", "USER-Agent: q"},
        {"double hyphen", "a--b: v", "A--B: v"},
        {"leading hyphen", "-x: v", "-X: v"},
        {"leading space keeps name", "  spaced: v", "  spaced: v"},
        {"empty name kept", ": v", ": v"},
        {"empty text", "", ""},
        {"only lines without colon", "abc\r\n\r\n", ""},
        {"value after first colon unchanged", "host: a-b:8080 x-y", "Host: a-b:8080 x-y"},
        {"only the name is touched", "x-a: lower-case value", "X-A: lower-case value"},
        {"double-byte first character unchanged", kZhong + "-a: v", kZhong + "-A: v"},
        {"bare cr or lf is no line break", "a: 1\nb: 2", "A: 1\nb: 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NormalizeHeaderNames(c.input), c.expected);
    }
}

struct MergeCase {
    const char* name;
    std::string old, new_;
    std::string expected, newAfter;
};

TEST(MergeCookies, Table) {
    const std::vector<MergeCase> cases = {
        {"new first, then old not set again", "a=1; b=2", "b=3; c=4", "b=3; c=4; a=1", "b=3; c=4"},
        {"deleted and trailing semicolons", "a=1; b=2;", "b=deleted; c=4;", "c=4; a=1",
         "b=deleted; c=4; "},
        {"deletion empties the set", "sid=old", "sid=deleted", "", "sid=deleted"},
        {"empty old", "", "x=1", "x=1", "x=1"},
        {"empty new", "x=1", "", "x=1", ""},
        {"both empty", "", "", "", ""},
        {"first old item of a name wins", "a=1; a=2", "", "a=1", ""},
        {"exact repeats go, same name other value stays", "", "a=1; a=1; a=2", "a=1; a=2",
         "a=1; a=1; a=2"},
        {"semicolon without space is one item", "a=1;b=2", "b=3", "b=3; a=1;b=2", "b=3"},
        {"names compared with case", "SID=1", "sid=2", "sid=2; SID=1", "sid=2"},
        {"new side trimmed", "a=1", "  b=2 " + kFullSpace, "b=2; a=1", "b=2"},
        {"old side trimmed", kFullSpace + " a=1; ", "", "a=1", ""},
        {"names trimmed for comparison", "a =1", " a=2", "a=2", "a=2"},
        {"deleted marker is case exact", "", "a=DELETED", "a=DELETED", "a=DELETED"},
        {"old deleted item dropped too", "a=deleted; b=1", "", "b=1", ""},
        {"name without value", "flag", "other=1", "other=1; flag", "other=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Text old = c.old;
        Text new_ = c.new_;
        const Text merged = MergeCookies(old, new_);
        EXPECT_EQ(merged, c.expected);
        EXPECT_EQ(old, c.expected);
        EXPECT_EQ(new_, c.newAfter);
    }
}

TEST(CollectSetCookies, Table) {
    struct Case {
        const char* name;
        std::string headers;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"none", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""},
        {"attributes cut at the first semicolon",
         "HTTP/1.1 302 Found\r\nSet-Cookie: sid=1; Path=/\r\nSet-Cookie: b=2\r\n", "sid=1; b=2"},
        {"name compared with case", "set-cookie: a=1\r\nSet-Cookie: b=2", "b=2"},
        {"a colon without its space is no Set-Cookie line", "Set-Cookie:a=1", ""},
        {"markers inside the value removed without a semicolon", "Set-Cookie: a=1 set-cookie:x",
         "a=1 x"},
        // A lead byte before the line break must not join the lines.
        {"lead byte at a line end", "Set-Cookie: \xC4\r\nX-Next: \xE3=1\r\nSet-Cookie: b=2",
         "\xC4; b=2"},
        // A line break in an item would start a header of the server's choosing.
        {"line break joined by taking out a marker",
         "Set-Cookie: a\rSet-Cookie:\nb\r\nSet-Cookie: c=3", "c=3"},
        {"lone line feed in a value", "Set-Cookie: a=1\nX-Evil: 1; Path=/\r\nSet-Cookie: b=2",
         "b=2"},
        {"lone carriage return in a value", "Set-Cookie: a=\r1\r\nSet-Cookie: b=2", "b=2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CollectSetCookies(c.headers), c.expected);
    }
}

TEST(CookieName, Table) {
    const std::vector<TextCase> cases = {
        {"before first equals", "sid=a=b", "sid"},
        {"trimmed", "  sid =1", "sid"},
        {"no equals gives whole item trimmed", " flag ", "flag"},
        {"empty name", "=1", ""},
        {"empty item", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CookieName(c.input), c.expected);
    }
}

TEST(DistinctItems, Table) {
    const std::vector<TextCase> cases = {
        {"first occurrence kept", "a=1; b=2; a=1", "a=1; b=2"},
        {"same name other value kept", "a=1; a=2", "a=1; a=2"},
        {"compared with case", "a=1; A=1", "a=1; A=1"},
        {"trailing separator dropped", "a=1; ", "a=1"},
        {"empty items collapse", "; ; a", "; a"},
        {"empty text", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DistinctItems(c.input, "; "), c.expected);
    }
}

}  // namespace
}  // namespace tarvo
