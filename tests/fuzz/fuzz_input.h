// Cuts one fuzzer input into the arguments of a call.
//
// The input is read as texts separated by zero bytes, which a Text never holds; a missing
// text is the empty one. Numbers and flags come from the first bytes of the input, so that
// a small change of those bytes tries another start position or letter-case rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace tarvo::fuzz {

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    // One byte as a small signed number, -8 .. 119; 0 when the input is used up.
    [[nodiscard]] int SmallInt() {
        if (rest_.empty()) return 0;
        const int value = static_cast<unsigned char>(rest_.front()) % 128 - 8;
        rest_.remove_prefix(1);
        return value;
    }

    [[nodiscard]] bool Flag() { return SmallInt() % 2 != 0; }

    // The bytes up to the next zero byte, which is consumed.
    [[nodiscard]] std::string_view Text() {
        const std::size_t end = rest_.find('\0');
        const std::string_view text = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return text;
    }

  private:
    std::string_view rest_;
};

// A broken property of a routine is a finding like a crash: abort so the fuzzer keeps
// the input.
inline void Require(bool holds) {
    if (!holds) std::abort();
}

}  // namespace tarvo::fuzz
