#include "platform/script_control.h"

#include <duktape.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/code_page.h"

namespace tarvo::platform {
namespace {

using Clock = std::chrono::steady_clock;

// What the engine's allocator, time-out check and fatal-error handler share. Duktape hands
// it back to them as the heap's user data.
struct HeapState {
    std::size_t used = 0;
    std::size_t cap = 0;
    Clock::duration budget{};
    Clock::time_point deadline = Clock::time_point::max();
    std::jmp_buf* fatalJump = nullptr;
    bool broken = false;
};

// Every block carries its size in front, so that the heap's total is known exactly.
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);

std::size_t& BlockSize(void* block) {
    return *static_cast<std::size_t*>(block);
}

void* Allocate(void* udata, duk_size_t size) {
    auto& state = *static_cast<HeapState*>(udata);
    if (size > state.cap - state.used) return nullptr;
    void* block = std::malloc(kBlockHeader + size);
    if (block == nullptr) return nullptr;
    BlockSize(block) = size;
    state.used += size;
    return static_cast<char*>(block) + kBlockHeader;
}

void Release(void* udata, void* ptr) {
    if (ptr == nullptr) return;
    auto& state = *static_cast<HeapState*>(udata);
    void* block = static_cast<char*>(ptr) - kBlockHeader;
    state.used -= BlockSize(block);
    std::free(block);
}

void* Reallocate(void* udata, void* ptr, duk_size_t size) {
    if (ptr == nullptr) return Allocate(udata, size);
    if (size == 0) {
        Release(udata, ptr);
        return nullptr;
    }
    auto& state = *static_cast<HeapState*>(udata);
    void* block = static_cast<char*>(ptr) - kBlockHeader;
    const std::size_t old = BlockSize(block);
    if (size > old && size - old > state.cap - state.used) return nullptr;
    void* grown = std::realloc(block, kBlockHeader + size);
    if (grown == nullptr) return nullptr;
    BlockSize(grown) = size;
    state.used = state.used - old + size;
    return static_cast<char*>(grown) + kBlockHeader;
}

// Duktape must not return from its fatal-error handler. Every entry into the engine runs
// under Guarded, which sets a landing place; the handler jumps there and the heap is
// abandoned, so the process goes on.
[[noreturn]] void OnFatal(void* udata, const char* /*message*/) {
    auto& state = *static_cast<HeapState*>(udata);
    state.broken = true;
    std::longjmp(*state.fatalJump, 1);
}

// Runs `step` with the fatal handler's landing place set. Nothing here or in the steps may
// own a resource that a jump would skip; callers keep their texts outside.
bool Guarded(HeapState& state, void (*step)(duk_context*, void*), duk_context* ctx, void* arg) {
    if (state.broken) return false;
    std::jmp_buf landing;
    state.fatalJump = &landing;
    if (setjmp(landing) != 0) {
        state.fatalJump = nullptr;
        return false;
    }
    step(ctx, arg);
    state.fatalJump = nullptr;
    return true;
}

bool IsAscii(char c) {
    return static_cast<unsigned char>(c) < 0x80;
}

// Appends UTF-16 units as CESU-8, the engine's string form: every unit, a surrogate
// included, as its own one- to three-byte sequence.
void AppendCesu8(std::u16string_view wide, std::string& out) {
    for (const char16_t u : wide) {
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
}

// A text in the engine's string form. ASCII stands for itself in code page 936 and in
// CESU-8, and most of a script or a JSON answer is ASCII, so runs of it are copied as they
// are and only the pieces between them are converted. A piece ends at two ASCII bytes in a
// row: a character of the code page is at most two bytes long, so the second of them
// begins a character however the bytes before it are read.
std::string ToEngine(const Text& text) {
    const std::string_view bytes(text.c_str());  // up to the first zero
    std::string out;
    out.reserve(bytes.size());
    std::u16string wide;
    for (size_t i = 0; i < bytes.size();) {
        size_t pieceStart = i;
        while (pieceStart < bytes.size() && IsAscii(bytes[pieceStart])) ++pieceStart;
        out.append(bytes.substr(i, pieceStart - i));
        if (pieceStart == bytes.size()) break;
        size_t pieceEnd = pieceStart + 1;
        while (pieceEnd < bytes.size() &&
               !(IsAscii(bytes[pieceEnd]) && IsAscii(bytes[pieceEnd - 1]))) {
            ++pieceEnd;
        }
        // No byte gives more than one unit, so one call into a buffer of that size does.
        const int length = static_cast<int>(pieceEnd - pieceStart);
        wide.resize(static_cast<size_t>(length));
        const int n = MultiByteToWideChar(kCodePageAnsi, 0, bytes.data() + pieceStart, length,
                                          wide.data(), length);
        AppendCesu8(std::u16string_view(wide.data(), static_cast<size_t>(n)), out);
        i = pieceEnd;
    }
    return out;
}

// Reads the engine's string bytes back to UTF-16: CESU-8, and the four-byte form for
// characters beyond the BMP, which become surrogate pairs. A malformed byte becomes U+FFFD.
std::u16string FromEngine(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        std::size_t more;
        char32_t cp;
        if (b < 0x80) {
            more = 0;
            cp = b;
        } else if (b >= 0xC0 && b < 0xE0) {
            more = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b < 0xF0) {
            more = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b < 0xF8) {
            more = 3;
            cp = b & 0x07;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        std::size_t j = 1;
        for (; j <= more && i + j < n && (p[i + j] & 0xC0) == 0x80; ++j) {
            cp = (cp << 6) | (p[i + j] & 0x3F);
        }
        if (j <= more || cp > 0x10FFFF) {
            out.push_back(u'\uFFFD');
            i += j;
            continue;
        }
        AppendUtf16(cp, out);
        i += j;
    }
    return out;
}

// A system text ends at its first zero, so an engine string is cut there.
Text FromEngineText(std::string_view bytes) {
    std::u16string wide = FromEngine(bytes);
    wide.resize(std::min(wide.size(), wide.find(u'\0')));
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int length = static_cast<int>(wide.size());
    // Code page 936 writes at most two bytes per unit.
    Text out(wide.size() * 2, '\0');
    const int m = WideCharToMultiByte(kCodePageAnsi, 0, wide.data(), length, out.data(),
                                      static_cast<int>(out.size()));
    if (m <= 0) return {};
    out.resize(static_cast<std::size_t>(m));
    return out;
}

// The value of one engine call, copied off the engine's stack.
struct Value {
    enum class Type { kFailed, kUndefined, kNull, kBoolean, kNumber, kString, kObject };
    Type type = Type::kFailed;
    bool boolean = false;
    double number = 0;
    std::string bytes;  // the engine's string bytes
};

enum class Coerce { kNone, kPrimitive, kString };

struct Call {
    const std::string* source;
    bool program;
    Coerce coerce;
    Value* value;
};

duk_ret_t RunSource(duk_context* ctx, void* udata) {
    const auto& call = *static_cast<const Call*>(udata);
    duk_compile_lstring(ctx, call.program ? 0 : DUK_COMPILE_EVAL, call.source->data(),
                        call.source->size());
    duk_call(ctx, 0);
    if (call.coerce != Coerce::kNone) {
        if (!duk_check_type_mask(ctx, -1,
                                 DUK_TYPE_MASK_UNDEFINED | DUK_TYPE_MASK_NULL |
                                     DUK_TYPE_MASK_BOOLEAN | DUK_TYPE_MASK_NUMBER |
                                     DUK_TYPE_MASK_STRING)) {
            duk_to_primitive(ctx, -1, DUK_HINT_NONE);
        }
        if (call.coerce == Coerce::kString && duk_is_number(ctx, -1)) duk_to_string(ctx, -1);
    }
    return 1;
}

void RunStep(duk_context* ctx, void* arg) {
    const auto& call = *static_cast<const Call*>(arg);
    Value& value = *call.value;
    if (duk_safe_call(ctx, RunSource, arg, 0, 1) != DUK_EXEC_SUCCESS) {
        value.type = Value::Type::kFailed;
    } else if (duk_is_symbol(ctx, -1)) {
        value.type = Value::Type::kObject;
    } else {
        switch (duk_get_type(ctx, -1)) {
            case DUK_TYPE_UNDEFINED:
                value.type = Value::Type::kUndefined;
                break;
            case DUK_TYPE_NULL:
                value.type = Value::Type::kNull;
                break;
            case DUK_TYPE_BOOLEAN:
                value.type = Value::Type::kBoolean;
                value.boolean = duk_get_boolean(ctx, -1) != 0;
                break;
            case DUK_TYPE_NUMBER:
                value.type = Value::Type::kNumber;
                value.number = duk_get_number(ctx, -1);
                break;
            case DUK_TYPE_STRING: {
                duk_size_t length = 0;
                const char* bytes = duk_get_lstring(ctx, -1, &length);
                value.type = Value::Type::kString;
                value.bytes.assign(bytes, length);
                break;
            }
            default:
                value.type = Value::Type::kObject;
                break;
        }
    }
    duk_pop(ctx);
}

// The compiled forms of the texts given to AddSharedCode, keyed by the text, for every
// engine of the process. An entry is made once and never changes.
struct SharedCode {
    std::mutex lock;
    std::unordered_map<Text, std::shared_ptr<const std::string>> compiled;
};

SharedCode& TheSharedCode() {
    static SharedCode shared;
    return shared;
}

struct SharedCall {
    const std::string* source;    // the text in the engine's form, when compiling
    const std::string* compiled;  // the compiled form, when loading
    std::string* dumped;          // receives the compiled form of `source`
};

duk_ret_t RunShared(duk_context* ctx, void* udata) {
    const auto& call = *static_cast<const SharedCall*>(udata);
    if (call.compiled != nullptr) {
        void* bytes = duk_push_fixed_buffer(ctx, call.compiled->size());
        std::memcpy(bytes, call.compiled->data(), call.compiled->size());
        duk_load_function(ctx);
    } else {
        duk_compile_lstring(ctx, 0, call.source->data(), call.source->size());
        duk_dup(ctx, -1);
        duk_dump_function(ctx);
        duk_size_t size = 0;
        const void* bytes = duk_get_buffer(ctx, -1, &size);
        call.dumped->assign(static_cast<const char*>(bytes), size);
        duk_pop(ctx);
    }
    duk_call(ctx, 0);
    return 1;
}

void RunSharedStep(duk_context* ctx, void* arg) {
    auto& [call, ok] = *static_cast<std::pair<SharedCall*, bool>*>(arg);
    ok = duk_safe_call(ctx, RunShared, call, 0, 1) == DUK_EXEC_SUCCESS;
    duk_pop(ctx);
}

bool IsJsonSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// One pass over the engine's form of a text (CESU-8), building nothing: true when it is a
// strict JSON object or array that the JSON decoder and the script compiler read to the
// same value. Member names with escapes are refused rather than decoded, so that no
// spelling of "__proto__" slips through; U+2028 and U+2029 are refused because string
// literals of the script and JSON strings do not treat them alike.
class PlainJsonCheck {
  public:
    explicit PlainJsonCheck(std::string_view text) : s_(text) {}

    bool Run() {
        SkipSpace();
        if (i_ >= s_.size() || (s_[i_] != '{' && s_[i_] != '[')) return false;
        if (!Value()) return false;
        SkipSpace();
        return i_ == s_.size();
    }

  private:
    // Containers are walked with an explicit stack of their kinds, so that a deep text
    // costs no native stack.
    bool Value() {
        std::vector<char> open;
        while (true) {
            SkipSpace();
            if (i_ >= s_.size()) return false;
            const char c = s_[i_];
            if (c == '{' || c == '[') {
                if (open.size() >= static_cast<std::size_t>(kJsonDecodeDepth)) return false;
                open.push_back(c);
                ++i_;
                SkipSpace();
                if (i_ < s_.size() && s_[i_] == (c == '{' ? '}' : ']')) {
                    ++i_;
                    open.pop_back();
                } else {
                    if (c == '{' && !Member()) return false;
                    continue;
                }
            } else if (!Scalar()) {
                return false;
            }
            // After a value: close what ends here, then a comma leads to the next value.
            while (true) {
                if (open.empty()) return true;
                SkipSpace();
                if (i_ >= s_.size()) return false;
                const char next = s_[i_++];
                if (next == ',') {
                    if (open.back() == '{' && !Member()) return false;
                    break;
                }
                if (next != (open.back() == '{' ? '}' : ']')) return false;
                open.pop_back();
            }
        }
    }

    // A member name and its colon.
    bool Member() {
        SkipSpace();
        if (i_ >= s_.size() || s_[i_] != '"') return false;
        const std::size_t start = i_ + 1;
        if (!String(true)) return false;
        if (s_.substr(start, i_ - 1 - start) == "__proto__") return false;
        SkipSpace();
        if (i_ >= s_.size() || s_[i_] != ':') return false;
        ++i_;
        return true;
    }

    bool Scalar() {
        const char c = s_[i_];
        if (c == '"') return String(false);
        if (c == '-' || IsDigit(c)) return Number();
        for (const std::string_view word : {"true", "false", "null"}) {
            if (s_.substr(i_, word.size()) == word) {
                i_ += word.size();
                return true;
            }
        }
        return false;
    }

    bool String(bool name) {
        ++i_;
        while (i_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') {
                ++i_;
                return true;
            }
            if (c < 0x20) return false;
            if (c == 0xE2 && s_.substr(i_, 2) == "\xE2\x80" && i_ + 2 < s_.size() &&
                (s_[i_ + 2] == '\xA8' || s_[i_ + 2] == '\xA9')) {
                return false;
            }
            if (c == '\\') {
                if (name || i_ + 1 >= s_.size()) return false;
                const char e = s_[i_ + 1];
                if (e == 'u') {
                    if (i_ + 6 > s_.size()) return false;
                    for (std::size_t k = i_ + 2; k < i_ + 6; ++k) {
                        if (!IsHexDigit(s_[k])) return false;
                    }
                    i_ += 6;
                    continue;
                }
                if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                    return false;
                }
                i_ += 2;
                continue;
            }
            ++i_;
        }
        return false;
    }

