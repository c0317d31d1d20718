#include "text/markers.h"

#include "text/primitives.h"

namespace tarvo {
namespace {

// Replaces every quote marker with a double quote, left to right, matching only where a
// character begins.
Text SubstituteQuotes(std::string_view marker) {
    Text out;
    out.reserve(marker.size());
    for (size_t i = 0; i < marker.size();) {
        if (marker.substr(i, kQuoteMarker.size()) == kQuoteMarker) {
            out.push_back('"');
            i += kQuoteMarker.size();
        } else {
            const size_t len = CharLength(marker, i);
            out.append(marker.substr(i, len));
            i += len;
        }
    }
    return out;
}

}  // namespace

Text TextBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                 bool ignoreCase) {
    const Text l = SubstituteQuotes(left);
    const Text r = SubstituteQuotes(right);
    const int a = Find(text, l, start, ignoreCase);
    if (a == kNotFound) return {};
    const int p = a + static_cast<int>(l.size());
    const int b = Find(text, r, p, ignoreCase);
    if (b == kNotFound) return {};
    return Middle(text, p, b - p);
}

Text TextLeftOf(std::string_view text, std::string_view marker, int start, bool ignoreCase) {
    int a;
    if (start >= 0) {
        a = Find(text, marker, start, ignoreCase);
    } else {
        const int n = static_cast<int>(text.size());
        const int k = start == -1 ? 0 : -start;
        a = FindLast(text, marker, n - k + 1, ignoreCase);
    }
    if (a == kNotFound) return {};
    return Left(text, a - 1);
}

Text HeaderName(std::string_view line) {
    const int a = Find(line, ":");
    if (a == kNotFound) return {};
    return Trim(Left(line, a - 1));
}

Text HeaderValue(std::string_view line) {
    const int a = Find(line, ":");
    if (a == kNotFound) return {};
    return Trim(Right(line, static_cast<int>(line.size()) - a));
}

}  // namespace tarvo
