// One resolution as one line of JSON, for scripts that read tarvo-cli's output.
#pragma once

#include <string>

#include "cli/resolver.h"

namespace tarvo::cli {

// {"link":…,"title":…,"user":…,"url1":…,"url2":…}: strings, empty where nothing was found.
[[nodiscard]] std::string JsonLine(const Resolution& result);

}  // namespace tarvo::cli
