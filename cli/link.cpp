#include "cli/link.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tarvo::cli {
namespace {

constexpr std::array<std::string_view, 2> kSchemes = {"http://", "https://"};
constexpr std::string_view kSharePath = "/s/";
constexpr size_t kShortestCode = 6;
constexpr size_t kLongestCode = 11;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char want, char have) {
               return std::tolower(static_cast<unsigned char>(have)) == want;
           });
}

// The characters an address may hold: RFC 3986's unreserved and reserved ones and "%".
bool IsAddressChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || u <= 0x20) return false;
    if (std::isalnum(u)) return true;
    return std::string_view("-._~:/?#[]@!$&'()*+,;=%").find(c) != std::string_view::npos;
}

bool IsCodeChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

// The length of a share link at the start of `address`, or 0 when it is none.
size_t ShareLinkLength(std::string_view address) {
    const size_t hostStart = address.find("://") + 3;
    const size_t path = address.find('/', hostStart);
    if (path == std::string_view::npos || address.substr(path, kSharePath.size()) != kSharePath) {
        return 0;
    }
    const size_t code = path + kSharePath.size();
    size_t end = code;
    while (end < address.size() && IsCodeChar(address[end])) ++end;
    const size_t length = end - code;
    if (length < kShortestCode || length > kLongestCode) return 0;
    if (end < address.size() && address[end] == '/') ++end;
    return end;
}

}  // namespace

std::optional<std::string> ExtractLink(std::string_view input) {
    size_t start = std::string_view::npos;
    for (size_t i = 0; i < input.size() && start == std::string_view::npos; ++i) {
        for (std::string_view scheme : kSchemes) {
            if (StartsWithNoCase(input.substr(i), scheme)) start = i;
        }
    }
    if (start == std::string_view::npos) return std::nullopt;
    size_t end = start;
    while (end < input.size() && IsAddressChar(input[end])) ++end;
    std::string_view address = input.substr(start, end - start);
    if (const size_t share = ShareLinkLength(address); share > 0) {
        address = address.substr(0, share);
    } else {
        while (!address.empty() &&
               std::string_view(".,;:!?)]}'\"").find(address.back()) != std::string_view::npos) {
            address.remove_suffix(1);
        }
    }
    const size_t hostStart = address.find("://") + 3;
    if (address.size() <= hostStart) return std::nullopt;
    return std::string(address);
}

}  // namespace tarvo::cli