    bool Number() {
        if (s_[i_] == '-') ++i_;
        if (i_ >= s_.size() || !IsDigit(s_[i_])) return false;
        if (s_[i_] == '0') {
            ++i_;
        } else {
            while (i_ < s_.size() && IsDigit(s_[i_])) ++i_;
        }
        if (i_ < s_.size() && s_[i_] == '.') {
            ++i_;
            if (!Digits()) return false;
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            ++i_;
            if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
            if (!Digits()) return false;
        }
        return true;
    }

    bool Digits() {
        const std::size_t start = i_;
        while (i_ < s_.size() && IsDigit(s_[i_])) ++i_;
        return i_ > start;
    }

    void SkipSpace() {
        while (i_ < s_.size() && IsJsonSpace(s_[i_])) ++i_;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

struct JsonAssignment {
    const std::string* name;
    const std::string* json;
};

duk_ret_t DecodeJson(duk_context* ctx, void* udata) {
    const auto& assignment = *static_cast<const JsonAssignment*>(udata);
    duk_push_lstring(ctx, assignment.json->data(), assignment.json->size());
    duk_json_decode(ctx, -1);
    duk_put_global_lstring(ctx, assignment.name->data(), assignment.name->size());
    return 0;
}

void DecodeJsonStep(duk_context* ctx, void* arg) {
    auto& [assignment, ok] = *static_cast<std::pair<JsonAssignment*, bool>*>(arg);
    ok = duk_safe_call(ctx, DecodeJson, assignment, 0, 1) == DUK_EXEC_SUCCESS;
    duk_pop(ctx);
}

// The globals that Duktape adds beyond the language's standard built-ins.
constexpr std::array<const char*, 9> kExtraGlobals = {
    "Duktape", "CBOR",  "TextEncoder", "TextDecoder", "performance",
    "Buffer",  "print", "alert",       "require",
};

// Duktape checks the time budget between bytecode instructions only, so a built-in that
// walks an array index by index runs to its end unchecked, and it visits every index below
// the length, holes included: over `a.length = 4294967295` one call takes minutes. Each
// such built-in of Array.prototype is wrapped by a native function that refuses a longer
// object with a RangeError before calling the original. At about 150 ns an index (a
// sparse walk, this machine), the bounds keep one call near a second: sort compares far
// more than it walks, and the others take one or two passes. An array that a script fills
// past 2^21 values takes 16 MiB or more, a quarter of the default memory cap.
struct ArrayWalk {
    const char* name;
    duk_uint32_t maxLength;
    bool walksArguments = false;  // concat walks every array it is given, too
};
constexpr duk_uint32_t kWalkBound = duk_uint32_t{1} << 21;
constexpr std::array<ArrayWalk, 18> kArrayWalks = {{
    {"concat", kWalkBound, true},
    {"join", kWalkBound},
    {"reverse", kWalkBound},
    {"shift", kWalkBound},
    {"slice", kWalkBound},
    {"sort", duk_uint32_t{1} << 17},
    {"splice", kWalkBound},
    {"unshift", kWalkBound},
    {"indexOf", kWalkBound},
    {"lastIndexOf", kWalkBound},
    {"every", kWalkBound},
    {"some", kWalkBound},
    {"forEach", kWalkBound},
    {"map", kWalkBound},
    {"filter", kWalkBound},
    {"reduce", kWalkBound},
    {"reduceRight", kWalkBound},
    {"toLocaleString", kWalkBound},
}};
// Where a wrapper keeps the built-in it guards; a hidden key, out of the scripts' reach.
constexpr const char* kWrappedBuiltIn = DUK_HIDDEN_SYMBOL("wrapped");

duk_double_t LengthOf(duk_context* ctx, duk_idx_t at) {
    duk_dup(ctx, at);
    duk_to_object(ctx, -1);
    duk_get_prop_string(ctx, -1, "length");
    const duk_uint32_t length = duk_to_uint32(ctx, -1);
    duk_pop_2(ctx);
    return length;
}

// The length the built-in will walk, `this` being on the top of the stack above the
// arguments: that of `this` as an object; for a built-in that walks its arguments too, the
// sum over them and `this`, an array counting its length and anything else one.
duk_double_t WalkLength(duk_context* ctx, bool walksArguments) {
    const duk_idx_t self = duk_get_top_index(ctx);
    if (!walksArguments) return LengthOf(ctx, self);
    duk_double_t total = 0;
    for (duk_idx_t at = 0; at <= self; ++at) {
        total += duk_is_array(ctx, at) ? LengthOf(ctx, at) : 1;
    }
    return total;
}

duk_ret_t GuardedArrayWalk(duk_context* ctx) {
    const ArrayWalk& walk = kArrayWalks[static_cast<size_t>(duk_get_current_magic(ctx))];
    const duk_idx_t args = duk_get_top(ctx);
    duk_push_this(ctx);
    // Without an object to walk, the built-in throws its own TypeError.
    if (!duk_is_null_or_undefined(ctx, -1) &&
        WalkLength(ctx, walk.walksArguments) > walk.maxLength) {
        return duk_error(ctx, DUK_ERR_RANGE_ERROR, "array too long for %s", walk.name);
    }
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kWrappedBuiltIn);
    duk_remove(ctx, -2);
    duk_insert(ctx, 0);  // the built-in, the arguments, this
    duk_insert(ctx, 1);  // the built-in, this, the arguments
    duk_call_method(ctx, args);
    return 1;
}

duk_ret_t PrepareGlobals(duk_context* ctx, void* /*udata*/) {
    duk_push_global_object(ctx);
    for (const char* name : kExtraGlobals) duk_del_prop_string(ctx, -1, name);
    duk_get_prop_string(ctx, -1, "Array");
    duk_get_prop_string(ctx, -1, "prototype");
    for (size_t k = 0; k < kArrayWalks.size(); ++k) {
        const char* name = kArrayWalks[k].name;
        duk_push_c_function(ctx, GuardedArrayWalk, DUK_VARARGS);
        duk_set_magic(ctx, -1, static_cast<duk_int_t>(k));
        duk_get_prop_string(ctx, -2, name);
        // The wrapper answers to the built-in's name and length, as scripts may look.
        for (const char* property : {"name", "length"}) {
            duk_push_string(ctx, property);
            duk_get_prop_string(ctx, -2, property);
            duk_def_prop(ctx, -4, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);
        }
        duk_put_prop_string(ctx, -2, kWrappedBuiltIn);
        duk_put_prop_string(ctx, -2, name);
    }
    return 0;
}

void PrepareGlobalsStep(duk_context* ctx, void* ok) {
    *static_cast<bool*>(ok) = duk_safe_call(ctx, PrepareGlobals, nullptr, 0, 1) == DUK_EXEC_SUCCESS;
    duk_pop(ctx);
}

struct Creation {
    HeapState* state;
    duk_context* ctx;
};

void CreateStep(duk_context* /*ctx*/, void* arg) {
    auto& creation = *static_cast<Creation*>(arg);
    creation.ctx = duk_create_heap(Allocate, Reallocate, Release, creation.state, OnFatal);
}

void DestroyStep(duk_context* ctx, void* /*arg*/) {
    duk_destroy_heap(ctx);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A decimal number with optional sign, fraction and exponent, between optional spaces.
bool SpellsNumber(std::string_view text, double& number) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::size_t i = 0;
    std::size_t digits = 0;
    const auto skipDigits = [&] {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - start;
    };
    digits += skipDigits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        digits += skipDigits();
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (skipDigits() == 0) return false;
    }
    if (i != text.size()) return false;
    // A number beyond the range of a double does not convert, as on the platform.
    double parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + i, parsed);
    if (error != std::errc() || end != text.data() + i) return false;
    number = negative ? -parsed : parsed;
    return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

