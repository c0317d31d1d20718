#include "platform/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
        AppendUtf16(cp, out);
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

// What the converters do with bytes that start no character of code page 936: one "?",
// and a lead byte takes a following byte of the trail range with it.
size_t SkipUnconvertible(const char* at, size_t left) {
    const auto lead = static_cast<unsigned char>(at[0]);
    if (lead >= 0x81 && lead <= 0xFE && left >= 2) {
        const auto trail = static_cast<unsigned char>(at[1]);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) return 2;
    }
    return 1;
}

void Decode936ByIconv(std::string_view in, std::u16string& out) {
    RunIconv(Converter(true), in.data(), in.size(), out, [&out](const char* at, size_t left) {
        out.push_back(kQuestionMark);
        return SkipUnconvertible(at, left);
    });
}

void Encode936ByIconv(std::u16string_view in, std::string& out) {
    RunIconv(Converter(false), reinterpret_cast<const char*>(in.data()), in.size() * 2, out,
             [&out](const char* at, size_t left) {
                 out.push_back('?');
                 char16_t first, second = 0;
                 std::memcpy(&first, at, 2);
                 if (left >= 4) std::memcpy(&second, at + 2, 2);
                 return IsHighSurrogate(first) && IsLowSurrogate(second) ? size_t{4} : size_t{2};
             });
}

// Code page 936 through tables that iconv fills once per process: iconv itself costs about
// ten times what the lookups do, and every answer of the service and every script text
// crosses this code page. The tables hold exactly what iconv gives; where they cannot tell
// (a character that two byte pairs stand for, or one that only iconv knows), iconv is asked.
class Tables936 {
  public:
    static const Tables936& Get() {
        static const Tables936 tables;
        return tables;
    }

    [[nodiscard]] bool Ready() const { return ready_; }

    void Decode(std::string_view in, std::u16string& out) const {
        const auto* p = reinterpret_cast<const unsigned char*>(in.data());
        const size_t n = in.size();
        for (size_t i = 0; i < n;) {
            const unsigned char b = p[i];
            if (single_[b] != kNone) {
                out.push_back(single_[b]);
                ++i;
                continue;
            }
            if (lead_[b] && i + 1 < n) {
                const char16_t u = pairs_[(b - kFirstLead) * 256 + p[i + 1]];
                if (u != kNone) {
                    out.push_back(u);
                    i += 2;
                    continue;
                }
            }
            out.push_back(kQuestionMark);
            i += SkipUnconvertible(in.data() + i, n - i);
        }
    }

    void Encode(std::u16string_view in, std::string& out) const {
        for (size_t i = 0; i < in.size();) {
            const std::uint16_t bytes = encode_[in[i]];
            if (bytes == kAsk) {
                const bool pair =
                    IsHighSurrogate(in[i]) && i + 1 < in.size() && IsLowSurrogate(in[i + 1]);
                const size_t count = pair ? 2 : 1;
                Encode936ByIconv(in.substr(i, count), out);
                i += count;
                continue;
            }
            if (bytes > 0xFF) out.push_back(static_cast<char>(bytes >> 8));
            out.push_back(static_cast<char>(bytes & 0xFF));
            ++i;
        }
    }

  private:
    static constexpr char16_t kNone = 0xFFFF;
    static constexpr std::uint16_t kAsk = 0xFFFF;
    static constexpr unsigned kFirstLead = 0x81;

    Tables936() : pairs_(size_t{126} * 256, kNone), encode_(size_t{65536}, kAsk) {
        single_.fill(kNone);
        lead_.fill(false);
        ready_ = FillDecoder() && FillEncoder();
    }

    // One byte, or one pair, through iconv: the unit it gives, or kNone; `incomplete` tells
    // a lead byte.
    static char16_t Ask(const unsigned char* bytes, size_t count, bool* incomplete) {
        iconv_t cd = Converter(true);
        if (cd == reinterpret_cast<iconv_t>(-1)) return kNone;
        auto* src = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
        size_t left = count;
        char16_t units[2];
        auto* dst = reinterpret_cast<char*>(units);
        size_t room = sizeof units;
        const size_t rc = iconv(cd, &src, &left, &dst, &room);
        if (incomplete != nullptr) *incomplete = rc == static_cast<size_t>(-1) && errno == EINVAL;
        if (rc == static_cast<size_t>(-1) || left != 0 || room != sizeof units - 2) return kNone;
        return units[0];
    }

    bool FillDecoder() {
        for (unsigned b = 0; b < 256; ++b) {
            const auto byte = static_cast<unsigned char>(b);
            bool incomplete = false;
            single_[b] = Ask(&byte, 1, &incomplete);
            if (!incomplete) continue;
            if (b < kFirstLead || b > 0xFE) return false;
            lead_[b] = true;
            for (unsigned t = 0; t < 256; ++t) {
                const unsigned char pair[2] = {byte, static_cast<unsigned char>(t)};
                pairs_[(b - kFirstLead) * 256 + t] = Ask(pair, 2, nullptr);
            }
        }
        return true;
    }

    // The inverse of the decoder, checked against iconv's own encoder in one call.
    bool FillEncoder() {
        std::vector<int> sources(65536, 0);
        const auto note = [&](char16_t u, std::uint16_t bytes) {
            if (u == kNone || IsHighSurrogate(u) || IsLowSurrogate(u)) return;
            if (++sources[u] == 1) encode_[u] = bytes;
        };
        for (unsigned b = 0; b < 256; ++b) note(single_[b], static_cast<std::uint16_t>(b));
        for (unsigned b = kFirstLead; b <= 0xFE; ++b) {
            if (!lead_[b]) continue;
            for (unsigned t = 0; t < 256; ++t) {
                note(pairs_[(b - kFirstLead) * 256 + t], static_cast<std::uint16_t>(b << 8 | t));
            }
        }
        std::u16string units;
        for (unsigned u = 0; u < 65536; ++u) {
            if (sources[u] > 1) encode_[u] = kAsk;
            if (encode_[u] != kAsk) units.push_back(static_cast<char16_t>(u));
        }
        std::string expected;
        for (const char16_t u : units) {
            if (encode_[u] > 0xFF) expected.push_back(static_cast<char>(encode_[u] >> 8));
            expected.push_back(static_cast<char>(encode_[u] & 0xFF));
        }
        std::string actual;
        actual.reserve(expected.size());
        Encode936ByIconv(units, actual);
        return actual == expected;
    }

    std::array<char16_t, 256> single_{};
    std::array<bool, 256> lead_{};
    std::vector<char16_t> pairs_;
    std::vector<std::uint16_t> encode_;
    bool ready_ = false;
};

void Decode936(std::string_view in, std::u16string& out) {
    const Tables936& tables = Tables936::Get();
    if (tables.Ready()) {
        tables.Decode(in, out);
    } else {
        Decode936ByIconv(in, out);
    }
}

void Encode936(std::u16string_view in, std::string& out) {
    const Tables936& tables = Tables936::Get();
    if (tables.Ready()) {
        tables.Encode(in, out);
    } else {
        Encode936ByIconv(in, out);
    }
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
