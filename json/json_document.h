// A JSON value held in a script engine, read and written by path expressions.
//
// The document keeps no parsed data of its own: its value lives in one global variable of
// the engine, the root, named by rootName ("da"). Each operation builds a short script
// from fixed fragments, the caller's path and the caller's value, and turns the engine's
// answer into its result. A path is a script member expression relative to the root
// ("data.item.share.title", "data.list[0]['url']", "[0]"); the empty path is the root
// itself. Paths, values and expressions are spliced into the script as they stand and run:
// the engine's bounds (platform/script_control.h) keep hostile texts from hanging or
// exhausting the process.
//
// Every text taken or returned is code page 936. Failures are told only by the results:
// false, an empty text, 0, an empty list, or -1 from GetType.
//
// Copies made by Copy, GetDocument and GetItemDocument share their engine by a counted
// reference: a change made through one is seen through every document on that engine. A
// document and its engine belong to the thread that created them.
#pragma once

#include <memory>
#include <vector>

#include "text/text.h"

namespace tarvo {

namespace platform {
class ScriptControl;
}  // namespace platform

class JsonDocument {
  public:
    // Root name "da", then Init.
    JsonDocument();
    virtual ~JsonDocument();
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;

    // A further document on the same engine.
    [[nodiscard]] virtual std::unique_ptr<JsonDocument> Copy();

    // Creates the engine, loads the script library and sets the root to an empty object.
    // Without an engine (it could not be created) the document stays without one.
    virtual void Init();

    // Replaces the engine by a fresh one and loads `text` into the root: as the argument
    // of eval() by default, as an expression with `direct`. True when the root then holds
    // a value other than null or undefined. Without an engine, false at once.
    virtual bool Parse(const Text& text, bool direct = false);

    // Sets the root to an empty object; the engine's other globals stay.
    virtual bool Clear();

    // The root as JSON text.
    [[nodiscard]] virtual Text ToJson();

    // Writes `value` at `path`: plain text as a string (read back exactly by GetText), or
    // with `isJson` as script text merged into an existing object or replacing the value.
    // True when the write ran.
    virtual bool SetValue(const Text& path = {}, const Text& value = {}, bool isJson = false);

    // Sets `path` to the value of the script `expression`. True when the write ran.
    virtual bool SetExpression(const Text& path = {}, const Text& expression = {});

    // Rewrites `path` to start at the root ("da", "da[0]", "da.member") unless it already
    // names an existing value from the root; true when the value exists and is not null.
    virtual bool ResolvePath(Text& path);

    // Whether the value at `path` exists and is not null.
    [[nodiscard]] virtual bool Exists(const Text& path = {});

    // 6 string, 5 array, 4 object, 2 number, 1 logical; 0 for null or a missing last
    // member; -1 when a member on the way is missing or the value is of another kind.
    [[nodiscard]] virtual int GetType(const Text& path = {});

    // The value at `path` as text (a number in the engine's form, an array's elements
    // joined by commas), or with `asJson` as JSON text.
    [[nodiscard]] virtual Text GetText(const Text& path = {}, bool asJson = false);

    // Replaces `keys` with the member names of the object at `path`; returns their number.
    virtual int GetKeys(std::vector<Text>& keys, const Text& path = {});

    // The length of the array at `path`; 0 for anything else.
    [[nodiscard]] virtual int GetCount(const Text& path = {});

    // A new document holding a deep copy of the value at `path`, on an engine of its own.
    [[nodiscard]] virtual std::unique_ptr<JsonDocument> GetDocument(const Text& path = {});

    // Pushes `value` (a string, or script text with `isScript`) onto the array at `path`,
    // which becomes a new array when it holds none. True when the write ran.
    virtual bool Append(const Text& value = {}, const Text& path = {}, bool isScript = false);

    // GetDocument of element `index` of the array at `path`.
    [[nodiscard]] virtual std::unique_ptr<JsonDocument> GetItemDocument(int index = 0,
                                                                        const Text& path = {});

    // Element `index` of the array at `path`: a string element as it is, or with `asJson`
    // any element as JSON text.
    [[nodiscard]] virtual Text GetItemText(int index = 0, const Text& path = {},
                                           bool asJson = false);

    // Sets element `index` of the array at `path` to `value` (a string, or script text with
    // `isScript`). True when the write ran.
    virtual bool SetItem(int index = 0, const Text& path = {}, const Text& value = {},
                         bool isScript = false);

    // Removes element `index` of the array at `path`. True when the removal ran.
    virtual bool RemoveItem(int index = 0, const Text& path = {});

    // Deletes the member at `path`.
    virtual bool Remove(const Text& path = {});

    // Stores `number` at `path`, written with at most 13 significant digits. True when the
    // write ran.
    virtual bool SetNumber(const Text& path = {}, double number = 0);

    // The value at `path` as a number (true gives -1, a numeric string its number).
    [[nodiscard]] virtual double GetNumber(const Text& path = {});

    // The value at `path` as JSON text.
    [[nodiscard]] virtual Text GetJson(const Text& path = {});

    // A further reference to the engine; empty when the document has none.
    [[nodiscard]] virtual std::shared_ptr<platform::ScriptControl> GetEngine();

    // Replaces `values` with the string, number and logical values under `path` (with
    // `recursive`, those of nested objects and arrays too, depth first); returns their
    // number. A value holding the separator text "[2020年7月20日20时0分0秒]" comes back in
    // pieces, and an empty last value is dropped.
    virtual int GetValues(std::vector<Text>& values, const Text& path = {}, bool recursive = false);

  private:
    struct ShareEngine {};
    JsonDocument(ShareEngine, const JsonDocument& source);

    // The engine calls, each failing (false, empty text, 0) when there is no engine.
    bool Run(const Text& code);
    bool Logical(const Text& code);
    Text TextOf(const Text& code);
    double NumberOf(const Text& code);

    Text rootName_;
    std::shared_ptr<platform::ScriptControl> engine_;
    bool comInitialized_ = false;
};

}  // namespace tarvo
