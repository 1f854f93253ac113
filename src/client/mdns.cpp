#include "client/os.h"

#include <algorithm>
#include <cctype>

namespace hp::client {

namespace {

// avahi writes bytes outside plain text as \DDD (decimal) and escapes
// separators with a backslash.
std::string unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out.push_back(s[i]);
            continue;
        }
        if (i + 3 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isdigit(static_cast<unsigned char>(s[i + 2])) && std::isdigit(static_cast<unsigned char>(s[i + 3]))) {
            out.push_back(static_cast<char>((s[i + 1] - '0') * 100 + (s[i + 2] - '0') * 10 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i + 1]);
            ++i;
        }
    }
    return out;
}

// "\"a=1\" \"b=2\"" -> {a: 1, b: 2}
std::map<std::string, std::string> txt_of(std::string_view s) {
    std::map<std::string, std::string> out;
    std::size_t i = 0;
    while ((i = s.find('"', i)) != std::string_view::npos) {
        std::string item;
        for (++i; i < s.size() && s[i] != '"'; ++i) {
            if (s[i] == '\\' && i + 1 < s.size()) ++i;
            item.push_back(s[i]);
        }
        ++i;
        const auto eq = item.find('=');
        if (eq != std::string::npos) out.emplace(item.substr(0, eq), item.substr(eq + 1));
    }
    return out;
}

}  // namespace

std::vector<MdnsService> parse_avahi_browse(std::string_view output) {
    std::vector<MdnsService> found;
    std::size_t start = 0;
    while (start < output.size()) {
        auto end = output.find('\n', start);
        if (end == std::string_view::npos) end = output.size();
        const std::string_view line = output.substr(start, end - start);
        start = end + 1;
        if (!line.starts_with("=;")) continue;
        // =;interface;protocol;name;type;domain;host name;address;port;txt
        std::vector<std::string_view> fields;
        std::size_t from = 0;
        while (fields.size() < 9) {
            const auto semi = line.find(';', from);
            if (semi == std::string_view::npos) break;
            fields.push_back(line.substr(from, semi - from));
            from = semi + 1;
        }
        if (fields.size() < 9) continue;
        MdnsService s;
        s.instance = unescape(fields[3]);
        s.address = std::string(fields[7]);
        unsigned port = 0;
        for (const char c : fields[8]) {
            if (c < '0' || c > '9' || port > 65535) {
                port = 0;
                break;
            }
            port = port * 10 + static_cast<unsigned>(c - '0');
        }
        if (port == 0 || port > 65535) continue;
        s.port = static_cast<std::uint16_t>(port);
        s.txt = txt_of(line.substr(from));
        if (std::find(found.begin(), found.end(), s) == found.end()) found.push_back(std::move(s));
    }
    return found;
}

}  // namespace hp::client
