#include "app/qt_text.h"

#include <cstring>
#include <string>

#include "platform/code_page.h"
#include "text/conversion.h"

namespace tarvo {

QString ToQString(const Text& text) {
    const Bytes wide = ToUtf16(text, platform::kCodePage936);
    if (wide.size() < 2) return {};
    // The byte set ends with one zero unit, which the string does not keep.
    std::u16string units(wide.size() / 2 - 1, u'\0');
    std::memcpy(units.data(), wide.data(), units.size() * 2);
    return QString::fromStdU16String(units);
}

Text FromQString(const QString& string) {
    const std::u16string units = string.toStdU16String();
    Bytes wide((units.size() + 1) * 2, 0);
    std::memcpy(wide.data(), units.data(), units.size() * 2);
    return FromUtf16(wide, platform::kCodePage936);
}

}  // namespace tarvo
