// QR codes of pairing links, read back by an independent decoder: the matrix
// is drawn into a PNG inside its quiet zone and zbarimg must return the link
// byte for byte. The symbol must be the smallest version that holds the
// text at error-correction level M, and its format information must say M.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "qr/qr_code.h"

namespace {

namespace fs = std::filesystem;
using hp::qr::Matrix;

// ------------------------------------------------------------ PNG writer
// 8-bit grey, one IDAT of stored (uncompressed) deflate blocks: small and
// easy to check, and every PNG reader accepts it.

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put_be32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void put_chunk(std::vector<std::uint8_t>& png, const char (&type)[5], const std::vector<std::uint8_t>& data) {
    put_be32(png, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    put_be32(png, crc32(typed.data(), typed.size()));
}

// `matrix` with every module drawn as scale × scale pixels, dark black.
std::vector<std::uint8_t> png_of(const Matrix& matrix, int scale) {
    const auto width = static_cast<std::uint32_t>(matrix.side * scale);
    std::vector<std::uint8_t> raw;  // filter byte 0, then the row's pixels
    for (std::uint32_t y = 0; y < width; ++y) {
        raw.push_back(0);
        for (std::uint32_t x = 0; x < width; ++x)
            raw.push_back(matrix.dark(static_cast<int>(x) / scale, static_cast<int>(y) / scale) ? 0 : 255);
    }

    std::vector<std::uint8_t> zlib{0x78, 0x01};
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(raw.size() - pos, 65535);
        const bool last = pos + n == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<std::uint8_t>(n));
        zlib.push_back(static_cast<std::uint8_t>(n >> 8));
        zlib.push_back(static_cast<std::uint8_t>(~n));
        zlib.push_back(static_cast<std::uint8_t>(~n >> 8));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                    raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put_be32(zlib, (b << 16) | a);

    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    put_be32(header, width);
    put_be32(header, width);
    header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit grey, deflate, no filter, not interlaced
    put_chunk(png, "IHDR", header);
    put_chunk(png, "IDAT", zlib);
    put_chunk(png, "IEND", {});
    return png;
}

// ------------------------------------------------------------- zbarimg

std::optional<std::string> find_zbarimg() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/zbarimg";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

struct Decoded {
    int status = -1;
    std::string output;
};

// What zbarimg reads from the picture, QR codes only, data as raw bytes.
Decoded zbar_read(const std::string& zbarimg, const fs::path& png) {
    const std::string command = "'" + zbarimg + "' --quiet --raw -Sdisable -Sqrcode.enable -Sbinary '" +
                                png.string() + "' 2>/dev/null";
    Decoded d;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return d;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) d.output.append(buf.data(), n);
    const int raw = ::pclose(pipe);
    d.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return d;
}

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "hp-qr-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// ------------------------------------------------------- what QR says

// Data codewords of each version at level M (ISO/IEC 18004, table 7).
constexpr std::array<int, 41> kDataCodewordsM = {
    0,    16,   28,   44,   64,   86,   108,  124,  154,  182,  216,  254,  290,  334,
    365,  415,  453,  507,  563,  627,  669,  714,  782,  860,  914,  1000, 1062, 1128,
    1193, 1267, 1373, 1455, 1541, 1631, 1725, 1812, 1914, 1992, 2102, 2216, 2334};

// The smallest version whose level-M symbol holds `bytes` bytes in byte
// mode: 4 mode bits, the character count (8 bits up to version 9, 16 after),
// 8 bits per byte.
int smallest_byte_mode_version(std::size_t bytes) {
    for (int v = 1; v <= 40; ++v) {
        const std::size_t countBits = v <= 9 ? 8 : 16;
        if (4 + countBits + 8 * bytes <= static_cast<std::size_t>(kDataCodewordsM[v]) * 8) return v;
    }
    return 0;
}

int version_of(const Matrix& symbol) { return (symbol.side - 17) / 4; }

// The 15-bit format information, both copies, unmasked. Its two top bits
// are the error-correction level: 00 is M.
struct FormatInfo {
    int first = 0, second = 0;
};

FormatInfo format_info(const Matrix& m) {
    const int n = m.side;
    FormatInfo f;
    auto bit = [](bool dark, int i) { return dark ? 1 << i : 0; };
    // Around the top-left finder: bits 0-5 down column 8, 6 and 7 skipping
    // the timing row, 8 left of the corner, 9-14 along row 8 to the left edge.
    for (int i = 0; i <= 5; ++i) f.first |= bit(m.dark(8, i), i);
    f.first |= bit(m.dark(8, 7), 6) | bit(m.dark(8, 8), 7) | bit(m.dark(7, 8), 8);
    for (int i = 9; i < 15; ++i) f.first |= bit(m.dark(14 - i, 8), i);
    // Split between the other two finders: bits 0-7 along row 8 from the
    // right edge, 8-14 up column 8 to the bottom edge.
    for (int i = 0; i < 8; ++i) f.second |= bit(m.dark(n - 1 - i, 8), i);
    for (int i = 8; i < 15; ++i) f.second |= bit(m.dark(8, n - 15 + i), i);
    f.first ^= 0x5412;
    f.second ^= 0x5412;
    return f;
}

// The BCH(15,5) check of the format information.
bool format_bch_ok(int word) {
    int rem = word >> 10;
    for (int i = 0; i < 10; ++i) rem = (rem << 1) ^ ((rem >> 9) * 0x537);
    return ((word >> 10) << 10 | (rem & 0x3FF)) == word;
}

