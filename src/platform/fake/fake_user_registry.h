#pragma once
// An in-memory HKEY_CURRENT_USER: string values kept as the units written
// (NUL included, as the registry keeps REG_SZ data), DWORD values, and keys
// that can be made to refuse writing.
#include <map>
#include <optional>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "platform/user_registry.h"

namespace hp::fake {

class FakeUserRegistry : public platform::UserRegistry {
public:
    Result<std::u16string> read_units(std::string_view key, std::string_view name,
                                      std::size_t bufferBytes) override;
    Result<std::uint32_t> read_dword(std::string_view key, std::string_view name) override;
    Status write_string(std::string_view key, std::string_view name, std::u16string_view data) override;
    Status delete_value(std::string_view key, std::string_view name) override;

    // Stores the units exactly as given (as another program might have).
    void put_units(std::string_view key, std::string_view name, std::u16string units);
    void put_dword(std::string_view key, std::string_view name, std::uint32_t value);
    // Writes and deletes under `key` fail from now on.
    void refuse_writes(std::string_view key);
    // The units stored, if any.
    std::optional<std::u16string> units(std::string_view key, std::string_view name) const;
    int writes() const;

private:
    using Name = std::pair<std::string, std::string>;
    mutable std::mutex mutex_;
    std::map<Name, std::u16string> strings_;
    std::map<Name, std::uint32_t> dwords_;
    std::set<std::string> readOnly_;
    int writes_ = 0;
};

}  // namespace hp::fake
