#include "platform/script_control.h"

#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace tarvo::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::unique_ptr<ScriptControl> JavaScriptEngine(ScriptBounds bounds = {}) {
    auto engine = ScriptControl::Create(kScriptControlClass, bounds);
    if (engine) engine->SetLanguage("JavaScript");
    return engine;
}

TEST(ScriptControl, CreatedOnlyByItsClassName) {
    EXPECT_NE(ScriptControl::Create("MSScriptControl.ScriptControl"), nullptr);
    EXPECT_EQ(ScriptControl::Create("MSScriptControl.ScriptControl.1"), nullptr);
    EXPECT_EQ(ScriptControl::Create("msscriptcontrol.scriptcontrol"), nullptr);
    EXPECT_EQ(ScriptControl::Create(""), nullptr);
}

TEST(ScriptControl, RunsNothingUntilTheLanguageIsSet) {
    auto engine = ScriptControl::Create(kScriptControlClass);
    ASSERT_NE(engine, nullptr);
    EXPECT_FALSE(engine->AddCode("var x = 1"));
    EXPECT_EQ(engine->EvalNumber("1 + 1"), 0);
    EXPECT_FALSE(engine->SetLanguage("VBScript"));
    EXPECT_EQ(engine->Language(), "");
    EXPECT_TRUE(engine->SetLanguage("JavaScript"));
    EXPECT_EQ(engine->EvalNumber("1 + 1"), 2);
}

TEST(ScriptControl, AddCodeAndEvalShareOneGlobalScope) {
    auto engine = JavaScriptEngine();
    EXPECT_TRUE(engine->AddCode("function twice(x) { return 2 * x } var base = 20"));
    EXPECT_TRUE(engine->Eval("var extra = 1"));
    EXPECT_EQ(engine->EvalNumber("twice(base) + extra"), 41);
    // Statements are allowed; the value is the last expression statement's.
    EXPECT_EQ(engine->EvalNumber("var n = 3; if (n > 2) { n = 7 } n + 1"), 8);
    EXPECT_EQ(engine->EvalNumber("n"), 7);
    EXPECT_FALSE(engine->AddCode("function ("));
    EXPECT_EQ(engine->EvalNumber("base"), 20);
}

TEST(ScriptControl, ConvertsResultsToTheKindAskedFor) {
    struct Case {
        const char* name;
        Text code;
        bool logical;
        double number;
        Text text;
    };
    const std::vector<Case> cases = {
        {"true", "true", true, -1, "-1"},
        {"false", "false", false, 0, "0"},
        {"integer", "12", true, 12, "12"},
        {"fraction", "0.5", true, 0.5, "0.5"},
        {"zero", "0", false, 0, "0"},
        {"large number in engine form", "1e21", true, 1e21, "1e+21"},
        {"plain word", "'abc'", false, 0, "abc"},
        {"word true in any case", "'TrUe'", true, 0, "TrUe"},
        {"word false", "'FALSE'", false, 0, "FALSE"},
        {"numeric text with spaces", "' -2.5e1 '", true, -25, " -2.5e1 "},
        {"text zero", "'0.0'", false, 0, "0.0"},
        {"text of leading point", "'.5'", true, 0.5, ".5"},
        {"hex text is no number", "'0x10'", false, 0, "0x10"},
        {"out of range text is no number", "'1e999'", false, 0, "1e999"},
        {"empty text", "''", false, 0, ""},
        {"null", "null", false, 0, ""},
        {"undefined", "undefined", false, 0, ""},
        {"object", "({})", true, 0, "[object Object]"},
        {"array of one number", "[5]", true, 5, "5"},
        {"syntax error", "((", false, 0, ""},
        {"run-time error", "null.x", false, 0, ""},
        {"thrown value", "throw 5", false, 0, ""},
        {"failing valueOf", "({valueOf: function () { throw 1 }})", true, 0, ""},
    };
    auto engine = JavaScriptEngine();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(engine->EvalLogical(c.code), c.logical);
        EXPECT_EQ(engine->EvalNumber(c.code), c.number);
        EXPECT_EQ(engine->EvalText(c.code), c.text);
    }
}

