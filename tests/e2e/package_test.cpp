// The release package as a user gets it: the zip that scripts/package.sh
// writes, unpacked, checked file by file, and its hearthpad.exe started under
// Wine and asked for information over loopback. Its data directory is a
// temporary directory handed over in RC_DATA_DIR.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/wine_host.h"

namespace hp::e2e {
namespace {

namespace fs = std::filesystem;

constexpr auto kFirstAnswer = seconds(90);

fs::path zip_path() {
    if (const char* e = std::getenv("HP_PACKAGE_ZIP"); e && *e) return e;
    return HP_PACKAGE_ZIP;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

using Output = WineSession::Output;

Output run(const std::string& command) { return run_here(command); }

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

std::array<int, 3> release_version() {
    const std::string text = read_file(fs::path(HP_SOURCE_DIR) / "VERSION");
    std::array<int, 3> v{-1, -1, -1};
    std::sscanf(text.c_str(), "%d.%d.%d", &v[0], &v[1], &v[2]);
    return v;
}

std::string version_text() {
    const auto v = release_version();
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]);
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    if (at + 4 > bytes.size()) return 0;
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

// DLLs that come with every Windows 10 and 11 (the API sets included).
bool is_windows_system_dll(const std::string& name) {
    static const std::set<std::string> kSystem = {
        "kernel32.dll", "user32.dll",   "shell32.dll", "gdi32.dll",    "advapi32.dll", "ws2_32.dll",
        "mswsock.dll",  "iphlpapi.dll", "crypt32.dll", "msvcrt.dll",   "comctl32.dll", "winmm.dll",
        "setupapi.dll", "winhttp.dll",  "ole32.dll",   "oleaut32.dll", "dnsapi.dll",   "bcrypt.dll",
        "bcryptprimitives.dll",         "ntdll.dll",   "shlwapi.dll",  "uxtheme.dll",  "dwmapi.dll",
        "powrprof.dll", "version.dll",  "secur32.dll", "userenv.dll",  "wtsapi32.dll", "comdlg32.dll"};
    const std::string n = lower(name);
    return kSystem.contains(n) || ((n.starts_with("api-ms-win-") || n.starts_with("ext-ms-win-")) &&
                                   n.ends_with(".dll"));
}

// A socket that closes itself.
class Socket {
public:
    Socket() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Reads exactly `n` bytes within `limit`; fewer when the peer closes.
std::string read_exactly(int fd, std::size_t n, milliseconds limit) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buf[4096];
        const ssize_t got = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (got <= 0) break;
        out.append(buf, static_cast<std::size_t>(got));
    }
    return out;
}

class ReleasePackage : public ::testing::Test {
protected:
    static inline fs::path dir_;
    static inline std::string setupError_;

    static void SetUpTestSuite() {
        std::string pattern = (fs::temp_directory_path() / "hearthpad-package-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            setupError_ = "mkdtemp failed";
            return;
        }
        dir_ = pattern;
        const Output unzip = run("unzip -q " + quoted(zip_path().string()) + " -d " + quoted(dir_.string()));
        if (unzip.status != 0) setupError_ = "unzip " + zip_path().string() + " failed: " + unzip.text;
    }

