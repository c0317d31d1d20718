// Texts of the system (code page 936 bytes) as Qt's Unicode strings and back.
//
// The window's controls hold QStrings; everything the window hands to the rest of the
// system, or takes from it, is code page 936. Characters that code page 936 cannot hold
// become "?" on the way in, as they would in an edit box of that code page.
#pragma once

#include <QString>

#include "text/text.h"

namespace tarvo {

[[nodiscard]] QString ToQString(const Text& text);
[[nodiscard]] Text FromQString(const QString& string);

}  // namespace tarvo