TEST(ScriptControl, TextsCrossAsCodePage936) {
    auto engine = JavaScriptEngine();
    const Text zhongWen = "\xD6\xD0\xCE\xC4";  // 中文
    EXPECT_EQ(engine->EvalNumber("'" + zhongWen + "'.length"), 2);
    EXPECT_EQ(engine->EvalNumber("'" + zhongWen + "'.charCodeAt(0)"), 0x4E2D);
    EXPECT_EQ(engine->EvalText("'" + zhongWen + "'"), zhongWen);
    EXPECT_EQ(engine->EvalText("'\\u4e2d'"), "\xD6\xD0");
    // Characters that code page 936 lacks come back as one "?" each.
    EXPECT_EQ(engine->EvalText("String.fromCharCode(9216)"), "?");
    EXPECT_EQ(engine->EvalText("'a' + String.fromCharCode(0xD83D, 0xDE00) + 'b'"), "a?b");
    EXPECT_EQ(engine->EvalNumber("String.fromCharCode(0xD83D, 0xDE00).length"), 2);
    // A text ends at its first zero.
    EXPECT_EQ(engine->EvalText("'a\\u0000b'"), "a");
}

// ASCII runs are copied and the pieces between them converted: every mix of lead bytes,
// trail bytes in the ASCII range and lone bytes reads as the whole text converted at once.
TEST(ScriptControl, MixedTextsCrossAsTheWholeTextConverts) {
    const auto wholeRoundTrip = [](const Text& text) {
        std::u16string wide(text.size() + 1, u'\0');
        const int n = MultiByteToWideChar(kCodePageAnsi, 0, text.c_str(), -1, wide.data(),
                                          static_cast<int>(wide.size()));
        Text back(2 * wide.size(), '\0');
        const int m = WideCharToMultiByte(kCodePageAnsi, 0, wide.data(), n, back.data(),
                                          static_cast<int>(back.size()));
        back.resize(m > 0 ? static_cast<size_t>(m) - 1 : 0);
        return back;
    };
    auto engine = JavaScriptEngine();
    for (const Text text :
         {"a\xD6\xD0"
          "b",
          "\xD6"
          "a"
          "\xD0",
          "\xD6"
          "ab\xD0",
          "\x81 \x82", "x\xFF\x80y", "\xD6\xD0\xD6", "\xA1\x40\x40\xA1", "ab\x81"}) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(engine->EvalText("'" + text + "'"), wholeRoundTrip(text));
    }
}