bool AsLogical(const Value& value) {
    switch (value.type) {
        case Value::Type::kBoolean:
            return value.boolean;
        case Value::Type::kNumber:
            return value.number != 0;
        case Value::Type::kString: {
            double number = 0;
            if (SpellsNumber(value.bytes, number)) return number != 0;
            return EqualsIgnoringCase(value.bytes, "true");
        }
        case Value::Type::kObject:
            return true;
        default:
            return false;
    }
}

double AsNumber(const Value& value) {
    switch (value.type) {
        case Value::Type::kBoolean:
            return value.boolean ? -1 : 0;
        case Value::Type::kNumber:
            return value.number;
        case Value::Type::kString: {
            double number = 0;
            return SpellsNumber(value.bytes, number) ? number : 0;
        }
        default:
            return 0;
    }
}

Text AsText(const Value& value) {
    switch (value.type) {
        case Value::Type::kBoolean:
            return value.boolean ? "-1" : "0";
        case Value::Type::kString:
            return FromEngineText(value.bytes);
        default:
            return {};
    }
}

}  // namespace

// Owns the engine's context. A context that met a fatal error is in no state to be torn
// down: it is abandoned.
struct ScriptControl::Heap {
    HeapState state;
    duk_context* ctx = nullptr;
    Text language;

