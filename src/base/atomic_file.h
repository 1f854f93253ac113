#pragma once
// Files the host keeps (identity, paired devices, markers, settings) are
// replaced whole: the new content goes to a temporary file that the caller
// names, reaches the disk, and is renamed over the target. A power cut leaves
// either the old file or the new one, never an empty or partial one.
#include <cstddef>
#include <expected>
#include <filesystem>
#include <string>

#include "base/bytes.h"
#include "base/result.h"

namespace hp {

// "name.ext" -> "name.tmp" beside it.
std::filesystem::path tmp_sibling(const std::filesystem::path& target);

// Writes `data` to `tmp` (created or truncated), flushes it to the disk,
// renames it over `target` and, where the system needs it, flushes the
// directory entry too. On failure the temporary file is removed and the
// target is left as it was.
Status write_file_atomically(const std::filesystem::path& target, const std::filesystem::path& tmp,
                             ByteView data);

struct FileReadError {
    enum class Kind { Missing, TooLarge, Failed };
    Kind kind = Kind::Failed;
    std::string text;
};

// The whole file when it exists and holds at most `cap` bytes.
std::expected<Bytes, FileReadError> read_file_capped(const std::filesystem::path& file,
                                                     std::size_t cap);

// UTF-8 text of a path, for messages.
std::string path_text(const std::filesystem::path& p);

// The operating system's description of an error number (errno on Linux, a
// GetLastError / WSAGetLastError code on Windows), as UTF-8.
std::string os_error_text(unsigned long code);

}  // namespace hp
