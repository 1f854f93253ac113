#pragma once
// JSON string text as the host writes it: quote and backslash escaped, the
// five short control escapes, other bytes below 0x20 as \u00xx (lowercase),
// everything else (non-ASCII UTF-8 included) copied as is.
#include <string>
#include <string_view>

namespace hp {

inline void append_json_string(std::string& out, std::string_view s) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case 0x08: out += "\\b"; break;
            case 0x09: out += "\\t"; break;
            case 0x0A: out += "\\n"; break;
            case 0x0C: out += "\\f"; break;
            case 0x0D: out += "\\r"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out.push_back(hex[c >> 4]);
                    out.push_back(hex[c & 15]);
                } else {
                    out.push_back(ch);
                }
        }
    }
    out.push_back('"');
}

inline std::string json_string(std::string_view s) {
    std::string out;
    append_json_string(out, s);
    return out;
}

}  // namespace hp
