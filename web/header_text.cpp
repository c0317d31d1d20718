#include "web/header_text.h"

#include <algorithm>
#include <unordered_set>

#include "text/markers.h"
#include "text/primitives.h"

namespace tarvo {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kCookieSeparator = "; ";
constexpr std::string_view kDeletedMarker = "=deleted";

// Whether a character of `text` begins at byte index `at`.
bool IsCharStart(std::string_view text, size_t at) {
    size_t i = 0;
    while (i < at) i += CharLength(text, i);
    return i == at;
}

bool EndsWithDeletedMarker(std::string_view item) {
    if (item.size() < kDeletedMarker.size()) return false;
    const size_t at = item.size() - kDeletedMarker.size();
    return item.substr(at) == kDeletedMarker && IsCharStart(item, at);
}

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

Text Join(const std::vector<Text>& items, std::string_view separator) {
    Text out;
    for (size_t k = 0; k < items.size(); ++k) {
        if (k > 0) out.append(separator);
        out.append(items[k]);
    }
    return out;
}

// Trims `text` and gives a trailing ";" its space, so that it splits like any separator.
void TrimCookieText(Text& text) {
    text = Trim(text);
    if (!text.empty() && text.back() == ';') text.push_back(' ');
}

// `line` with every `marker` taken out, ASCII letters folded, matching at character starts
// only; one pass, however many markers the line holds.
Text WithoutMarker(std::string_view line, std::string_view marker) {
    Text rest;
    for (size_t i = 0; i < line.size();) {
        if (Find(line.substr(i, marker.size()), marker, 1, true) == 1) {
            i += marker.size();
        } else {
            const size_t n = CharLength(line, i);
            rest.append(line.substr(i, n));
            i += n;
        }
    }
    return rest;
}

}  // namespace

std::vector<Text> SplitItems(std::string_view text, std::string_view separator) {
    std::vector<Text> items;
    if (text.empty()) return items;
    if (separator.empty()) {
        items.emplace_back(text);
        return items;
    }
    size_t itemStart = 0;
    for (size_t i = 0; i < text.size();) {
        if (text.substr(i, separator.size()) == separator) {
            items.emplace_back(text.substr(itemStart, i - itemStart));
            i += separator.size();
            itemStart = i;
        } else {
            i += CharLength(text, i);
        }
    }
    if (itemStart < text.size()) items.emplace_back(text.substr(itemStart));
    return items;
}

Text NormalizeHeaderNames(std::string_view text) {
    std::vector<Text> kept;
    for (Text& line : SplitItems(text, kCrLf)) {
        const int colon = Find(line, ":");
        if (colon == kNotFound) continue;
        const size_t nameEnd = static_cast<size_t>(colon) - 1;
        bool atWordStart = true;
        for (size_t i = 0; i < nameEnd;) {
            const size_t len = CharLength(line, i);
            if (atWordStart && len == 1) line[i] = UpperAscii(line[i]);
            atWordStart = len == 1 && line[i] == '-';
            i += len;
        }
        kept.push_back(std::move(line));
    }
    return Join(kept, kCrLf);
}

Text MergeCookies(Text& old, Text& new_) {
    TrimCookieText(old);
    TrimCookieText(new_);
    const std::vector<Text> oldItems = SplitItems(old, kCookieSeparator);
    std::vector<Text> merged = SplitItems(new_, kCookieSeparator);
    // A set of names keeps a response with thousands of cookies from taking quadratic time.
    std::unordered_set<Text> names;
    for (const Text& item : merged) names.insert(CookieName(item));
    for (const Text& item : oldItems) {
        if (names.insert(CookieName(item)).second) merged.push_back(item);
    }
    Text result;
    for (const Text& item : merged) {
        if (EndsWithDeletedMarker(item)) continue;
        result.append(item).append(kCookieSeparator);
    }
    if (!result.empty()) result.resize(result.size() - kCookieSeparator.size());
    old = DistinctItems(result, kCookieSeparator);
    return old;
}

Text CookieName(std::string_view item) {
    const int equals = Find(item, "=");
    return equals == kNotFound ? Trim(item) : Trim(Left(item, equals - 1));
}

Text DistinctItems(std::string_view text, std::string_view separator) {
    std::vector<Text> kept;
    std::unordered_set<Text> seen;
    for (Text& item : SplitItems(text, separator)) {
        if (seen.insert(item).second) kept.push_back(std::move(item));
    }
    return Join(kept, separator);
}

Text CollectSetCookies(std::string_view headers) {
    // Lines are cut at every CRLF byte pair, as they came off the wire: a line that ends in
    // a lead byte must not swallow its line break and carry it into the cookie text, where
    // it would start a header line of its own in the next request.
    std::vector<std::string_view> lines;
    for (size_t at = 0; at < headers.size();) {
        const size_t end = std::min(headers.find(kCrLf, at), headers.size());
        lines.push_back(headers.substr(at, end - at));
        at = end + kCrLf.size();
    }
    Text cookies;
    for (const std::string_view line : lines) {
        if (TextLeftOf(line, ": ") != "Set-Cookie") continue;
        const Text item = Find(line, ";") != kNotFound ? Trim(TextBetween(line, "Set-Cookie:", ";"))
                                                       : Trim(WithoutMarker(line, "Set-Cookie:"));
        // A lone CR or LF inside a line, or one that taking out a marker joins to another,
        // would end the Cookie header of the next request and start a header of the
        // server's choosing. No cookie holds either byte, so such an item is dropped.
        if (item.find_first_of("\r\n") != Text::npos) continue;
        cookies += item;
        cookies += kCookieSeparator;
    }
    if (!cookies.empty()) cookies.resize(cookies.size() - kCookieSeparator.size());
    return cookies;
}

}  // namespace tarvo
