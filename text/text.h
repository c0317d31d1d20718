// The system's two value types for strings of bytes.
//
// A Text is a byte string in code page 936, the code page of every text inside the system.
// It ends at its first zero byte: a Text holds no zero byte of its own, and an absent text
// and the empty text are the same value. Texts compare byte by byte, with case.
//
// A Bytes is a counted run of bytes that may hold zero bytes and may be empty: request and
// response bodies. TextFromBytes keeps its bytes up to the first zero.
//
// Positions in a text are 1-based byte positions; a search that finds nothing gives -1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;

inline constexpr int kNotFound = -1;

// The bytes of `bytes` up to its first zero byte, or all of them.
[[nodiscard]] Text TextFromBytes(const Bytes& bytes);

// The bytes of `text`, without a terminator.
[[nodiscard]] Bytes BytesFromText(std::string_view text);

}  // namespace tarvo