    static void TearDownTestSuite() {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    void SetUp() override { ASSERT_TRUE(setupError_.empty()) << setupError_; }

    static fs::path exe() { return dir_ / "hearthpad.exe"; }
};

TEST_F(ReleasePackage, HoldsTheShippedFilesInOrderWithTheirChecksums) {
    EXPECT_EQ(zip_path().filename().string(), "hearthpad-" + version_text() + "-win64.zip");
    const Output names = run("unzip -Z1 " + quoted(zip_path().string()));
    ASSERT_EQ(names.status, 0) << names.text;
    const std::vector<std::string> expected = {"hearthpad.exe",   "README-Windows.txt",     "docs/GAMEPAD.md",
                                               "LICENSE",         "THIRD_PARTY_NOTICES.md", "SHA256SUMS"};
    EXPECT_EQ(lines(names.text), expected);

    const std::vector<std::string> sums = lines(read_file(dir_ / "SHA256SUMS"));
    ASSERT_EQ(sums.size(), expected.size() - 1);
    for (std::size_t i = 0; i < sums.size(); ++i) EXPECT_TRUE(sums[i].ends_with("  " + expected[i])) << sums[i];
    const Output check = run("cd " + quoted(dir_.string()) + " && sha256sum --check --strict SHA256SUMS");
    EXPECT_EQ(check.status, 0) << check.text;

    // The documents are the tree's own; the Windows readme has CRLF line ends.
    const fs::path src(HP_SOURCE_DIR);
    for (const char* same : {"LICENSE", "THIRD_PARTY_NOTICES.md", "docs/GAMEPAD.md"})
        EXPECT_EQ(read_file(dir_ / same), read_file(src / same)) << same;
    std::string readme = read_file(dir_ / "README-Windows.txt");
    EXPECT_EQ(readme.find("\r\r"), std::string::npos);
    std::size_t lf = 0, crlf = 0;
    for (std::size_t i = 0; i < readme.size(); ++i) {
        if (readme[i] != '\n') continue;
        ++lf;
        if (i > 0 && readme[i - 1] == '\r') ++crlf;
    }
    EXPECT_GT(lf, 0u);
    EXPECT_EQ(crlf, lf);
}

TEST_F(ReleasePackage, ProgramImportsOnlyWindowsSystemDlls) {
    const Output dump = run("x86_64-w64-mingw32-objdump -p " + quoted(exe().string()));
    ASSERT_EQ(dump.status, 0) << dump.text;
    std::vector<std::string> dlls;
    for (const std::string& line : lines(dump.text)) {
        const auto at = line.find("DLL Name: ");
        if (at != std::string::npos) dlls.push_back(line.substr(at + 10));
    }
    ASSERT_FALSE(dlls.empty()) << "no imports found in\n" << dump.text;
    for (const std::string& dll : dlls) EXPECT_TRUE(is_windows_system_dll(dll)) << dll << " is not part of Windows";
}

TEST_F(ReleasePackage, ProgramIsStrippedAndNamesItsDebugFile) {
    const Output headers = run("x86_64-w64-mingw32-objdump -h " + quoted(exe().string()));
    ASSERT_EQ(headers.status, 0) << headers.text;
    EXPECT_EQ(headers.text.find(" .debug_"), std::string::npos) << headers.text;
    EXPECT_NE(headers.text.find(" .gnu_debuglink"), std::string::npos) << headers.text;

    const std::string bytes = read_file(exe());
    EXPECT_NE(bytes.find(std::string("hearthpad.exe.debug\0", 20)), std::string::npos);
}

TEST_F(ReleasePackage, VersionResourceSaysTheReleaseVersion) {
    const std::string bytes = read_file(exe());
    // VS_FIXEDFILEINFO: signature, structure version, file version (MS, LS),
    // product version (MS, LS).
    const auto at = bytes.find(std::string("\xBD\x04\xEF\xFE", 4));
    ASSERT_NE(at, std::string::npos) << "no version resource";
    const auto v = release_version();
    const std::uint32_t ms = static_cast<std::uint32_t>(v[0]) << 16 | static_cast<std::uint32_t>(v[1]);
    const std::uint32_t ls = static_cast<std::uint32_t>(v[2]) << 16;
    EXPECT_EQ(le32(bytes, at + 8), ms);
    EXPECT_EQ(le32(bytes, at + 12), ls);
    EXPECT_EQ(le32(bytes, at + 16), ms);
    EXPECT_EQ(le32(bytes, at + 20), ls);
    std::string utf16;
    for (char c : version_text()) utf16 += std::string{c, '\0'};
    EXPECT_NE(bytes.find(utf16 + std::string(2, '\0')), std::string::npos) << "no version string " << version_text();
}

TEST_F(ReleasePackage, PackagedProgramAnswersAnInformationRequestUnderWine) {
    auto wine = WineSession::open(fs::path(HP_E2E_DIR));
    ASSERT_TRUE(wine) << wine.error().text;
    const fs::path data = dir_ / "data";
    fs::create_directories(data);
    auto host = (*wine)->start(exe(), data, {"--background"});
    ASSERT_TRUE(host) << host.error().text;
    auto found = (*wine)->wait_for_host(*host, kFirstAnswer);
    ASSERT_TRUE(found) << found.error().text;

    // An empty PairRequest (length 1, type 0x10) asks for information; the
    // host answers HostInfo (type 0x14) and closes the connection.
    Socket s;
    ASSERT_GE(s.fd(), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(found->port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(s.fd(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    const unsigned char request[] = {0x01, 0x00, 0x00, 0x00, 0x10};
    ASSERT_EQ(::send(s.fd(), request, sizeof request, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof request));
    const std::string length = read_exactly(s.fd(), 4, seconds(10));
    ASSERT_EQ(length.size(), 4u);
    const std::uint32_t n = le32(length, 0);
    ASSERT_GE(n, 1u);
    ASSERT_LE(n, 65536u);
    const std::string frame = read_exactly(s.fd(), n, seconds(10));
    ASSERT_EQ(frame.size(), n);
    EXPECT_EQ(static_cast<unsigned char>(frame[0]), 0x14);
    const auto info = nlohmann::json::parse(frame.substr(1), nullptr, false);
    ASSERT_TRUE(info.is_object()) << frame.substr(1);
    EXPECT_EQ(info.value("os", ""), "windows");
    EXPECT_TRUE(is_v4_uuid(info.value("hostId", ""))) << info.dump();
    EXPECT_TRUE(read_exactly(s.fd(), 1, seconds(10)).empty()) << "the connection stayed open";

    (*wine)->kill_all();
}

}  // namespace
}  // namespace hp::e2e
