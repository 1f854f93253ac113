#pragma once
// Test helpers: a scratch directory removed afterwards, and environment
// variables set for one test and restored after it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace hp::test {

class ScratchDir {
public:
    ScratchDir() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "hp-foundation-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = tmpl;
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class EnvGuard {
public:
    explicit EnvGuard(std::vector<std::string> names) {
        for (auto& name : names) {
            const char* v = std::getenv(name.c_str());
            saved_.push_back({std::move(name), v ? std::optional<std::string>(v) : std::nullopt});
        }
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;
    ~EnvGuard() {
        for (const auto& [name, value] : saved_) set(name.c_str(), value);
    }
    static void set(const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

inline void write_file(const std::filesystem::path& p, ByteView data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << p;
}

inline void write_file(const std::filesystem::path& p, std::string_view text) {
    write_file(p, as_bytes(text));
}

inline std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace hp::test
