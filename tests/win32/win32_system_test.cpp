// The Windows layer against the real system calls (run under Wine in CI):
// DPAPI, the environment and the precise clock.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "base/bytes.h"
#include "platform/data_protection.h"
#include "platform/system.h"
#include "platform/win32/win32_system.h"

namespace hp::platform {
namespace {

Bytes all_byte_values() {
    Bytes b;
    for (int i = 0; i < 256; ++i) b.push_back(static_cast<std::uint8_t>(i));
    return b;
}

struct Payload {
    const char* label;
    Bytes plain;
};

Bytes text(std::string_view s) {
    auto v = as_bytes(s);
    return Bytes(v.begin(), v.end());
}

class DpapiRoundTrip : public ::testing::TestWithParam<Payload> {};

TEST_P(DpapiRoundTrip, UnprotectGivesBackTheProtectedBytes) {
    auto dp = make_dpapi_protection();
    const Bytes& plain = GetParam().plain;

    auto blob = dp->protect(plain);
    ASSERT_TRUE(blob) << blob.error().text;
    EXPECT_NE(*blob, plain);
    EXPECT_GT(blob->size(), plain.size());

    auto back = dp->unprotect(*blob);
    ASSERT_TRUE(back) << back.error().text;
    EXPECT_EQ(*back, plain);
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, DpapiRoundTrip,
    ::testing::Values(
        Payload{"identity_json", text(R"({"hostId":"0f8c2a5e-3b1d-4c6e-9a7f-2d4b6c8e0a1f",)"
                                      R"("seedHex":"000102030405060708090a0b0c0d0e0f)"
                                      R"(101112131415161718191a1b1c1d1e1f"})")},
        Payload{"non_ascii_utf8", text("Z\xC3\xBCrich \xE2\x80\x94 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x8E\xAE")},
        Payload{"every_byte_value", all_byte_values()},
        Payload{"single_zero_byte", Bytes{0}},
        Payload{"large", Bytes(64 * 1024, 0xA5)}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Dpapi, BlobsThatCannotBeDecryptedAreRefusedWithTheSystemMessage) {
    auto dp = make_dpapi_protection();
    auto good = dp->protect(text("secret"));
    ASSERT_TRUE(good) << good.error().text;

    Bytes truncated(good->begin(), good->begin() + static_cast<std::ptrdiff_t>(good->size() / 2));
    // A blob made under another key fails the same way: its ciphertext and
    // MAC do not verify here. Flipping one byte near the end stands in for it.
    Bytes tampered = *good;
    tampered[tampered.size() - 8] ^= 0x01;
    Bytes garbage;
    for (int i = 0; i < 200; ++i) garbage.push_back(static_cast<std::uint8_t>(i * 37 + 11));

    const struct {
        const char* label;
        Bytes blob;
    } cases[] = {
        {"empty", {}},
        {"garbage", garbage},
        {"truncated", truncated},
        {"tampered", tampered},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto r = dp->unprotect(c.blob);
        ASSERT_FALSE(r);
        EXPECT_FALSE(r.error().text.empty());
        EXPECT_NE(r.error().text.back(), '\n');
    }
}

// Sets a variable through the wide API for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name) {
        SetEnvironmentVariableW(name, value);
    }
    ScopedEnv(const wchar_t* name, const std::wstring& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv() { SetEnvironmentVariableW(name_, nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const wchar_t* name_;
};

TEST(EnvUtf8, ReturnsTheValueAsUtf8) {
    const struct {
        const char* label;
        std::wstring value;
        std::string expected;
    } cases[] = {
        {"ascii", L"DESKTOP-7Q2K", "DESKTOP-7Q2K"},
        {"empty", L"", ""},
        {"latin_and_cjk", L"Z\u00FCrich-\u6771\u4EAC", "Z\xC3\xBCrich-\xE6\x9D\xB1\xE4\xBA\xAC"},
        {"surrogate_pair", L"pad \U0001F3AE", "pad \xF0\x9F\x8E\xAE"},
        {"longer_than_first_buffer", std::wstring(1000, L'x'), std::string(1000, 'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScopedEnv env(L"HP_TEST_VALUE", c.value);
        EXPECT_EQ(make_win32_system()->env("HP_TEST_VALUE"), c.expected);
    }
}

TEST(EnvUtf8, UnsetOrInvalidUnicodeIsNothing) {
    SetEnvironmentVariableW(L"HP_TEST_UNSET", nullptr);
    EXPECT_EQ(make_win32_system()->env("HP_TEST_UNSET"), std::nullopt);

    const wchar_t lone_high[] = {L'a', static_cast<wchar_t>(0xD83C), L'b', 0};
    ScopedEnv env(L"HP_TEST_BROKEN", lone_high);
    EXPECT_EQ(make_win32_system()->env("HP_TEST_BROKEN"), std::nullopt);
}

TEST(EnvUtf8, NonAsciiNamesAreLookedUp) {
    ScopedEnv env(L"HP_\u00C9T\u00C9", L"yes");
    EXPECT_EQ(make_win32_system()->env("HP_\xC3\x89T\xC3\x89"), "yes");
}

TEST(PreciseFiletime, CountsHundredNanosecondsSince1601) {
    using namespace std::chrono;
    constexpr std::int64_t kUnixEpochAsFiletime = 116444736000000000LL;
    const std::int64_t before =
        duration_cast<microseconds>(system_clock::now().time_since_epoch()).count() * 10 +
        kUnixEpochAsFiletime;
    const auto ft = static_cast<std::int64_t>(make_win32_system()->filetime_now());
    const std::int64_t after =
        duration_cast<microseconds>(system_clock::now().time_since_epoch()).count() * 10 +
        kUnixEpochAsFiletime;
    // The two clocks may round differently; allow one second of slack either side.
    constexpr std::int64_t kSlack = 10'000'000;
    EXPECT_GE(ft, before - kSlack);
    EXPECT_LE(ft, after + kSlack);
}

}  // namespace
}  // namespace hp::platform
