#include "base/atomic_file.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace hp {

std::filesystem::path tmp_sibling(const std::filesystem::path& target) {
    std::filesystem::path tmp = target;
    tmp.replace_extension("tmp");
    return tmp;
}

std::string path_text(const std::filesystem::path& p) {
    const std::u8string u = p.u8string();
    return {u.begin(), u.end()};
}

std::expected<Bytes, FileReadError> read_file_capped(const std::filesystem::path& file,
                                                     std::size_t cap) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return std::unexpected(FileReadError{FileReadError::Kind::Missing, path_text(file) + " does not exist"});
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec)
        return std::unexpected(
            FileReadError{FileReadError::Kind::Failed, "Could not read " + path_text(file) + ": " + ec.message()});
    if (size > cap)
        return std::unexpected(FileReadError{FileReadError::Kind::TooLarge, path_text(file) + " is too large"});
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::unexpected(FileReadError{FileReadError::Kind::Failed, "Could not open " + path_text(file)});
    Bytes data;
    data.reserve(static_cast<std::size_t>(size));
    // Read at most one byte past the cap, so a file that grew meanwhile is still refused.
    char buffer[4096];
    while (in && data.size() <= cap) {
        in.read(buffer, sizeof buffer);
        data.insert(data.end(), buffer, buffer + in.gcount());
    }
    if (in.bad()) return std::unexpected(FileReadError{FileReadError::Kind::Failed, "Could not read " + path_text(file)});
    if (data.size() > cap)
        return std::unexpected(FileReadError{FileReadError::Kind::TooLarge, path_text(file) + " is too large"});
    return data;
}

}  // namespace hp
