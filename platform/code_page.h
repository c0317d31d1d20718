// Stand-in for the platform's code-page converters MultiByteToWideChar and
// WideCharToMultiByte, with the behaviour those calls have when given flags 0.
//
// Supported code pages: 0 (the system's ANSI code page, which is 936 here), 936 and 65001
// (UTF-8). Reading UTF-8, every ill-formed sequence becomes one U+FFFD per maximal subpart,
// as Unicode recommends; writing code page 936, every character that it cannot hold
// becomes "?", one per character (a surrogate pair is one character). Reading code page
// 936, a byte that starts no valid character becomes "?". Neither call reads past the input
// it is given, and both may be called from any thread.
#pragma once

#include <string>

namespace tarvo::platform {

inline constexpr unsigned kCodePageAnsi = 0;
inline constexpr unsigned kCodePage936 = 936;
inline constexpr unsigned kCodePageUtf8 = 65001;

// Converts `length` bytes of `text` in `codePage` to UTF-16; a length of -1 converts up to
// and including the terminating zero byte. With `wideCount` 0 nothing is written and the
// number of units needed is returned; otherwise at most `wideCount` units are written and
// their number returned. Returns 0 for an unknown code page, flags other than 0, or a
// buffer that is too small.
int MultiByteToWideChar(unsigned codePage, unsigned flags, const char* text, int length,
                        char16_t* wide, int wideCount);

// Converts `length` UTF-16 units of `wide` to `codePage`; a length of -1 converts up to and
// including the terminating zero unit. `bytes` and `byteCount` work as `wide` and
// `wideCount` above.
// Appends the code point `cp` (at most U+10FFFF) to `out` as UTF-16: one unit, or a surrogate
// pair beyond the BMP. Shared by the decoders of UTF-8 and of the script engine's strings.
inline void AppendUtf16(char32_t cp, std::u16string& out) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

int WideCharToMultiByte(unsigned codePage, unsigned flags, const char16_t* wide, int length,
                        char* bytes, int byteCount);

}  // namespace tarvo::platform
