#include "json/json_document.h"

#include <charconv>
#include <climits>
#include <string>
#include <string_view>

#include "json/script_library.h"
#include "platform/com.h"
#include "platform/script_control.h"
#include "text/primitives.h"

namespace tarvo {
namespace {

constexpr std::string_view kRootName = "da";

// Stored strings hold U+2400 where a plain write had a backslash; every read that hands
// strings out turns it back.
constexpr std::string_view kRestoreBackslash = ".replace(str_reg, '\\\\')";

// "[2020年7月20日20时0分0秒]" in code page 936: what GetValues puts between values.
constexpr std::string_view kValueSeparator =
    "[2020\xC4\xEA"
    "7\xD4\xC2"
    "20\xC8\xD5"
    "20\xCA\xB1"
    "0\xB7\xD6"
    "0\xC3\xEB]";

constexpr std::string_view kNameSeparator = "\r\n";

Text Joined(std::initializer_list<std::string_view> pieces) {
    Text text;
    for (const auto piece : pieces) text += piece;
    return text;
}

// Makes `text` the content of a single-quoted script string that reads back to exactly
// these characters. A double-byte character is copied whole, so its second byte is never
// taken for a backslash or a quote.
Text EscapeForScript(std::string_view text) {
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = CharLength(text, i);
        if (length == 2) {
            out.append(text.substr(i, 2));
        } else {
            switch (text[i]) {
                case '\\':
                    out += "\\\\";
                    break;
                case '\'':
                    out += "\\'";
                    break;
                case '"':
                    out += "\\\"";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                default:
                    out += text[i];
                    break;
            }
        }
        i += length;
    }
    return out;
}

// Each separator ends a piece; the piece after the last one is kept only when not empty.
std::vector<Text> Split(const Text& text, std::string_view separator) {
    std::vector<Text> pieces;
    int start = 1;
    for (int at = Find(text, separator, start); at != kNotFound;
         at = Find(text, separator, start)) {
        pieces.push_back(text.substr(start - 1, at - start));
        start = at + static_cast<int>(separator.size());
    }
    if (static_cast<std::size_t>(start - 1) < text.size()) pieces.push_back(text.substr(start - 1));
    return pieces;
}

// "%.13g", independent of the process's locale: a decimal comma would turn the script's
// number into two expressions.
Text FormatNumber(double number) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 13);
    return Text(buffer, result.ptr);
}

// An array length may exceed what an int holds; it is clamped rather than overflowed.
int ToCount(double number) {
    if (!(number > 0)) return 0;
    if (number >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(number);
}

Text Index(int index) {
    return Joined({"[", std::to_string(index), "]"});
}

Text ValueText(const Text& value, bool isScript) {
    return isScript ? value : Joined({"'", value, "'"});
}

}  // namespace

JsonDocument::JsonDocument() : rootName_(kRootName) {
    Init();
}

JsonDocument::JsonDocument(ShareEngine, const JsonDocument& source)
    : rootName_(source.rootName_), engine_(source.engine_) {
    // A copy may outlive the document it came from, so it holds COM for the shared engine.
    platform::CoInitialize(nullptr);
    comInitialized_ = true;
}

JsonDocument::~JsonDocument() {
    engine_.reset();
    if (comInitialized_) platform::CoUninitialize();
}

std::unique_ptr<JsonDocument> JsonDocument::Copy() {
    return std::unique_ptr<JsonDocument>(new JsonDocument(ShareEngine{}, *this));
}

void JsonDocument::Init() {
    // Parse runs Init again for every fresh engine; COM is initialised once per document,
    // so that destruction balances it.
    if (!comInitialized_) {
        platform::CoInitialize(nullptr);
        comInitialized_ = true;
    }
    engine_ = platform::ScriptControl::Create(platform::kScriptControlClass);
    if (!engine_) return;
    engine_->SetLanguage("JavaScript");
    // Every engine runs the same library, so it is compiled once per process.
    engine_->AddSharedCode(ScriptLibrary());
    Run(Joined({"var ", rootName_,
                " = {}, str_Code = String.fromCharCode(9216), str_reg = new RegExp(str_Code, "
                "'g')"}));
}

bool JsonDocument::Parse(const Text& text, bool direct) {
    if (engine_) {
        engine_.reset();
        Init();
    }
    if (!engine_) return false;
    Run("var " + rootName_ + " = null");
    if (direct) {
        engine_->AddCode("var " + rootName_ + " = " + text);
    } else if (!engine_->AssignJson(rootName_, text)) {
        // A JSON object or array, the usual answer, is read by the engine's JSON decoder,
        // which costs half of what compiling the same text as script does and gives the
        // same value; everything else runs as script.
        engine_->AddCode("var " + rootName_ + " = eval(" + text + ")");
    }
    return Logical(rootName_ + " != null");
}

bool JsonDocument::Clear() {
    return Run(rootName_ + " = {}");
}

Text JsonDocument::ToJson() {
    return TextOf(Joined({"JSON.stringify(", rootName_, ")", kRestoreBackslash}));
}

bool JsonDocument::SetValue(const Text& path, const Text& value, bool isJson) {
    Text p = path;
    const bool exists = ResolvePath(p);
    if (!isJson) {
        return Run(p + " = '" + EscapeForScript(value) + "'.replace(/\\\\/g, str_Code)");
    }
    const Text v = value.empty() ? Text("{}") : value;
    const Text kind = TextOf("Object.prototype.toString.call(" + p + ")");
    if (exists && kind == "[object Object]") {
        return Run(p + " = get__extend(" + p + ", " + v + ")");
    }
    return Run(p + " = eval(" + v + ")");
}

