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
    const int n = ConvertToWide(cp, terminated, nullptr, 0);
    if (n <= 0) return {};
    std::u16string units(static_cast<size_t>(n), u'\0');
    ConvertToWide(cp, terminated, units.data(), n);
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
    const int m =
        platform::WideCharToMultiByte(platform::kCodePageAnsi, 0, units.c_str(), -1, nullptr, 0);
    if (m <= 0) return {};
    // Twice the ANSI count always holds code page 936. Another target (UTF-8 needs three
    // bytes for a character that code page 936 writes as one "?") gets its own count too,
    // so that the conversion cannot fail for lack of room and leave only spaces.
    size_t size = static_cast<size_t>(m) * 2;
    if (cp != platform::kCodePageAnsi && cp != platform::kCodePage936) {
        const int own = platform::WideCharToMultiByte(cp, 0, units.c_str(), -1, nullptr, 0);
        size = std::max(size, static_cast<size_t>(std::max(own, 0)));
    }
    Text buffer(size, ' ');
    platform::WideCharToMultiByte(cp, 0, units.c_str(), -1, buffer.data(),
                                  static_cast<int>(buffer.size()));
    buffer.resize(std::min(buffer.size(), buffer.find('\0')));
    return buffer;
}

}  // namespace tarvo
