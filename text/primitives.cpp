#include "text/primitives.h"

#include <algorithm>
#include <cstring>

namespace tarvo {
namespace {

unsigned char FoldAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

bool MatchAt(std::string_view text, size_t i, std::string_view needle, bool ignoreCase) {
    if (i + needle.size() > text.size()) return false;
    if (!ignoreCase) return std::memcmp(text.data() + i, needle.data(), needle.size()) == 0;
    for (size_t k = 0; k < needle.size(); ++k) {
        if (FoldAscii(static_cast<unsigned char>(text[i + k])) !=
            FoldAscii(static_cast<unsigned char>(needle[k]))) {
            return false;
        }
    }
    return true;
}

bool IsFullWidthSpace(std::string_view text, size_t i) {
    return i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xA1 &&
           static_cast<unsigned char>(text[i + 1]) == 0xA1;
}

}  // namespace

int Find(std::string_view text, std::string_view needle, int from, bool ignoreCase) {
    const size_t start = from <= 1 ? 0 : static_cast<size_t>(from) - 1;
    if (start >= text.size()) return kNotFound;
    if (needle.empty()) return 1;
    if (needle.size() > text.size()) return kNotFound;
    const size_t last = text.size() - needle.size();
    for (size_t i = 0; i <= last; i += CharLength(text, i)) {
        if (i >= start && MatchAt(text, i, needle, ignoreCase)) return static_cast<int>(i) + 1;
    }
    return kNotFound;
}

int FindLast(std::string_view text, std::string_view needle, int before, bool ignoreCase) {
    if (before <= 1) return kNotFound;
    const size_t limit = std::min(text.size(), static_cast<size_t>(before) - 1);
    if (limit == 0) return kNotFound;
    if (needle.empty()) return 1;
    int found = kNotFound;
    for (size_t i = 0; i + needle.size() <= limit; i += CharLength(text, i)) {
        if (MatchAt(text, i, needle, ignoreCase)) found = static_cast<int>(i) + 1;
    }
    return found;
}

Text Left(std::string_view text, int n) {
    if (n <= 0) return {};
    return Text(text.substr(0, static_cast<size_t>(n)));
}

Text Right(std::string_view text, int n) {
    if (n <= 0) return {};
    const size_t count = std::min(text.size(), static_cast<size_t>(n));
    return Text(text.substr(text.size() - count));
}

Text Middle(std::string_view text, int p, int n) {
    if (p < 1 || static_cast<size_t>(p) > text.size() || n <= 0) return {};
    return Text(text.substr(static_cast<size_t>(p) - 1, static_cast<size_t>(n)));
}

Text Trim(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size()) {
        if (text[begin] == ' ') {
            begin += 1;
        } else if (IsFullWidthSpace(text, begin)) {
            begin += 2;
        } else {
            break;
        }
    }
    // The end is found by walking characters, so that a full-width space is never read
    // out of the second byte of one character and the first byte of the next.
    size_t end = begin;
    for (size_t i = begin; i < text.size();) {
        const size_t len = CharLength(text, i);
        const bool space = text[i] == ' ' || (len == 2 && IsFullWidthSpace(text, i));
        i += len;
        if (!space) end = i;
    }
    return Text(text.substr(begin, end - begin));
}

}  // namespace tarvo
