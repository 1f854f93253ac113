// The Windows side of the shared helpers and seams: atomic file replacement,
// the random source, listener options and socket error texts.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "base/atomic_file.h"
#include "crypto/crypto.h"
#include "platform/win32/random_source.h"
#include "platform/win32/win32_system.h"
#include "server/sockets.h"

namespace hp {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WinScratch : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("hp-win-" + std::to_string(GetCurrentProcessId()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

using AtomicFileOnWindows = WinScratch;

TEST_F(AtomicFileOnWindows, ReplacesAnExistingFileAndLeavesNoTemporary) {
    const fs::path target = dir_ / "paired_devices.json";
    const fs::path tmp = tmp_sibling(target);
    ASSERT_TRUE(write_file_atomically(target, tmp, as_bytes("old")));
    ASSERT_TRUE(write_file_atomically(target, tmp, as_bytes("new and longer")));
    EXPECT_EQ(read_all(target), "new and longer");
    EXPECT_FALSE(fs::exists(tmp));
}

TEST_F(AtomicFileOnWindows, AFailedRenameKeepsTheTargetAndRemovesTheTemporary) {
    const fs::path target = dir_ / "host_identity.bin";
    fs::create_directories(target / "occupied");
    const auto written = write_file_atomically(target, tmp_sibling(target), as_bytes("x"));
    ASSERT_FALSE(written);
    EXPECT_NE(written.error().text.find("host_identity.bin"), std::string::npos) << written.error().text;
    EXPECT_TRUE(fs::is_directory(target / "occupied"));
    EXPECT_FALSE(fs::exists(tmp_sibling(target)));
}

// An open handle without FILE_SHARE_DELETE, as a virus scanner or the
// indexer holds a file it looks at: renaming over the file fails meanwhile.
class Holder {
public:
    explicit Holder(const fs::path& file)
        : handle_(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    ~Holder() { release(); }
    bool holding() const { return handle_ != INVALID_HANDLE_VALUE; }
    void release() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

TEST_F(AtomicFileOnWindows, ATargetHeldForAMomentIsReplacedOnceItIsLetGo) {
    const fs::path target = dir_ / "paired_devices.json";
    ASSERT_TRUE(write_file_atomically(target, tmp_sibling(target), as_bytes("old")));
    Holder holder(target);
    ASSERT_TRUE(holder.holding());
    {
        // The system refuses a plain rename over it meanwhile.
        const fs::path probe = dir_ / "probe";
        std::ofstream(probe) << "probe";
        ASSERT_FALSE(MoveFileExW(probe.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
        const DWORD error = GetLastError();
        EXPECT_TRUE(error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) << error;
    }
    std::thread letGo([&holder] {
        Sleep(100);
        holder.release();
    });
    const auto written = write_file_atomically(target, tmp_sibling(target), as_bytes("new"));
    letGo.join();
    ASSERT_TRUE(written) << written.error().text;
    EXPECT_EQ(read_all(target), "new");
    EXPECT_FALSE(fs::exists(tmp_sibling(target)));
}

TEST_F(AtomicFileOnWindows, ATargetHeldPastTheRetriesFailsWithTheSystemsText) {
    const fs::path target = dir_ / "gamepad_mapping.json";
    ASSERT_TRUE(write_file_atomically(target, tmp_sibling(target), as_bytes("old")));
    const Holder holder(target);
    ASSERT_TRUE(holder.holding());
    const auto written = write_file_atomically(target, tmp_sibling(target), as_bytes("new"));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().text.rfind("Could not replace " + path_text(target) + ": ", 0), 0u)
        << written.error().text;
    EXPECT_GT(written.error().text.size(), ("Could not replace " + path_text(target) + ": ").size());
    EXPECT_EQ(read_all(target), "old");
    EXPECT_FALSE(fs::exists(tmp_sibling(target)));
}

BOOL WINAPI fake_prng(PBYTE out, SIZE_T size) {
    for (SIZE_T i = 0; i < size; ++i) out[i] = 0xA5;
    return TRUE;
}

TEST(RandomSource, ProcessPrngWhenFoundElseBCrypt) {
    std::vector<std::pair<std::wstring, std::string>> asked;
    const auto found = platform::select_random_source([&](const wchar_t* library, const char* name) {
        asked.emplace_back(library, name);
        return reinterpret_cast<void*>(&fake_prng);
    });
    EXPECT_EQ(found.kind, platform::RandomSource::Kind::ProcessPrng);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, L"bcryptprimitives.dll");
    EXPECT_EQ(asked[0].second, "ProcessPrng");
    BYTE b[4] = {};
    ASSERT_TRUE(found.fill(b, sizeof b));
    EXPECT_EQ(b[3], 0xA5);

    const auto missing = platform::select_random_source([](const wchar_t*, const char*) { return nullptr; });
    EXPECT_EQ(missing.kind, platform::RandomSource::Kind::BCryptGenRandom);
    BYTE zeros[64] = {};
    BYTE r[64] = {};
    ASSERT_TRUE(missing.fill(r, sizeof r));
    EXPECT_NE(std::memcmp(r, zeros, sizeof r), 0);
}

TEST(RandomSource, TheSystemSourceFeedsTheCryptography) {
    // Wine has no bcryptprimitives.dll: the program still loads and the
    // fallback serves every random byte.
    const auto chosen = platform::select_random_source(&platform::system_proc_lookup);
    EXPECT_NE(chosen.fill, nullptr);
    platform::use_system_random();
    crypto::init();
    const Bytes a = crypto::random_bytes(32);
    const Bytes b = crypto::random_bytes(32);
    EXPECT_NE(a, b);
    EXPECT_NE(a, Bytes(32, 0));
}

TEST(Listener, NoAddressReuseOnWindows) {
    const auto system = platform::make_win32_system();
    auto s = system->create_tcp_listener(false);
    ASSERT_TRUE(s) << s.error().text;
    BOOL reuse = TRUE;
    int size = sizeof reuse;
    ASSERT_EQ(getsockopt(static_cast<SOCKET>(*s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<char*>(&reuse), &size), 0);
    EXPECT_FALSE(reuse);
    system->close_socket(*s);

    // The host's own listeners, bound through the port choice, likewise.
    asio::io_context io;
    auto bound = server::bind_host_sockets(io.get_executor(), *system, server::PortRange{0, 0});
    ASSERT_TRUE(bound) << bound.error().text;
    reuse = TRUE;
    size = sizeof reuse;
    ASSERT_EQ(getsockopt(bound->tcp_v4.native_handle(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<char*>(&reuse),
                         &size),
              0);
    EXPECT_FALSE(reuse);
}

TEST(Listener, BindErrorsCarryTheSystemsOwnText) {
    const auto system = platform::make_win32_system();
    asio::io_context io;
    auto first = server::bind_host_sockets(io.get_executor(), *system, server::PortRange{0, 0});
    ASSERT_TRUE(first) << first.error().text;
    const std::uint16_t port = first->tcp_port;
    auto second = server::bind_host_sockets(io.get_executor(), *system, server::PortRange{port, port});
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().text, os_error_text(WSAEADDRINUSE));
    EXPECT_EQ(second.error().text.find('\r'), std::string::npos);
}

}  // namespace
}  // namespace hp