TEST(ScriptControl, OffersOnlyStandardBuiltIns) {
    auto engine = JavaScriptEngine();
    for (const char* name : {"Duktape", "CBOR", "TextEncoder", "TextDecoder", "performance",
                             "print", "alert", "require", "process", "Buffer"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(engine->EvalText(Text("typeof ") + name), "undefined");
    }
    EXPECT_EQ(engine->EvalText("typeof JSON.stringify + typeof RegExp + typeof eval"),
              "functionfunctionfunction");
}

TEST(ScriptControl, EndsACallPastItsTimeBudget) {
    auto engine = JavaScriptEngine({.callBudget = milliseconds(300)});
    for (const Text code : {"while (true) {}", "try { while (true) {} } catch (e) {} 'caught'",
                            "(function f() { try { for (;;) {} } finally { for (;;) {} } })()",
                            "for (;;) /(a+)+b/.test('aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa')"}) {
        SCOPED_TRACE(code);
        const auto start = steady_clock::now();
        EXPECT_EQ(engine->EvalText(code), "");
        EXPECT_LT(steady_clock::now() - start, milliseconds(1500));
        EXPECT_EQ(engine->EvalNumber("6 * 7"), 42);
    }
    EXPECT_FALSE(engine->AddCode("for (;;) {}"));
    EXPECT_TRUE(engine->AddCode("var after = 1"));
}

TEST(ScriptControl, FailsACallPastItsMemoryCap) {
    constexpr std::size_t kCap = std::size_t{8} << 20;
    auto engine = JavaScriptEngine({.callBudget = milliseconds(60000), .memoryCap = kCap});
    for (const Text code : {"(function () { var s = 'x'; for (;;) s += s })()",
                            "(function () { var a = []; for (;;) a.push({n: a.length}) })()",
                            "new Array(2000000).join('xxxxxxxxxx')"}) {
        SCOPED_TRACE(code);
        const auto start = steady_clock::now();
        EXPECT_FALSE(engine->Eval(code));
        EXPECT_LT(steady_clock::now() - start, milliseconds(20000));
        EXPECT_LE(engine->MemoryInUse(), kCap);
        EXPECT_EQ(
            engine->EvalNumber("var a = []; for (var i = 0; i < 1000; i++) a.push(i); a.length"),
            1000);
        EXPECT_LT(engine->MemoryInUse(), kCap / 2);
    }
}

// One built-in call runs without a time check, so one that would walk millions of indexes
// is refused at once.
TEST(ScriptControl, RefusesArrayWalksTooLongForOneCall) {
    auto engine = JavaScriptEngine();
    ASSERT_TRUE(engine->AddCode("var sparse = []; sparse.length = 4294967295"));
    for (const Text code : {"sparse.indexOf(1)", "sparse.reverse()", "sparse.join('')",
                            "sparse.sort()", "sparse.forEach(function () {})", "String(sparse)",
                            "[].concat(new Array(1500000), new Array(1500000))",
                            "Array.prototype.lastIndexOf.call({length: 1e15}, 1)",
                            "Array.prototype.indexOf.call(new Array(3000000).join('x'), 'y')",
                            "var n = []; n.length = 200000; n.sort()"}) {
        SCOPED_TRACE(code);
        const auto start = steady_clock::now();
        EXPECT_EQ(engine->EvalText("try { " + code + "; 'ran' } catch (e) { e.name }"),
                  "RangeError");
        EXPECT_LT(steady_clock::now() - start, milliseconds(500));
    }
}

TEST(ScriptControl, ArrayBuiltInsWithinTheirBoundsBehaveAsBefore) {
    auto engine = JavaScriptEngine();
    struct Case {
        const char* code;
        const char* expected;
    };
    for (const Case& c : std::vector<Case>{
             {"[3, 1, 10, 2].sort().join()", "1,10,2,3"},
             {"[5, 1, 10].sort(function (a, b) { return a - b }).join('-')", "1-5-10"},
             {"[1, 2].concat([3], 4, [[5]]).length", "5"},
             {"Array.prototype.join.call('abc', '+')", "a+b+c"},
             {"[1, 2, 3].map(function (x) { return x * 2 }).reverse().join()", "6,4,2"},
             {"[1, 2, 3].reduce(function (a, b) { return a + b })", "6"},
             {"[].indexOf.name + [].indexOf.length + [].reduce.length", "indexOf11"},
             {"String([].join)", "function join() { [native code] }"},
             {"try { [].indexOf.call(null) } catch (e) { e.name }", "TypeError"},
             {"var big = []; big.length = 2097152; big.lastIndexOf(1)", "-1"},
         }) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(engine->EvalText(c.code), c.expected);
    }
}