bool JsonDocument::SetExpression(const Text& path, const Text& expression) {
    Text p = path;
    ResolvePath(p);
    return Run(p + " = eval(" + expression + ")");
}

bool JsonDocument::ResolvePath(Text& path) {
    if (path.starts_with(rootName_) && Logical(path + " != null")) return true;
    if (path.empty()) {
        path = rootName_;
    } else if (path.front() == '[') {
        path = rootName_ + path;
    } else {
        path = rootName_ + "." + path;
    }
    return Logical(path + " != null");
}

bool JsonDocument::Exists(const Text& path) {
    Text p = path;
    return ResolvePath(p);
}

int JsonDocument::GetType(const Text& path) {
    Text p = path;
    ResolvePath(p);
    if (Logical(p + " == null")) return 0;
    const Text kind = TextOf("Object.prototype.toString.call(" + p + ")");
    if (kind == "[object String]") return 6;
    if (kind == "[object Array]") return 5;
    if (kind == "[object Object]") return 4;
    if (kind == "[object Number]") return 2;
    if (kind == "[object Boolean]") return 1;
    return -1;
}

Text JsonDocument::GetText(const Text& path, bool asJson) {
    Text p = path;
    ResolvePath(p);
    if (asJson) return TextOf(Joined({"JSON.stringify(", p, ")", kRestoreBackslash}));
    return TextOf(Joined({p, ".toString()", kRestoreBackslash}));
}

int JsonDocument::GetKeys(std::vector<Text>& keys, const Text& path) {
    Text p = path;
    ResolvePath(p);
    keys = Split(TextOf("get__name_All(" + p + ")"), kNameSeparator);
    return static_cast<int>(keys.size());
}

int JsonDocument::GetCount(const Text& path) {
    Text p = path;
    ResolvePath(p);
    return ToCount(NumberOf("get__count(" + p + ")"));
}

std::unique_ptr<JsonDocument> JsonDocument::GetDocument(const Text& path) {
    auto fresh = std::make_unique<JsonDocument>();
    Text p = path;
    ResolvePath(p);
    fresh->Parse(TextOf(Joined({"JSON.stringify(", p, ")", kRestoreBackslash})));
    return fresh->Copy();
}

bool JsonDocument::Append(const Text& value, const Text& path, bool isScript) {
    Text p = path;
    ResolvePath(p);
    return Run(Joined({"if (Object.prototype.toString.call(", p, ") != '[object Array]') { ", p,
                       " = new Array() } ", p, ".push(", ValueText(value, isScript), ")"}));
}

std::unique_ptr<JsonDocument> JsonDocument::GetItemDocument(int index, const Text& path) {
    auto fresh = std::make_unique<JsonDocument>();
    Text p = path;
    ResolvePath(p);
    fresh->Parse(TextOf(Joined({"JSON.stringify(", p, Index(index), ")", kRestoreBackslash})));
    return fresh->Copy();
}

Text JsonDocument::GetItemText(int index, const Text& path, bool asJson) {
    Text p = path;
    ResolvePath(p);
    if (asJson) {
        return TextOf(Joined({"JSON.stringify(", p, Index(index), ")", kRestoreBackslash}));
    }
    return TextOf(Joined({p, Index(index), kRestoreBackslash}));
}

bool JsonDocument::SetItem(int index, const Text& path, const Text& value, bool isScript) {
    Text p = path;
    ResolvePath(p);
    return Run(Joined({p, Index(index), " = ", ValueText(value, isScript)}));
}

bool JsonDocument::RemoveItem(int index, const Text& path) {
    Text p = path;
    ResolvePath(p);
    return Run(Joined({p, ".splice(", std::to_string(index), ", 1)"}));
}

bool JsonDocument::Remove(const Text& path) {
    Text p = path;
    ResolvePath(p);
    return Logical("delete " + p);
}

bool JsonDocument::SetNumber(const Text& path, double number) {
    Text p = path;
    ResolvePath(p);
    return Run(p + " = " + FormatNumber(number));
}

double JsonDocument::GetNumber(const Text& path) {
    Text p = path;
    ResolvePath(p);
    return NumberOf(p);
}

Text JsonDocument::GetJson(const Text& path) {
    Text p = path;
    ResolvePath(p);
    return TextOf(Joined({"JSON.stringify(", p, ")", kRestoreBackslash}));
}

std::shared_ptr<platform::ScriptControl> JsonDocument::GetEngine() {
    return engine_;
}

int JsonDocument::GetValues(std::vector<Text>& values, const Text& path, bool recursive) {
    Text p = path;
    ResolvePath(p);
    Run("var str_all = new Array()");
    Run(Joined({"get__nodeValue(", p, ", ", recursive ? "true" : "false", ")"}));
    // The placeholder goes back to a backslash inside the engine: it has no code in code
    // page 936 and would arrive as "?".
    values = Split(TextOf(Joined({"str_all.join('", kValueSeparator, "')", kRestoreBackslash})),
                   kValueSeparator);
    return static_cast<int>(values.size());
}

bool JsonDocument::Run(const Text& code) {
    return engine_ && engine_->Eval(code);
}

bool JsonDocument::Logical(const Text& code) {
    return engine_ && engine_->EvalLogical(code);
}

Text JsonDocument::TextOf(const Text& code) {
    return engine_ ? engine_->EvalText(code) : Text();
}

double JsonDocument::NumberOf(const Text& code) {
    return engine_ ? engine_->EvalNumber(code) : 0;
}

}  // namespace tarvo
