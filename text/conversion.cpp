#include "text/conversion.h"

#include <algorithm>
#include <cstring>

#include "platform/code_page.h"

namespace tarvo {
namespace {

// A text handed to the converter with length -1 runs to its first zero byte, and so does a
// Text; the copy gives the converter the terminator it reads up to.
int ConvertToWide(unsigned codePage, const Text& text, char16_t* wide, int count) {
    return platform::MultiByteToWideChar(codePage, 0, text.c_str(), -1, wide, count);
}

}  // namespace

Text Utf8ToGbk(std::string_view text) {
    const Bytes wide = ToUtf16(text);
    return FromUtf16(wide, platform::kCodePage936);
}

std::string GbkToUtf8(std::string_view text) {
    return FromUtf16(ToUtf16(text, platform::kCodePage936), platform::kCodePageUtf8);
}

Bytes ToUtf16(std::string_view text, std::optional<unsigned> codePage) {
    const unsigned cp = codePage.value_or(platform::kCodePageUtf8);
    const Text terminated(text.substr(0, std::min(text.size(), text.find('\0'))));
    // No byte gives more than one unit, so one call into a buffer of that size does.
    std::u16string units(terminated.size() + 1, u'\0');
    const int n = ConvertToWide(cp, terminated, units.data(), static_cast<int>(units.size()));
    if (n <= 0) return {};
    units.resize(static_cast<size_t>(n));
    Bytes wide(units.size() * 2);
    std::memcpy(wide.data(), units.data(), wide.size());
    return wide;
}

Text FromUtf16(const Bytes& wide, std::optional<unsigned> codePage) {
    const unsigned cp = codePage.value_or(platform::kCodePageAnsi);
    // The converter reads up to the first zero unit; a byte set without one is given a
    // terminator here, so that nothing past its end is read.
    std::u16string units(wide.size() / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), wide.data(), units.size() * 2);
    const auto zero = units.find(u'\0');
    if (zero != std::u16string::npos) units.resize(zero);
    if (units.empty()) return {};
    // Code page 936 writes at most two bytes per unit and UTF-8 three, so one call into a
    // buffer of that size cannot fail for lack of room and leave only spaces.
    const bool ansi = cp == platform::kCodePageAnsi || cp == platform::kCodePage936;
    const size_t size = units.size() * (ansi ? 2 : 3) + 1;
    Text buffer(size, ' ');
    if (platform::WideCharToMultiByte(cp, 0, units.c_str(), -1, buffer.data(),
                                      static_cast<int>(buffer.size())) <= 0) {
        return {};
    }
    buffer.resize(std::min(buffer.size(), buffer.find('\0')));
    return buffer;
}

}  // namespace tarvo
