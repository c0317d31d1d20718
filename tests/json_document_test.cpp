#include "json/json_document.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/script_control.h"

namespace tarvo {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// "[2020年7月20日20时0分0秒]" and 中文 in code page 936.
const Text kSeparator =
    "[2020\xC4\xEA"
    "7\xD4\xC2"
    "20\xC8\xD5"
    "20\xCA\xB1"
    "0\xB7\xD6"
    "0\xC3\xEB]";
const Text kZhongWen = "\xD6\xD0\xCE\xC4";

const Text kSample =
    R"({"s":"text","n":12,"f":0.5,"b":true,"o":{"k":"v"},"a":[1,"two",3],"z":null,)"
    R"("bs":"a\\b","zh":")" +
    kZhongWen + R"(","e":""})";

class JsonDocumentTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(doc.Parse(kSample)); }
    JsonDocument doc;
};

TEST_F(JsonDocumentTest, ReadsByPath) {
    struct Case {
        const char* name;
        Text path;
        Text text;
        int type;
        bool exists;
    };
    const std::vector<Case> cases = {
        {"string", "s", "text", 6, true},
        {"integer", "n", "12", 2, true},
        {"fraction", "f", "0.5", 2, true},
        {"logical", "b", "true", 1, true},
        {"object", "o", "[object Object]", 4, true},
        {"array joined by commas", "a", "1,two,3", 5, true},
        {"nested member", "o.k", "v", 6, true},
        {"quoted key", "o['k']", "v", 6, true},
        {"element", "a[1]", "two", 6, true},
        {"path beginning with a bracket", "['s']", "text", 6, true},
        {"path with the root name", "da.o.k", "v", 6, true},
        {"backslash loaded by Parse", "bs", "a\\b", 6, true},
        {"code page 936 text", "zh", kZhongWen, 6, true},
        {"empty string", "e", "", 6, true},
        {"null member", "z", "", 0, false},
        {"missing member", "missing", "", 0, false},
        {"member below a missing one", "missing.deeper", "", -1, false},
        {"member below null", "z.deeper", "", -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(doc.GetText(c.path), c.text);
        EXPECT_EQ(doc.GetType(c.path), c.type);
        EXPECT_EQ(doc.Exists(c.path), c.exists);
    }
}

TEST_F(JsonDocumentTest, ReadsJsonText) {
    EXPECT_EQ(doc.GetText("s", true), "\"text\"");
    EXPECT_EQ(doc.GetText("bs", true), R"("a\\b")");
    EXPECT_EQ(doc.GetText("z", true), "null");
    EXPECT_EQ(doc.GetText("missing", true), "");
    EXPECT_EQ(doc.GetJson("o"), R"({"k":"v"})");
    EXPECT_EQ(doc.GetJson(""), doc.ToJson());
    EXPECT_EQ(doc.ToJson(), kSample);
}

TEST(JsonDocument, ParseTellsWhetherTheRootHoldsAValue) {
    struct Case {
        const char* name;
        Text text;
        bool direct;
        bool parsed;
        Text root;  // GetText of the root afterwards
    };
    const std::vector<Case> cases = {
        {"object", R"({"a":1})", false, true, "[object Object]"},
        {"array", "[1,2]", false, true, "1,2"},
        {"number", "12", false, true, "12"},
        {"false is a value", "false", false, true, "false"},
        {"empty text", "", false, false, ""},
        {"null", "null", false, false, ""},
        {"invalid script", "{\"a\":", false, false, ""},
        {"quoted string whose content is no script", "'not a script'", false, false, ""},
        {"quoted string naming nothing", "'word'", false, false, ""},
        {"quoted string whose content runs", "'6 * 7'", false, true, "42"},
        {"direct keeps a quoted string", "'not a script'", true, true, "not a script"},
        {"direct object", R"({"a":1})", true, true, "[object Object]"},
        {"direct invalid script", "{\"a\":", true, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JsonDocument doc;
        EXPECT_EQ(doc.Parse(c.text, c.direct), c.parsed);
        EXPECT_EQ(doc.GetText(), c.root);
    }
}

// Parse reads a JSON object or array with the engine's JSON decoder; the script path is
// the reference. Each text is loaded both ways and read back through the same operations.
TEST(JsonDocument, JsonTextsReadTheSameAsScript) {
    struct Case {
        const char* name;
        Text text;
        bool decoded;  // whether the decoder takes the text
        std::vector<Text> paths;
    };
    const auto nested = [](int depth) { return Text(depth, '[') + "\"deep\"" + Text(depth, ']'); };
    const Text deepPath = Text("[0]") + [] {
        Text p;
        for (int i = 0; i < platform::kJsonDecodeDepth - 2; ++i) p += "[0]";
        return p;
    }();
    const std::vector<Case> cases = {
        {"sample", kSample, true, {"s", "n", "f", "b", "o", "a", "a[1]", "z", "bs", "zh", "e"}},
        {"__proto__ member", R"({"__proto__":{"x":1},"a":2})", false, {"x", "a", "__proto__"}},
        {"escaped __proto__", R"({"\u005f_proto__":{"x":1}})", false, {"x", "__proto__"}},
        {"__proto__ below", R"({"o":{"__proto__":[1]}})", false, {"o", "o.length", "o[0]"}},
        {"duplicate keys", R"({"a":1,"b":2,"a":3,"b":{"c":4}})", true, {"a", "b", "b.c"}},
        {"number-like keys",
         R"({"2":"b","1":"a","x":0,"-1":"m","01":"z"})",
         true,
         {"['1']", "['2']", "['-1']", "['01']"}},
        {"numbers",
         "[-0,0,1e400,-1e400,0.1,123456789012345678901234567890,1E-7,-1.5e+3,5e-324,"
         "9007199254740993,0.30000000000000004,6852330000000000000,1e21,1e-7,2.5E+0]",
         true,
         {"[0]", "[2]", "[3]", "[4]", "[5]", "[6]", "[7]", "[8]", "[9]", "[10]", "[11]", "[12]"}},
        {"escapes",
         R"(["\"\\\/\b\f\n\r\t\u0041\u4e2d\ud83d\ude00\u2028\u2029\u0000x"])",
         true,
         {"[0]", "[0].length"}},
        {"lone surrogates", R"(["\ud800","\udc00x"])", true, {"[0].length", "[1].charCodeAt(0)"}},
        {"empty containers", "[{},[],[{}],{\"a\":[]}]", true, {"[0]", "[1]", "[3].a"}},
        {"spaces", " \r\n\t{ \"a\" : [ 1 , 2 ] , \"b\" : { } }\n ", true, {"a", "b"}},
        {"code page 936",
         "{\"" + kZhongWen + "\":\"" + kZhongWen + "\\\\\"}",
         true,
         {kZhongWen, "['" + kZhongWen + "']"}},
        {"names of built-ins",
         R"({"constructor":1,"toString":"t","hasOwnProperty":null})",
         true,
         {"constructor", "toString", "hasOwnProperty"}},
        {"at the depth bound", nested(platform::kJsonDecodeDepth), true, {deepPath}},
        {"past the depth bound", nested(platform::kJsonDecodeDepth + 1), false, {"[0]"}},
        {"deeper than the compiler goes", nested(3000), false, {"[0]"}},
        {"not strict JSON", "{a:1,'b':[1,,2,],c:01}", false, {"a", "b", "b.length", "c"}},
        {"raw tab", "[\"a\tb\"]", false, {"[0]"}},
        {"quoted script", R"("[1,2]")", false, {"[1]"}},
        {"top-level number", "12", false, {""}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const auto probe = platform::ScriptControl::Create(platform::kScriptControlClass);
        ASSERT_TRUE(probe->SetLanguage("JavaScript"));
        EXPECT_EQ(probe->AssignJson("da", row.text), row.decoded);

        JsonDocument decoded;
        const bool parsed = decoded.Parse(row.text);
        JsonDocument script;
        const auto engine = script.GetEngine();
        ASSERT_TRUE(engine->Eval("var da = null"));
        engine->AddCode("var da = eval(" + row.text + ")");
        EXPECT_EQ(parsed, engine->EvalLogical("da != null"));
        EXPECT_EQ(decoded.ToJson(), script.ToJson());
        EXPECT_EQ(decoded.GetText(), script.GetText());
        EXPECT_EQ(decoded.GetType(), script.GetType());
        std::vector<Text> decodedKeys, scriptKeys;
        EXPECT_EQ(decoded.GetKeys(decodedKeys), script.GetKeys(scriptKeys));
        EXPECT_EQ(decodedKeys, scriptKeys);
        for (const Text& path : row.paths) {
            SCOPED_TRACE(path);
            EXPECT_EQ(decoded.GetType(path), script.GetType(path));
            EXPECT_EQ(decoded.GetText(path), script.GetText(path));
            EXPECT_EQ(decoded.GetJson(path), script.GetJson(path));
            EXPECT_EQ(decoded.GetNumber(path), script.GetNumber(path));
        }
    }
}

TEST(JsonDocument, ParseReplacesTheEngine) {
    JsonDocument doc;
    ASSERT_TRUE(doc.SetExpression("x", "1"));
    const auto before = doc.GetEngine();
    auto copy = doc.Copy();
    ASSERT_TRUE(doc.Parse(R"({"y":2})"));
    EXPECT_NE(doc.GetEngine(), before);
    EXPECT_EQ(doc.GetText("x"), "");
    EXPECT_EQ(doc.GetText("y"), "2");
    // The copy keeps the old engine and its value.
    EXPECT_EQ(copy->GetEngine(), before);
    EXPECT_EQ(copy->GetText("x"), "1");
}

TEST_F(JsonDocumentTest, PathWithTheRootNameIsPrefixedOnceMoreWhenMissing) {
    EXPECT_FALSE(doc.Exists("da.fresh"));
    EXPECT_FALSE(doc.SetValue("da.fresh", "x"));
    EXPECT_FALSE(doc.Exists("fresh"));
    EXPECT_TRUE(doc.SetValue("fresh", "x"));
    EXPECT_EQ(doc.GetText("da.fresh"), "x");
    Text path = "da.fresh";
    EXPECT_TRUE(doc.ResolvePath(path));
    EXPECT_EQ(path, "da.fresh");
    path = "o.k";
    EXPECT_TRUE(doc.ResolvePath(path));
    EXPECT_EQ(path, "da.o.k");
    path = "[0]";
    EXPECT_FALSE(doc.ResolvePath(path));
    EXPECT_EQ(path, "da[0]");
    path = "";
    EXPECT_TRUE(doc.ResolvePath(path));
    EXPECT_EQ(path, "da");
}

TEST_F(JsonDocumentTest, PlainWritesReadBackExactly) {
    struct Case {
        const char* name;
        Text value;
        Text json;  // GetJson of the member
    };
    const std::vector<Case> cases = {
        {"backslashes", "C:\\dir\\file", R"("C:\dir\file")"},
        {"quotes", "it's \"quoted\"", R"("it's \"quoted\"")"},
        {"line breaks", "one\r\ntwo", R"("one\r\ntwo")"},
        {"escape sequence shown once", "a\\nb", R"("a\nb")"},
        {"unicode escape shown once", "\\u4e2d", R"("\u4e2d")"},
        // 0x95 0x5C is one character whose second byte is a backslash.
        {"double-byte character with a backslash byte", "\x95\x5C'", "\"\x95\x5C'\""},
        {"code page 936 text", kZhongWen, "\"" + kZhongWen + "\""},
        {"empty", "", "\"\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(doc.SetValue("w", c.value));
        EXPECT_EQ(doc.GetText("w"), c.value);
        EXPECT_EQ(doc.GetJson("w"), c.json);
        EXPECT_EQ(doc.GetType("w"), 6);
    }
    // A document loaded from that JSON holds the character the escape stands for.
    ASSERT_TRUE(doc.SetValue("w", "a\\nb"));
    EXPECT_EQ(doc.GetDocument()->GetText("w"), "a\nb");
    std::vector<Text> values;
    EXPECT_EQ(doc.GetValues(values, "['w']"), 0);
    ASSERT_TRUE(doc.SetValue("list", "[]", true));
    ASSERT_TRUE(doc.Append("x\\\\y", "list"));
    ASSERT_TRUE(doc.SetValue("list[1]", "p\\q"));
    EXPECT_EQ(doc.GetValues(values, "list"), 2);
    EXPECT_EQ(values, (std::vector<Text>{"x\\y", "p\\q"}));
    EXPECT_EQ(doc.GetItemText(1, "list"), "p\\q");
}

TEST_F(JsonDocumentTest, JsonWritesMergeIntoObjectsAndReplaceOtherValues) {
    EXPECT_TRUE(doc.SetValue("o", R"({"k2":2,"k":"w"})", true));
    EXPECT_EQ(doc.GetJson("o"), R"({"k":"w","k2":2})");
    EXPECT_TRUE(doc.SetValue("o", "", true));
    EXPECT_EQ(doc.GetJson("o"), R"({"k":"w","k2":2})");
    EXPECT_TRUE(doc.SetValue("s", "[1,2]", true));
    EXPECT_EQ(doc.GetJson("s"), "[1,2]");
    EXPECT_TRUE(doc.SetValue("fresh", "", true));
    EXPECT_EQ(doc.GetJson("fresh"), "{}");
    EXPECT_TRUE(doc.SetValue("a", R"({"x":1})", true));
    EXPECT_EQ(doc.GetJson("a"), R"({"x":1})");
    EXPECT_FALSE(doc.SetValue("missing.deeper", "{}", true));
    // A write whose value is 0 or a word is still a write that ran.
    EXPECT_TRUE(doc.SetValue("zero", "0", true));
    EXPECT_TRUE(doc.SetExpression("word", "'\"w\"'"));
    EXPECT_EQ(doc.GetText("word"), "w");
    EXPECT_FALSE(doc.SetExpression("fails", "undefinedName"));
}

TEST_F(JsonDocumentTest, ListsKeysAndValues) {
    ASSERT_TRUE(doc.SetExpression("o.fn", "function () {}"));
    std::vector<Text> list = {"stale"};
    EXPECT_EQ(doc.GetKeys(list, "o"), 1);
    EXPECT_EQ(list, std::vector<Text>{"k"});
    EXPECT_EQ(doc.GetKeys(list), 10);
    EXPECT_EQ(list.front(), "s");
    EXPECT_EQ(list.back(), "e");
    EXPECT_EQ(doc.GetKeys(list, "a"), 0);
    EXPECT_TRUE(list.empty());
    list = {"stale"};
    EXPECT_EQ(doc.GetKeys(list, "s"), 0);
    EXPECT_TRUE(list.empty());

    ASSERT_TRUE(doc.Parse(R"({"n":1,"o":{"b":"x","c":[true,null,2.5]},"z":null,"s":"y"})"));
    EXPECT_EQ(doc.GetValues(list), 2);
    EXPECT_EQ(list, (std::vector<Text>{"1", "y"}));
    EXPECT_EQ(doc.GetValues(list, {}, true), 5);
    EXPECT_EQ(list, (std::vector<Text>{"1", "x", "true", "2.5", "y"}));
    EXPECT_EQ(doc.GetValues(list, "missing", true), 0);
    EXPECT_TRUE(list.empty());

    // The separator inside a value splits it; an empty last value is lost.
    ASSERT_TRUE(doc.Parse("['p" + kSeparator + "q', '', 'r', '']"));
    EXPECT_EQ(doc.GetValues(list), 4);
    EXPECT_EQ(list, (std::vector<Text>{"p", "q", "", "r"}));
}

TEST_F(JsonDocumentTest, CountsArrayElementsOnly) {
    EXPECT_EQ(doc.GetCount("a"), 3);
    ASSERT_TRUE(doc.SetValue("len", R"({"length":5})", true));
    EXPECT_EQ(doc.GetCount("len"), 0);
    EXPECT_EQ(doc.GetCount("s"), 0);
    EXPECT_EQ(doc.GetCount("missing"), 0);
    ASSERT_TRUE(doc.SetExpression("big", "new Array(4294967295)"));
    EXPECT_EQ(doc.GetCount("big"), 2147483647);
}

TEST_F(JsonDocumentTest, EditsArrays) {
    EXPECT_TRUE(doc.Append("four", "a"));
    EXPECT_TRUE(doc.Append("5", "a", true));
    EXPECT_EQ(doc.GetJson("a"), R"([1,"two",3,"four",5])");
    EXPECT_TRUE(doc.Append("only", "s"));
    EXPECT_EQ(doc.GetJson("s"), R"(["only"])");
    EXPECT_TRUE(doc.SetItem(0, "a", "one"));
    EXPECT_TRUE(doc.SetItem(1, "a", "{\"t\":2}", true));
    EXPECT_EQ(doc.GetItemText(0, "a"), "one");
    EXPECT_EQ(doc.GetItemText(1, "a", true), R"({"t":2})");
    EXPECT_EQ(doc.GetItemText(2, "a"), "");  // a number element has no plain text
    EXPECT_EQ(doc.GetItemText(2, "a", true), "3");
    EXPECT_EQ(doc.GetItemDocument(1, "a")->GetText("t"), "2");
    EXPECT_TRUE(doc.RemoveItem(9, "a"));
    EXPECT_EQ(doc.GetCount("a"), 5);
    EXPECT_TRUE(doc.RemoveItem(0, "a"));
    EXPECT_EQ(doc.GetJson("a"), R"([{"t":2},3,"four",5])");
    EXPECT_TRUE(doc.Remove("a"));
    EXPECT_FALSE(doc.Exists("a"));
}

TEST_F(JsonDocumentTest, WritesAndReadsNumbers) {
    EXPECT_TRUE(doc.SetNumber("pi", 3.14159265358979));
    EXPECT_EQ(doc.GetText("pi"), "3.14159265359");
    EXPECT_TRUE(doc.SetNumber("zero", 0));
    EXPECT_EQ(doc.GetType("zero"), 2);
    EXPECT_TRUE(doc.SetNumber("negative", -1e-7));
    EXPECT_EQ(doc.GetNumber("negative"), -1e-7);
    ASSERT_TRUE(doc.SetValue("digits", "42"));
    EXPECT_EQ(doc.GetNumber("digits"), 42);
    EXPECT_EQ(doc.GetNumber("b"), -1);
    EXPECT_EQ(doc.GetNumber("f"), 0.5);
    EXPECT_EQ(doc.GetNumber("s"), 0);
    EXPECT_EQ(doc.GetNumber("missing"), 0);
}

TEST_F(JsonDocumentTest, GetDocumentCopiesDeeply) {
    auto item = doc.GetDocument("o");
    EXPECT_EQ(item->ToJson(), R"({"k":"v"})");
    ASSERT_TRUE(item->SetValue("k", "changed"));
    EXPECT_EQ(doc.GetText("o.k"), "v");
    EXPECT_NE(item->GetEngine(), doc.GetEngine());
    // A missing value leaves the new root undefined; a string's content runs as script, and
    // a plain word names nothing.
    EXPECT_EQ(doc.GetDocument("missing")->ToJson(), "");
    EXPECT_EQ(doc.GetDocument("s")->ToJson(), "null");
}

TEST_F(JsonDocumentTest, CopiesShareTheEngine) {
    std::vector<Text> values;
    // Seven values; the empty last one is lost in the split.
    ASSERT_EQ(doc.GetValues(values), 6);
    auto copy = doc.Copy();
    EXPECT_EQ(copy->GetEngine(), doc.GetEngine());
    EXPECT_TRUE(copy->Clear());
    EXPECT_EQ(doc.ToJson(), "{}");
    // Clear keeps the other globals.
    EXPECT_EQ(doc.GetEngine()->EvalNumber("str_all.length"), 7);
    EXPECT_EQ(doc.GetEngine()->EvalText("typeof get__extend"), "function");
    ASSERT_TRUE(doc.SetValue("x", "from the original"));
    EXPECT_EQ(copy->GetText("x"), "from the original");
}

TEST(JsonDocument, KeepsComInitialisationBalanced) {
    const int before = platform::ComInitCount();
    {
        JsonDocument doc;
        EXPECT_GT(platform::ComInitCount(), before);
        ASSERT_TRUE(doc.Parse("{}"));
        ASSERT_TRUE(doc.Parse("[]"));
        auto copy = doc.Copy();
        auto item = doc.GetDocument();
        {
            JsonDocument original;
            copy = original.Copy();
        }
        // The copy outlives its original and still holds COM for the engine it shares.
        EXPECT_GT(platform::ComInitCount(), before);
        EXPECT_TRUE(copy->Clear());
    }
    EXPECT_EQ(platform::ComInitCount(), before);
}

// A document whose engine cannot be created: its next Parse gets no new one.
class EngineLessDocument : public JsonDocument {
  public:
    EngineLessDocument() { Parse("{}"); }
    void Init() override {}
};

TEST(JsonDocument, WithoutAnEngineEveryOperationFails) {
    EngineLessDocument doc;
    std::vector<Text> list = {"stale"};
    EXPECT_EQ(doc.GetEngine(), nullptr);
    EXPECT_FALSE(doc.Parse(R"({"a":1})"));
    EXPECT_FALSE(doc.Parse("1", true));
    EXPECT_FALSE(doc.Clear());
    EXPECT_EQ(doc.ToJson(), "");
    EXPECT_FALSE(doc.SetValue("a", "x"));
    EXPECT_FALSE(doc.SetValue("a", "{}", true));
    EXPECT_FALSE(doc.SetExpression("a", "1"));
    EXPECT_FALSE(doc.Exists(""));
    EXPECT_EQ(doc.GetType("a"), -1);
    EXPECT_EQ(doc.GetText(""), "");
    EXPECT_EQ(doc.GetKeys(list), 0);
    EXPECT_TRUE(list.empty());
    list = {"stale"};
    EXPECT_EQ(doc.GetValues(list, {}, true), 0);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(doc.GetCount(""), 0);
    EXPECT_FALSE(doc.Append("x"));
    EXPECT_FALSE(doc.SetItem(0, "", "x"));
    EXPECT_FALSE(doc.RemoveItem(0));
    EXPECT_FALSE(doc.Remove("a"));
    EXPECT_FALSE(doc.SetNumber("a", 1));
    EXPECT_EQ(doc.GetNumber(""), 0);
    EXPECT_EQ(doc.GetJson(""), "");
    EXPECT_EQ(doc.GetItemText(0), "");
    EXPECT_EQ(doc.Copy()->GetEngine(), nullptr);
    // A handed-out document has an engine of its own, its root undefined.
    auto item = doc.GetDocument();
    ASSERT_NE(item->GetEngine(), nullptr);
    EXPECT_FALSE(item->Exists(""));
    EXPECT_EQ(doc.GetItemDocument(0)->GetType(""), 0);
}

// Parse runs what the network sent; the engine's bounds end a hostile text, and the same
// document then loads the next answer.
TEST(JsonDocument, HostileTextsEndWithinTheBounds) {
    const auto budget = platform::ScriptBounds{}.callBudget;
    for (const Text& text :
         {Text("'while(true){}'"), Text("(function () { var s = 'x'; for (;;) s += s })()"),
          Text("(function () { var a = []; for (;;) a.push([a.length]) })()"),
          // Few instructions, each a slow built-in call, and no growth: interned strings.
          Text("(function () { var a = []; for (;;) a.push(new Array(1e4).join('x')) })()"),
          // One built-in call over a sparse array of the greatest length.
          Text("(function () { var a = []; a.length = 4294967295; a.reverse() })()")}) {
        SCOPED_TRACE(text);
        JsonDocument doc;
        const auto start = steady_clock::now();
        EXPECT_FALSE(doc.Parse(text));
        EXPECT_LT(steady_clock::now() - start, budget + milliseconds(1500));
        EXPECT_LE(doc.GetEngine()->MemoryInUse(), platform::ScriptBounds{}.memoryCap);
        EXPECT_TRUE(doc.Parse(R"({"data":{"item":{"share":{"title":"t"}}}})"));
        EXPECT_EQ(doc.GetText("data.item.share.title"), "t");
    }
}

}  // namespace
}  // namespace tarvo
