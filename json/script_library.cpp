#include "json/script_library.h"

#include <cstddef>
#include <string_view>

namespace tarvo {
namespace generated {
extern const unsigned char kJson2Script[];
extern const std::size_t kJson2ScriptSize;
}  // namespace generated

namespace {

// Each function judges a value by its class text, which tells arrays from objects and
// leaves null and undefined out of every kind. The walks skip function values, so the
// toJSONString and parseJSON methods that every object inherits never reach a result.
//
// Two cases merge soundly where a plain walk would fail halfway and leave the target half
// written: a member that is a number or null in the target takes the source's member.
// Only objects and arrays are walked as sources, so a string is never taken apart into
// its characters.
constexpr std::string_view kOwnFunctions =
    "function get__nodeValue(str_json, recursion) {"
    " var kind = Object.prototype.toString.call(str_json);"
    " if (kind != '[object Object]' && kind != '[object Array]') return str_all;"
    " for (var name in str_json) {"
    " var value = str_json[name], valueKind = Object.prototype.toString.call(value);"
    " if (valueKind == '[object Object]' || valueKind == '[object Array]') {"
    " if (recursion) get__nodeValue(value, recursion)"
    " } else if (valueKind == '[object String]' || valueKind == '[object Number]' ||"
    " valueKind == '[object Boolean]') { str_all.push(value) } }"
    " return str_all }\n"
    "function get__count(c) {"
    " return Object.prototype.toString.call(c) == '[object Array]' ? c.length : 0 }\n"
    "function get__name_All(a) {"
    " var names = [];"
    " if (Object.prototype.toString.call(a) == '[object Object]') {"
    " for (var name in a) { if (typeof a[name] != 'function') names.push(name) } }"
    " return names.join('\\r\\n') }\n"
    "function get__extend(target, source) {"
    " var sourceKind = Object.prototype.toString.call(source);"
    " if (sourceKind != '[object Object]' && sourceKind != '[object Array]') return target;"
    " if (Object.prototype.toString.call(target) == '[object Array]') {"
    " var count = source.length;"
    " for (var i = 0; i < count; i++) target.push(source[i]);"
    " return target }"
    " for (var name in source) {"
    " var kind = typeof target[name];"
    " if (kind == 'function') continue;"
    " if (kind == 'object' && target[name] !== null) {"
    " target[name] = get__extend(target[name], source[name]) }"
    " else { target[name] = source[name] } }"
    " return target }\n";

constexpr std::string_view kJsonAdditions =
    "if (!Object.prototype.toJSONString) {"
    " Object.prototype.toJSONString = function (filter) { return JSON.stringify(this, filter) };"
    " Object.prototype.parseJSON = function (filter) { return JSON.parse(this, filter) } }\n";

}  // namespace

const Text& ScriptLibrary() {
    static const Text library = [] {
        Text text(kOwnFunctions);
        text.append(reinterpret_cast<const char*>(generated::kJson2Script),
                    generated::kJson2ScriptSize);
        text += '\n';
        text += kJsonAdditions;
        return text;
    }();
    return library;
}

}  // namespace tarvo
