#include "platform/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace tarvo::platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kQuestionMark = u'?';

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Reads UTF-8. An ill-formed sequence yields one U+FFFD for its maximal subpart: the
// longest prefix that could still begin a well-formed sequence, or the single byte when
// there is none. Decoding then resumes at the byte that broke the sequence.
void DecodeUtf8(std::string_view in, std::u16string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int need;
        unsigned char lo = 0x80, hi = 0xBF;
        char32_t cp;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j <= static_cast<size_t>(need); ++j) {
            if (i + j >= n) break;
            const unsigned char c = p[i + j];
            if (c < lo || c > hi) break;
            cp = (cp << 6) | (c & 0x3F);
            lo = 0x80;
            hi = 0xBF;
        }
        if (j <= static_cast<size_t>(need)) {
            out.push_back(kReplacement);
            i += j;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += j;
    }
}

// Writes UTF-8; a lone surrogate becomes U+FFFD.
void EncodeUtf8(std::u16string_view in, std::string& out) {
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (IsHighSurrogate(in[i]) && i + 1 < in.size() && IsLowSurrogate(in[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(in[i]) || IsLowSurrogate(in[i])) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

// One converter per thread and direction: iconv descriptors carry state and must not be
// shared between threads, and opening one costs more than a short conversion.
iconv_t Converter(bool toWide) {
    thread_local IconvHandle decoder;
    thread_local IconvHandle encoder;
    IconvHandle& handle = toWide ? decoder : encoder;
    if (!handle) {
        iconv_t cd = toWide ? iconv_open("UTF-16LE", "CP936") : iconv_open("CP936", "UTF-16LE");
        if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
        handle.reset(cd);
    }
    iconv(static_cast<iconv_t>(handle.get()), nullptr, nullptr, nullptr, nullptr);
    return static_cast<iconv_t>(handle.get());
}

constexpr size_t kChunkBytes = 4096;

// Runs iconv over `in`, appending the output to `out` and calling `onError` (which
// returns how many input bytes to skip) wherever the input cannot be converted.
template <typename Out, typename OnError>
bool RunIconv(iconv_t cd, const char* in, size_t inLeft, Out& out, OnError onError) {
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char buffer[kChunkBytes];
    auto* src = const_cast<char*>(in);
    while (inLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t rc = iconv(cd, &src, &inLeft, &dst, &dstLeft);
        const int err = errno;
        out.append(reinterpret_cast<const typename Out::value_type*>(buffer),
                   (dst - buffer) / sizeof(typename Out::value_type));
        if (rc != static_cast<size_t>(-1)) continue;
        if (err == E2BIG) continue;
        if (err != EILSEQ && err != EINVAL) return false;
        const size_t skip = std::min(onError(src, inLeft), inLeft);
        src += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
}

void Decode936(std::string_view in, std::u16string& out) {
    RunIconv(Converter(true), in.data(), in.size(), out, [&out](const char* at, size_t left) {
        out.push_back(kQuestionMark);
        const auto lead = static_cast<unsigned char>(at[0]);
        if (lead >= 0x81 && lead <= 0xFE && left >= 2) {
            const auto trail = static_cast<unsigned char>(at[1]);
            if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) return size_t{2};
        }
        return size_t{1};
    });
}

void Encode936(std::u16string_view in, std::string& out) {
    RunIconv(Converter(false), reinterpret_cast<const char*>(in.data()), in.size() * 2, out,
             [&out](const char* at, size_t left) {
                 out.push_back('?');
                 char16_t first, second = 0;
                 std::memcpy(&first, at, 2);
                 if (left >= 4) std::memcpy(&second, at + 2, 2);
                 return IsHighSurrogate(first) && IsLowSurrogate(second) ? size_t{4} : size_t{2};
             });
}

unsigned Resolve(unsigned codePage) {
    return codePage == kCodePageAnsi ? kCodePage936 : codePage;
}

template <typename Unit>
size_t Length(const Unit* text, int length) {
    if (length >= 0) return static_cast<size_t>(length);
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n + 1;  // the terminating zero is converted too
}

template <typename Unit, typename Converted>
int Deliver(const Converted& converted, Unit* out, int outCount) {
    if (converted.size() > static_cast<size_t>(INT32_MAX)) return 0;
    const int needed = static_cast<int>(converted.size());
    if (outCount == 0) return needed;
    if (outCount < needed || out == nullptr) return 0;
    std::memcpy(out, converted.data(), converted.size() * sizeof(Unit));
    return needed;
}

}  // namespace

int MultiByteToWideChar(unsigned codePage, unsigned flags, const char* text, int length,
                        char16_t* wide, int wideCount) {
    codePage = Resolve(codePage);
    if (flags != 0 || text == nullptr || length < -1 || wideCount < 0) return 0;
    if (codePage != kCodePage936 && codePage != kCodePageUtf8) return 0;
    const std::string_view in(text, Length(text, length));
    std::u16string converted;
    converted.reserve(in.size());
    if (codePage == kCodePageUtf8) {
        DecodeUtf8(in, converted);
    } else {
        Decode936(in, converted);
    }
    return Deliver(converted, wide, wideCount);
}

int WideCharToMultiByte(unsigned codePage, unsigned flags, const char16_t* wide, int length,
                        char* bytes, int byteCount) {
    codePage = Resolve(codePage);
    if (flags != 0 || wide == nullptr || length < -1 || byteCount < 0) return 0;
    if (codePage != kCodePage936 && codePage != kCodePageUtf8) return 0;
    const std::u16string_view in(wide, Length(wide, length));
    std::string converted;
    converted.reserve(in.size() * 2);
    if (codePage == kCodePageUtf8) {
        EncodeUtf8(in, converted);
    } else {
        Encode936(in, converted);
    }
    return Deliver(converted, bytes, byteCount);
}

}  // namespace tarvo::platform