    Heap() = default;
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;
    ~Heap() {
        if (ctx != nullptr) Guarded(state, DestroyStep, ctx, nullptr);
    }

    [[nodiscard]] bool Ready() const { return ctx != nullptr && !language.empty(); }

    // Runs one step within the call's time budget; false when the engine met a fatal error.
    bool Enter(void (*step)(duk_context*, void*), void* arg) {
        state.deadline = Clock::now() + state.budget;
        const bool entered = Guarded(state, step, ctx, arg);
        state.deadline = Clock::time_point::max();
        return entered;
    }

    Value Run(const Text& code, bool program, Coerce coerce) {
        Value value;
        if (!Ready()) return value;
        const std::string source = ToEngine(code);
        Call call{.source = &source, .program = program, .coerce = coerce, .value = &value};
        if (!Enter(RunStep, &call)) value.type = Value::Type::kFailed;
        return value;
    }
};

std::unique_ptr<ScriptControl> ScriptControl::Create(std::string_view className,
                                                     ScriptBounds bounds) {
    if (className != kScriptControlClass) return nullptr;
    auto heap = std::make_unique<Heap>();
    heap->state.cap = bounds.memoryCap;
    heap->state.budget = bounds.callBudget;
    Creation creation{.state = &heap->state, .ctx = nullptr};
    Guarded(heap->state, CreateStep, nullptr, &creation);
    heap->ctx = creation.ctx;
    if (heap->ctx == nullptr) return nullptr;
    bool prepared = false;
    if (!Guarded(heap->state, PrepareGlobalsStep, heap->ctx, &prepared) || !prepared) {
        return nullptr;
    }
    return std::unique_ptr<ScriptControl>(new ScriptControl(std::move(heap)));
}

