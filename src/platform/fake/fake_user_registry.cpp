#include "platform/fake/fake_user_registry.h"

namespace hp::fake {

namespace {
std::pair<std::string, std::string> key_of(std::string_view key, std::string_view name) {
    return {std::string(key), std::string(name)};
}
}  // namespace

Result<std::u16string> FakeUserRegistry::read_units(std::string_view key, std::string_view name,
                                                    std::size_t bufferBytes) {
    std::lock_guard lock(mutex_);
    const auto it = strings_.find(key_of(key, name));
    if (it == strings_.end()) return fail("The system cannot find the file specified.");
    if (it->second.size() * 2 > bufferBytes) return fail("More data is available.");
    return it->second;
}

Result<std::uint32_t> FakeUserRegistry::read_dword(std::string_view key, std::string_view name) {
    std::lock_guard lock(mutex_);
    const auto it = dwords_.find(key_of(key, name));
    if (it == dwords_.end()) return fail("The system cannot find the file specified.");
    return it->second;
}

Status FakeUserRegistry::write_string(std::string_view key, std::string_view name, std::u16string_view data) {
    std::lock_guard lock(mutex_);
    if (readOnly_.contains(std::string(key))) return fail("Access is denied.");
    std::u16string units(data);
    units.push_back(u'\0');
    strings_[key_of(key, name)] = std::move(units);
    ++writes_;
    return {};
}

Status FakeUserRegistry::delete_value(std::string_view key, std::string_view name) {
    std::lock_guard lock(mutex_);
    if (readOnly_.contains(std::string(key))) return fail("Access is denied.");
    strings_.erase(key_of(key, name));
    dwords_.erase(key_of(key, name));
    ++writes_;
    return {};
}

void FakeUserRegistry::put_units(std::string_view key, std::string_view name, std::u16string units) {
    std::lock_guard lock(mutex_);
    strings_[key_of(key, name)] = std::move(units);
}

void FakeUserRegistry::put_dword(std::string_view key, std::string_view name, std::uint32_t value) {
    std::lock_guard lock(mutex_);
    dwords_[key_of(key, name)] = value;
}

void FakeUserRegistry::refuse_writes(std::string_view key) {
    std::lock_guard lock(mutex_);
    readOnly_.insert(std::string(key));
}

std::optional<std::u16string> FakeUserRegistry::units(std::string_view key, std::string_view name) const {
    std::lock_guard lock(mutex_);
    const auto it = strings_.find(key_of(key, name));
    if (it == strings_.end()) return std::nullopt;
    return it->second;
}

int FakeUserRegistry::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

}  // namespace hp::fake