TEST(ScriptControl, SharedCodeDefinesWhatAddCodeDefines) {
    // Declarations, a closure made by a function run at load, recursion through the global
    // name, an inherited enumerable method and a getter.
    const Text library =
        "function fact(n) { return n <= 1 ? 1 : n * fact(n - 1) }\n"
        "var counter = (function () { var n = 0; return function () { return ++n } })();\n"
        "if (!Object.prototype.shared) { Object.prototype.shared = function () { return 7 } }\n"
        "var holder = { get twice() { return 2 * fact(3) } };\n";
    const Text probe =
        "var names = []; for (var k in {}) names.push(k);"
        "[typeof fact, fact(5), counter(), counter(), names.join(), ({}).shared(),"
        " holder.twice, String(fact).length > 0].join()";
    auto compiling = JavaScriptEngine();
    auto loading = JavaScriptEngine();
    auto plain = JavaScriptEngine();
    ASSERT_TRUE(compiling->AddSharedCode(library));
    ASSERT_TRUE(loading->AddSharedCode(library));
    ASSERT_TRUE(plain->AddCode(library));
    const Text expected = "function,120,1,2,shared,7,12,true";
    EXPECT_EQ(plain->EvalText(probe), expected);
    EXPECT_EQ(compiling->EvalText(probe), expected);
    EXPECT_EQ(loading->EvalText(probe), expected);
    // Each engine has its own state: the closure counts from 1 in every one.
    EXPECT_EQ(loading->EvalNumber("counter()"), 3);

    for (int i = 0; i < 2; ++i) {
        auto engine = JavaScriptEngine();
        EXPECT_FALSE(engine->AddSharedCode("function ("));
        EXPECT_FALSE(engine->AddSharedCode("var before = 1; throw 1"));
        EXPECT_EQ(engine->EvalNumber("before"), 1);
    }
    EXPECT_FALSE(ScriptControl::Create(kScriptControlClass)->AddSharedCode(library));
}

TEST(ScriptControl, AssignsOnlyStrictJsonContainers) {
    struct Case {
        const char* name;
        Text json;
        bool assigned;
    };
    const std::vector<Case> cases = {
        {"object", R"({"a":[1,-2.5e3,true,false,null,"x\"\\\/\b\f\n\r\t\u4e2d"],"b":{}})", true},
        {"array with spaces", " \r\n\t[ 1 , { \"k\" : [ ] } ]\n", true},
        {"Chinese", "{\"\xD6\xD0\":\"\xCE\xC4\"}", true},
        {"empty text", "", false},
        {"number", "12", false},
        {"string", R"("{}")", false},
        {"null", "null", false},
        {"bare name", "{a:1}", false},
        {"single quotes", "['a']", false},
        {"trailing comma", "[1,2,]", false},
        {"hole", "[1,,2]", false},
        {"leading zero", "[01]", false},
        {"plus sign", "[+1]", false},
        {"bare fraction", "[.5]", false},
        {"hex", "[0x10]", false},
        {"two values", "{}{}", false},
        {"statement after", "[1]; x = 2", false},
        {"raw tab in string", "[\"a\tb\"]", false},
        {"bad escape", R"(["\x41"])", false},
        {"short unicode escape", R"(["\u41"])", false},
        {"unclosed", R"({"a":[1})", false},
        {"__proto__ member", R"({"__proto__":{"x":1}})", false},
        {"escaped member name", R"({"\u005f_proto__":{"x":1}})", false},
        {"comment", "[1 /* c */]", false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        auto engine = JavaScriptEngine();
        ASSERT_TRUE(engine->Eval("var v = 'untouched'"));
        EXPECT_EQ(engine->AssignJson("v", row.json), row.assigned);
        EXPECT_EQ(engine->EvalText("typeof v"), row.assigned ? "object" : "string");
    }
    auto engine = JavaScriptEngine();
    const auto nested = [](int depth) { return Text(depth, '[') + Text(depth, ']'); };
    EXPECT_TRUE(engine->AssignJson("v", nested(kJsonDecodeDepth)));
    EXPECT_FALSE(engine->AssignJson("v", nested(kJsonDecodeDepth + 1)));
    EXPECT_FALSE(ScriptControl::Create(kScriptControlClass)->AssignJson("v", "[]"));
}

}  // namespace
}  // namespace tarvo::platform