ScriptControl::ScriptControl(std::unique_ptr<Heap> heap) : heap_(std::move(heap)) {}

ScriptControl::~ScriptControl() = default;

bool ScriptControl::SetLanguage(const Text& language) {
    if (!EqualsIgnoringCase(language, "JavaScript") && !EqualsIgnoringCase(language, "JScript")) {
        return false;
    }
    heap_->language = language;
    return true;
}

Text ScriptControl::Language() const {
    return heap_->language;
}

bool ScriptControl::AddCode(const Text& code) {
    return heap_->Run(code, true, Coerce::kNone).type != Value::Type::kFailed;
}

bool ScriptControl::AddSharedCode(const Text& code) {
    if (!heap_->Ready()) return false;
    SharedCode& shared = TheSharedCode();
    std::shared_ptr<const std::string> compiled;
    {
        const std::lock_guard<std::mutex> hold(shared.lock);
        if (const auto found = shared.compiled.find(code); found != shared.compiled.end()) {
            compiled = found->second;
        }
    }
    std::string source;
    std::string dumped;
    if (!compiled) source = ToEngine(code);
    SharedCall call{.source = &source, .compiled = compiled.get(), .dumped = &dumped};
    std::pair<SharedCall*, bool> step{&call, false};
    if (!heap_->Enter(RunSharedStep, &step) || !step.second) return false;
    // Only a text that ran is kept, so a failing one fails the same way in every engine.
    if (!compiled) {
        const std::lock_guard<std::mutex> hold(shared.lock);
        shared.compiled.try_emplace(code, std::make_shared<const std::string>(std::move(dumped)));
    }
    return true;
}