std::string pairing_link(const std::string& name, const std::string& lan, const std::string& ts) {
    return "hearthpad://pair?v=1&id=5b0e3f5c-8a1d-4c2e-9f47-3d6b2a9c1e80&name=" + name +
           "&os=windows&lan=" + lan + "&ts=" + ts +
           "&pk=8f2d6c4b1a09e7d3c5b4a29180f7e6d5c4b3a2918f7e6d5c4b3a29180f7e6d5c&code=123456";
}

class PairingLinkQr : public ::testing::TestWithParam<std::string> {};

TEST_P(PairingLinkQr, ZbarimgReadsTheLinkBackFromTheSmallestLevelMSymbol) {
    const std::string link = GetParam();
    const auto symbol = hp::qr::encode(link);
    ASSERT_TRUE(symbol) << symbol.error().text;
    ASSERT_EQ(symbol->modules.size(), static_cast<std::size_t>(symbol->side * symbol->side));
    // Lowercase letters put a link in byte mode.
    EXPECT_EQ(version_of(*symbol), smallest_byte_mode_version(link.size())) << link.size() << " bytes";
    EXPECT_EQ(symbol->side, 17 + 4 * version_of(*symbol));

    const FormatInfo format = format_info(*symbol);
    EXPECT_EQ(format.first, format.second);
    EXPECT_TRUE(format_bch_ok(format.first));
    EXPECT_EQ(format.first >> 13, 0b00) << "error-correction level is not M";

    const auto drawn = hp::qr::encode_with_border(link);
    ASSERT_TRUE(drawn);
    ASSERT_EQ(drawn->side, symbol->side + 2 * hp::qr::kQuietZone);

    const auto zbarimg = find_zbarimg();
    if (!zbarimg) GTEST_SKIP() << "zbarimg is not installed (Debian zbar-tools): the QR code was not read back";
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const fs::path png = dir.path() / "link.png";
    const auto bytes = png_of(*drawn, 4);
    std::ofstream(png, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
    const Decoded read = zbar_read(*zbarimg, png);
    ASSERT_EQ(read.status, 0) << "zbarimg found no QR code in " << png;
    std::string text = read.output;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    EXPECT_EQ(text, link);
}

INSTANTIATE_TEST_SUITE_P(
    Links, PairingLinkQr,
    ::testing::Values(
        // The host name Büro PC, a LAN endpoint and no Tailscale endpoint.
        pairing_link("B%C3%BCro%20PC", "192.168.1.20%3A49182", ""),
        // Both endpoints, one of them IPv6.
        pairing_link("DESKTOP-7Q2K4LM", "%5Bfd12%3A3456%3A789a%3A1%3A%3A20%5D%3A49182", "100.101.102.103%3A49182"),
        // A long name of non-ASCII letters pushes the link into a larger version.
        pairing_link("%D0%A0%D0%B0%D0%B1%D0%BE%D1%87%D0%B8%D0%B9%20%D0%BA%D0%BE%D0%BC%D0%BF%D1%8C%D1%8E%D1%82%D0%B5"
                     "%D1%80%20%D0%B2%20%D0%B3%D0%BE%D1%81%D1%82%D0%B8%D0%BD%D0%BE%D0%B9",
                     "10.0.0.7%3A49183", "100.64.0.1%3A49183")));

TEST(QrEncode, ChoosesTheModeAndTheSmallestVersionAtLevelM) {
    struct Case {
        std::string text;
        int version;
    };
    const Case cases[] = {
        {std::string(34, '7'), 1},   // numeric: 34 digits fill version 1
        {std::string(35, '7'), 2},
        {std::string(20, 'A'), 1},   // alphanumeric: 20 characters
        {"HEARTHPAD PAIR-CODE:", 1},
        {std::string(21, 'A'), 2},
        {std::string(14, 'a'), 1},   // byte mode: 14 bytes
        {std::string(15, 'a'), 2},
        {std::string(213, 'a'), 10},  // the count field grows to 16 bits at version 10
        {std::string(214, 'a'), 11},
        {std::string(2331, 'a'), 40},
        {std::string("a\0b", 3), 1},  // a NUL byte is data, not the end
    };
    for (const Case& c : cases) {
        const auto symbol = hp::qr::encode(c.text);
        ASSERT_TRUE(symbol) << c.text.size() << " bytes: " << symbol.error().text;
        EXPECT_EQ(version_of(*symbol), c.version) << c.text.substr(0, 40) << " (" << c.text.size() << " bytes)";
        EXPECT_EQ(format_info(*symbol).first >> 13, 0b00) << "level is not M for " << c.text.size() << " bytes";
    }
}

TEST(QrEncode, TooLongForVersion40IsAnError) {
    const auto symbol = hp::qr::encode(std::string(2332, 'a'));
    ASSERT_FALSE(symbol);
    EXPECT_FALSE(symbol.error().text.empty());
    EXPECT_FALSE(hp::qr::encode_with_border(std::string(2332, 'a')));
}

TEST(QrBorder, AddsLightModulesAroundAnUnchangedSymbol) {
    const auto symbol = hp::qr::encode("hearthpad");
    ASSERT_TRUE(symbol);
    for (int border : {0, 1, 4}) {
        const Matrix framed = hp::qr::with_border(*symbol, border);
        ASSERT_EQ(framed.side, symbol->side + 2 * border);
        ASSERT_EQ(framed.modules.size(), static_cast<std::size_t>(framed.side * framed.side));
        for (int y = 0; y < framed.side; ++y)
            for (int x = 0; x < framed.side; ++x)
                ASSERT_EQ(framed.dark(x, y), symbol->dark(x - border, y - border)) << x << "," << y;
    }
    EXPECT_EQ(hp::qr::with_border(*symbol, -3).side, symbol->side);
}

}  // namespace
