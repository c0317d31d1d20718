#include "cli/json_line.h"

#include <cstdio>
#include <string_view>

namespace tarvo::cli {
namespace {

void AppendString(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
}

}  // namespace

std::string JsonLine(const Resolution& result) {
    std::string out = "{";
    const std::string link = result.link.value_or("");
    const std::pair<const char*, std::string_view> members[] = {
        {"link", link},        {"title", result.title}, {"user", result.user},
        {"url1", result.url1}, {"url2", result.url2},
    };
    for (const auto& [name, value] : members) {
        if (out.size() > 1) out.push_back(',');
        AppendString(out, name);
        out.push_back(':');
        AppendString(out, value);
    }
    out.push_back('}');
    return out;
}

}  // namespace tarvo::cli