bool ScriptControl::AssignJson(std::string_view name, const Text& json) {
    if (!heap_->Ready()) return false;
    const std::string source = ToEngine(json);
    if (!PlainJsonCheck(source).Run()) return false;
    const std::string engineName = ToEngine(Text(name));
    JsonAssignment assignment{.name = &engineName, .json = &source};
    std::pair<JsonAssignment*, bool> step{&assignment, false};
    return heap_->Enter(DecodeJsonStep, &step) && step.second;
}

bool ScriptControl::Eval(const Text& code) {
    return heap_->Run(code, false, Coerce::kNone).type != Value::Type::kFailed;
}

bool ScriptControl::EvalLogical(const Text& code) {
    return AsLogical(heap_->Run(code, false, Coerce::kNone));
}

Text ScriptControl::EvalText(const Text& code) {
    Value value = heap_->Run(code, false, Coerce::kString);
    return AsText(value);
}

double ScriptControl::EvalNumber(const Text& code) {
    return AsNumber(heap_->Run(code, false, Coerce::kPrimitive));
}

std::size_t ScriptControl::MemoryInUse() const {
    return heap_->state.used;
}

}  // namespace tarvo::platform

extern "C" duk_bool_t tarvo_duk_exec_timeout(void* udata) {
    const auto* state = static_cast<const tarvo::platform::HeapState*>(udata);
    return state != nullptr && tarvo::platform::Clock::now() >= state->deadline ? 1 : 0;
}
