// The script library that every engine of a JsonDocument is loaded with.
//
// One script text, loaded with "AddCode" after the engine's language is set and before the
// document's root exists. It defines four functions that the document's operations call by
// name, then makes sure the engine has a JSON object with stringify and parse (keeping one
// the engine brings), and gives every object toJSONString and parseJSON where
// Object.prototype lacks them:
//
// - get__nodeValue(str_json, recursion): appends the string, number and logical members of
//   an object or array to the global array str_all (which the caller creates), descending
//   into nested objects and arrays, depth first, when recursion is true; returns str_all.
// - get__count(c): the length of an array, 0 for anything else.
// - get__name_All(a): the names of an object's members whose values are not functions,
//   joined by CR LF; an empty string for anything that is not an object.
// - get__extend(target, source): merges source into target and returns target. An array
//   target gets source's elements appended; an object target gets each of source's members:
//   an object or array member merged into target's object or array member, any other
//   member set as it is.
//
// The text is ASCII, so it reads the same in code page 936.
#pragma once

#include "text/text.h"

namespace tarvo {

[[nodiscard]] const Text& ScriptLibrary();

}  // namespace tarvo
