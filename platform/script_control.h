// Stand-in for the platform's script control "MSScriptControl.ScriptControl", over an
// embedded Duktape engine.
//
// One object is one engine with one global scope that persists between calls and is shared
// by AddCode and Eval. Texts in and out are code page 936; they cross to the engine's
// strings through UTF-16, so a character that code page 936 lacks comes back as "?".
//
// The engine runs whatever it is given, and some of that comes from the network, so each
// engine is bounded: every AddCode and Eval has a time budget, and the engine's heap a
// memory cap. A call past either bound fails like any failed evaluation and the engine
// stays usable. The budget is checked between instructions, so the array built-ins that
// walk every index below an array's length (sort, join, indexOf and the like) refuse a
// length that one call could not walk in about a second with a RangeError: over 2^21
// (sort: 2^17). Scripts see the language's standard built-ins and nothing else: no file,
// network or process access.
//
// An engine is not thread-safe; use it on the thread that created it.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

#include "text/text.h"

namespace tarvo::platform {

inline constexpr std::string_view kScriptControlClass = "MSScriptControl.ScriptControl";

// How deep AssignJson lets a JSON text nest. Both the compiler and the decoder read far
// deeper texts; below this bound they agree on every text.
inline constexpr int kJsonDecodeDepth = 500;

struct ScriptBounds {
    std::chrono::milliseconds callBudget{2000};
    std::size_t memoryCap = std::size_t{64} << 20;
};

class ScriptControl {
  public:
    // Creates an engine for `className`. Null for any class name but kScriptControlClass,
    // and when the engine's heap cannot be made.
    [[nodiscard]] static std::unique_ptr<ScriptControl> Create(std::string_view className,
                                                               ScriptBounds bounds = {});
    ~ScriptControl();
    ScriptControl(const ScriptControl&) = delete;
    ScriptControl& operator=(const ScriptControl&) = delete;

    // The "Language" property: "JavaScript" or "JScript", in any letter case. Another name
    // is refused (false) and leaves the property as it was. AddCode and Eval fail until a
    // language is set.
    bool SetLanguage(const Text& language);
    [[nodiscard]] Text Language() const;

    // "AddCode": runs `code` as global code; what it defines stays in the global scope.
    // True when it ran without error.
    bool AddCode(const Text& code);

    // AddCode for a text that every engine of the process runs, such as a library: the
    // first engine compiles it, and every later one loads that compiled form instead of
    // compiling the text again. The definitions are the same either way. Meant for a few
    // fixed texts: each distinct text is kept for the life of the process.
    bool AddSharedCode(const Text& code);

    // Sets the global variable `name` to the value of `json` read by the engine's JSON
    // decoder, where that is the value the script compiler gives the same text as an
    // expression: a strict JSON object or array, with no member named "__proto__" (which an
    // object literal takes for the prototype), no escape in a member name, no U+2028 or
    // U+2029, and nesting no deeper than kJsonDecodeDepth. False, with nothing changed, for
    // every other text and when decoding fails; the caller then runs the text as script.
    [[nodiscard]] bool AssignJson(std::string_view name, const Text& json);

    // "Eval": evaluates `code` in the global scope. It may hold statements; its value is
    // that of the last expression statement. The four result kinds:
    //
    // - none: true when the evaluation ran without error;
    // - logical: a boolean as it is; a number is true when not 0; a text that spells a
    //   number is true when that is not 0, and the word true or false in any letter case
    //   gives that value; other texts, undefined and null give false; an object is true;
    // - text: a string as it is; a number in the engine's number form; a boolean as "-1"
    //   or "0"; undefined and null give an empty text; an object gives the text of its
    //   primitive value;
    // - number: a number as it is; a boolean gives -1 for true and 0 for false; a text
    //   that spells a decimal number gives that number; undefined, null and other texts
    //   give 0; an object gives the number of its primitive value.
    //
    // Any failure — no language, a syntax or run-time error, a bound reached — gives false,
    // an empty text or 0; changes the code made before the error stay.
    bool Eval(const Text& code);
    [[nodiscard]] bool EvalLogical(const Text& code);
    [[nodiscard]] Text EvalText(const Text& code);
    [[nodiscard]] double EvalNumber(const Text& code);

    // Bytes the engine's heap holds now; never more than the memory cap.
    [[nodiscard]] std::size_t MemoryInUse() const;

    struct Heap;

  private:
    explicit ScriptControl(std::unique_ptr<Heap> heap);
    std::unique_ptr<Heap> heap_;
};

}  // namespace tarvo::platform
