#pragma once
// Values under the current user's registry hive (HKEY_CURRENT_USER): the
// start-at-login entry and the taskbar theme. Key paths and value names are
// UTF-8; string data is handed over as the UTF-16 units the registry keeps.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/result.h"

namespace hp::platform {

class UserRegistry {
public:
    virtual ~UserRegistry() = default;

    // The data of value `name` of `key`, read into a zeroed buffer of
    // `bufferBytes` bytes: every whole UTF-16 unit the system wrote, trailing
    // NULs included. An error when the key or the value is missing, or the
    // data does not fit the buffer.
    virtual Result<std::u16string> read_units(std::string_view key, std::string_view name,
                                              std::size_t bufferBytes) = 0;

    // A REG_DWORD value; any other type is an error.
    virtual Result<std::uint32_t> read_dword(std::string_view key, std::string_view name) = 0;

    // Creates `key` if needed and writes `data` as REG_SZ, its terminating
    // NUL counted in the size.
    virtual Status write_string(std::string_view key, std::string_view name, std::u16string_view data) = 0;

    // Deletes the value; a value that does not exist counts as deleted. An
    // error when the key cannot be opened for writing.
    virtual Status delete_value(std::string_view key, std::string_view name) = 0;
};

// The real registry (Windows only).
std::shared_ptr<UserRegistry> make_user_registry();

}  // namespace hp::platform
