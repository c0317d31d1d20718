#include "json/script_library.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/script_control.h"

namespace tarvo {
namespace {

class ScriptLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(engine, nullptr);
        ASSERT_TRUE(engine->SetLanguage("JavaScript"));
        ASSERT_TRUE(engine->AddCode(ScriptLibrary()));
    }
    std::unique_ptr<platform::ScriptControl> engine =
        platform::ScriptControl::Create(platform::kScriptControlClass);
};

struct Case {
    const char* name;
    Text code;
    Text expected;
};

void ExpectAll(platform::ScriptControl& engine, const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(engine.EvalText(c.code), c.expected);
    }
}

TEST_F(ScriptLibraryTest, IsAscii) {
    for (const char c : ScriptLibrary()) ASSERT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST_F(ScriptLibraryTest, CountsArraysOnly) {
    ExpectAll(*engine, {
                           {"array", "get__count([1, 2, 3])", "3"},
                           {"empty array", "get__count([])", "0"},
                           {"object with a length", "get__count({length: 4})", "0"},
                           {"string", "get__count('abc')", "0"},
                           {"number", "get__count(7)", "0"},
                           {"missing", "get__count(undefined)", "0"},
                       });
}

TEST_F(ScriptLibraryTest, NamesObjectMembersThatAreNoFunctions) {
    ExpectAll(*engine, {
                           {"object", "get__name_All({a: 1, b: 'x'})", "a\r\nb"},
                           {"function member", "get__name_All({a: 1, f: function () {}})", "a"},
                           {"empty object", "get__name_All({})", ""},
                           {"array", "get__name_All([1, 2])", ""},
                           {"string", "get__name_All('ab')", ""},
                           {"null", "get__name_All(null)", ""},
                       });
}

TEST_F(ScriptLibraryTest, CollectsLeafValuesDepthFirst) {
    const Text array = "[1, [2, 3], 'x', null, true]";
    ExpectAll(
        *engine,
        {
            {"flat", "var str_all = []; get__nodeValue(" + array + ", false).join('|')",
             "1|x|true"},
            {"recursive", "var str_all = []; get__nodeValue(" + array + ", true).join('|')",
             "1|2|3|x|true"},
            {"objects", "var str_all = []; get__nodeValue({a: {b: 'y'}, c: 2}, true).join('|')",
             "y|2"},
            {"string is no container", "var str_all = []; get__nodeValue('ab', true).length", "0"},
        });
}

TEST_F(ScriptLibraryTest, ExtendsTargets) {
    ExpectAll(*engine, {
                           {"members merged",
                            "JSON.stringify(get__extend({a: 'x', b: {c: 1}, d: [1]},"
                            " {a: 'y', b: {e: 2}, d: [2, 3], f: true}))",
                            R"({"a":"y","b":{"c":1,"e":2},"d":[1,2,3],"f":true})"},
                           {"number and null members take the source's",
                            "JSON.stringify(get__extend({n: 5, z: null, k: 1}, {n: 6, z: {q: 1}}))",
                            R"({"n":6,"z":{"q":1},"k":1})"},
                           {"array extended by array", "JSON.stringify(get__extend([1], [2, 3]))",
                            "[1,2,3]"},
                           {"array and object", "JSON.stringify(get__extend([1], {a: 2}))", "[1]"},
                           {"array extended by itself",
                            "var t = [1, 2]; JSON.stringify(get__extend(t, t))", "[1,2,1,2]"},
                           {"array and null", "JSON.stringify(get__extend([1], null))", "[1]"},
                       });
}

TEST(ScriptLibrary, KeepsTheEnginesJsonAndAddsTheMethods) {
    auto engine = platform::ScriptControl::Create(platform::kScriptControlClass);
    ASSERT_TRUE(engine->SetLanguage("JavaScript"));
    ASSERT_TRUE(engine->Eval("var before = [JSON, JSON.stringify, JSON.parse]"));
    ASSERT_TRUE(engine->AddCode(ScriptLibrary()));
    EXPECT_TRUE(engine->EvalLogical(
        "JSON === before[0] && JSON.stringify === before[1] && JSON.parse === before[2]"));
    ExpectAll(*engine,
              {
                  {"toJSONString", "({a: [1]}).toJSONString()", R"({"a":[1]})"},
                  {"parseJSON", "'[7]'.parseJSON()[0]", "7"},
                  {"methods enumerable", "var n = []; for (var k in {}) n.push(k); n.join()",
                   "toJSONString,parseJSON"},
              });
}

}  // namespace
}  // namespace tarvo
