// hearthpad-client against the console host, both as real programs: pairing
// with the printed link, input over the stream and as datagrams, the
// clipboard, later runs that only authenticate, and a replaced host identity
// that the client refuses before it says anything about itself. The Windows
// build of the client does the same under Wine.
//
// Everything runs inside a network namespace of the test's own when the
// machine allows one (the host's LAN address is then 10.77.0.1 on its
// loopback); otherwise on 127.0.0.1, with --connect for the pairing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "processes.h"

namespace hp::e2e_client {
namespace {

namespace fs = std::filesystem;

const std::string kBin = HP_BINARY_DIR;
const std::string kSource = HP_SOURCE_DIR;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string describe(const ClientRun& r) {
    return "exit " + std::to_string(r.status) + "\nstdout: " + r.out + "\nstderr: " + r.err;
}

class ClientConsole : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = fs::temp_directory_path() /
                   ("hp-client-e2e-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch_);
        fs::create_directories(scratch_);
        if (!net_.available()) std::cerr << "note: no network namespace (" << net_.why() << "); using 127.0.0.1\n";
    }
    void TearDown() override {
        host_.reset();
        fs::remove_all(scratch_);
    }

    // Starts the console host on its data folder and returns its port.
    std::uint16_t start_host() {
        host_.reset();
        host_ = std::make_unique<Process>(Process::Options{
            .argv = net_.wrap({kBin + "/hearthpad-console"}),
            .env = {{"RC_DATA_DIR", (scratch_ / "host").string()},
                    {"HEARTHPAD_KEY_DIR", (scratch_ / "host-keys").string()},
                    {"COMPUTERNAME", "Script PC"}},
            .output = {},
            .input = true});
        const auto listening = host_->line("listening: ");
        EXPECT_TRUE(listening) << "the console host did not start";
        return listening ? static_cast<std::uint16_t>(std::stoi(listening->substr(11))) : 0;
    }

    // "pair" on the host's console: the link it prints.
    std::string open_pairing() {
        host_->send("pair");
        const auto link = host_->line("link: ");
        EXPECT_TRUE(link);
        return link ? link->substr(6) : "";
    }

    std::string address() const { return net_.available() ? NetNamespace::kAddress : "127.0.0.1"; }

    ClientRun client(std::vector<std::string> args) {
        std::vector<std::string> argv{kBin + "/hearthpad-client", "--dir", (scratch_ / "client").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return run_to_end(net_.wrap(argv), scratch_);
    }

    // Pairing through the link (plus --connect without a namespace).
    ClientRun pair(const std::string& link, std::uint16_t port, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"pair", link};
        args.insert(args.end(), extra.begin(), extra.end());
        if (!net_.available()) args.insert(args.end(), {"--connect", "127.0.0.1:" + std::to_string(port)});
        return client(args);
    }

    // The platform lines the host prints, in order, up to and including the
    // one starting with `last`.
    std::vector<std::string> platform_lines_until(const std::string& last) {
        const std::size_t before = host_->seen().size();
        EXPECT_TRUE(host_->line(last)) << "the host never printed " << last;
        std::vector<std::string> out;
        for (std::size_t i = before; i < host_->seen().size(); ++i)
            if (host_->seen()[i].rfind("platform: ", 0) == 0) out.push_back(host_->seen()[i]);
        return out;
    }

    NetNamespace net_;
    fs::path scratch_;
    std::unique_ptr<Process> host_;
};

TEST_F(ClientConsole, PairsWithThePrintedLinkThenDrivesTheHost) {
    const std::uint16_t port = start_host();
    ASSERT_NE(port, 0);
    const std::string link = open_pairing();
    if (net_.available()) {
        EXPECT_TRUE(contains(link, "lan=10.77.0.1%3A" + std::to_string(port))) << link;
    }

    // The port range probe finds it (mDNS stays out of the tests).
    auto found = client({"--no-mdns", "discover", address()});
    ASSERT_EQ(found.status, 0) << describe(found);
    EXPECT_TRUE(contains(found.out, "host: Script PC at " + address() + ":" + std::to_string(port) + " id "))
        << found.out;

    // The client never keeps its files in the host's data directory.
    auto intruding = run_to_end(net_.wrap({kBin + "/hearthpad-client", "--dir", (scratch_ / "host").string(), "pair",
                                           link, "--connect", address() + ":" + std::to_string(port)}),
                                scratch_);
    EXPECT_EQ(intruding.status, 1) << describe(intruding);
    EXPECT_TRUE(contains(intruding.err, "host's data directory")) << intruding.err;

    // A wrong code first: refused, and the code stays usable.
    auto wrong = pair(link, port, {"999999"});
    EXPECT_EQ(wrong.status, 1) << describe(wrong);
    EXPECT_TRUE(contains(wrong.err, "wrong pairing code")) << wrong.err;

    auto paired = pair(link, port, {"--name", "Anna's laptop"});
    ASSERT_EQ(paired.status, 0) << describe(paired);
    EXPECT_TRUE(contains(paired.out, "paired with Script PC")) << paired.out;
    EXPECT_TRUE(host_->line("event: DevicePaired Anna's laptop"));
    EXPECT_TRUE(fs::exists(scratch_ / "client" / "identity.json"));
    EXPECT_TRUE(fs::exists(scratch_ / "client" / "host.json"));

    // Every later run authenticates on its own connection.
    auto typed = client({"type", "Hello,", "wörld"});
    ASSERT_EQ(typed.status, 0) << describe(typed);
    EXPECT_EQ(platform_lines_until("platform: typeText"),
              std::vector<std::string>{"platform: typeText \"Hello, wörld\""});

    auto combo = client({"key", "ctrl+shift+t"});
    ASSERT_EQ(combo.status, 0) << describe(combo);
    EXPECT_EQ(platform_lines_until("platform: key 0xA0 0x2A 0 up"),
              (std::vector<std::string>{"platform: key 0xA0 0x2A 0 down", "platform: key 0xA2 0x1D 0 down",
                                        "platform: key 0x54 0x14 0 down", "platform: key 0x54 0x14 0 up",
                                        "platform: key 0xA2 0x1D 0 up", "platform: key 0xA0 0x2A 0 up"}));

    auto moved = client({"--udp", "--trace", "move", "25", "-7"});
    ASSERT_EQ(moved.status, 0) << describe(moved);
    EXPECT_TRUE(host_->line("platform: moveRelative 25 -7"));
    EXPECT_TRUE(contains(moved.err, "trace: > datagram to port " + std::to_string(port))) << moved.err;
    EXPECT_TRUE(contains(moved.err, "trace: < datagram 01fe0000")) << "no acknowledgement: " << moved.err;
    EXPECT_FALSE(contains(moved.err, "> InputCommand")) << "the move went over the stream";

    auto set = client({"clip", "set", "from the client"});
    ASSERT_EQ(set.status, 0) << describe(set);
    EXPECT_TRUE(host_->line("platform: setClipboard \"from the client\""));
    auto got = client({"clip", "get"});
    ASSERT_EQ(got.status, 0) << describe(got);
    EXPECT_EQ(got.out, "from the client\n");
    EXPECT_TRUE(host_->line("platform: getClipboard"));

    auto ping = client({"ping"});
    ASSERT_EQ(ping.status, 0) << describe(ping);
    EXPECT_TRUE(contains(ping.out, "pong from Script PC: ")) << ping.out;

    // Only one pairing happened; the host knows one device.
    host_->send("devices");
    const auto device = host_->line("1 ");
    ASSERT_TRUE(device);
    EXPECT_EQ(std::count(host_->seen().begin(), host_->seen().end(), "event: DevicePaired Anna's laptop"), 1);
    EXPECT_TRUE(contains(*device, "Anna's laptop offline")) << *device;
    EXPECT_FALSE(host_->line("2 ", 500ms));

    // Removed on the host: the client is told to pair again.
    host_->send("remove 1");
    auto refused = client({"ping"});
    EXPECT_EQ(refused.status, 1) << describe(refused);
    EXPECT_TRUE(contains(refused.err, "\"unpaired\"): pair again")) << refused.err;
}

TEST_F(ClientConsole, ARenewedHostIdentityIsRefusedBeforeAuthHello) {
    std::uint16_t port = start_host();
    ASSERT_NE(port, 0);
    auto paired = pair(open_pairing(), port);
    ASSERT_EQ(paired.status, 0) << describe(paired);
    const std::string pinned = [&] {
        std::ifstream in(scratch_ / "client" / "host.json");
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }();

    // The host gets a new identity: same address, same name, other keys.
    host_->send("quit");
    ASSERT_EQ(host_->wait(10s), 0);
    ASSERT_TRUE(fs::remove(scratch_ / "host" / "host_identity.bin"));
    port = start_host();
    ASSERT_NE(port, 0);

    auto refused = client({"--trace", "--host", address() + ":" + std::to_string(port), "type", "secret"});
    EXPECT_EQ(refused.status, 3) << describe(refused);
    EXPECT_TRUE(contains(refused.err, "WARNING: possible impersonation")) << refused.err;
    EXPECT_TRUE(contains(refused.err, "trace: < HostInfo")) << refused.err;
    EXPECT_FALSE(contains(refused.err, "AuthHello")) << "the client introduced itself to the impostor";
    EXPECT_FALSE(host_->line("event: SessionOpened", 500ms));
    for (const auto& l : host_->seen()) EXPECT_NE(l.rfind("platform: ", 0), 0u) << l;

    // The pinned host is kept as it was.
    std::ifstream in(scratch_ / "client" / "host.json");
    std::ostringstream now;
    now << in.rdbuf();
    EXPECT_EQ(now.str(), pinned);
}

// "Z:\tmp\x" for "/tmp/x": Wine's Z: drive is the Unix root.
std::string windows_path(const fs::path& p) {
    std::string s = "Z:" + fs::absolute(p).string();
    for (auto& c : s)
        if (c == '/') c = '\\';
    return s;
}

TEST_F(ClientConsole, TheWindowsClientPairsUnderWine) {
    const fs::path exe = HP_WIN_CLIENT_EXE;
    if (!fs::exists(exe)) GTEST_SKIP() << "no Windows build of the client at " << exe << " (cmake --preset windows)";
    bool wine = false;
    for (const char* c : {"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/bin/wine"}) wine = wine || fs::exists(c);
    if (!wine) GTEST_SKIP() << "Wine is not installed";

    const std::uint16_t port = start_host();
    ASSERT_NE(port, 0);
    const std::string link = open_pairing();
    const fs::path prefix = fs::path(kBin) / "client-wine" / "prefix";
    fs::create_directories(prefix.parent_path());
    auto windows = [&](std::vector<std::string> args) {
        std::vector<std::string> argv{"env", "HP_WINEPREFIX=" + prefix.string(), kSource + "/scripts/wine-run.sh",
                                      exe.string(), "--dir", windows_path(scratch_ / "win-client")};
        argv.insert(argv.end(), args.begin(), args.end());
        return run_to_end(net_.wrap(argv), scratch_, 280s);
    };

    std::vector<std::string> pairArgs{"pair", link};
    if (!net_.available()) pairArgs.insert(pairArgs.end(), {"--connect", "127.0.0.1:" + std::to_string(port)});
    auto paired = windows(pairArgs);
    ASSERT_EQ(paired.status, 0) << describe(paired);
    EXPECT_TRUE(contains(paired.out, "paired with Script PC")) << paired.out;
    EXPECT_TRUE(host_->line("event: DevicePaired hearthpad-client"));
    EXPECT_TRUE(fs::exists(scratch_ / "win-client" / "identity.json"));

    auto typed = windows({"type", "from Windows"});
    ASSERT_EQ(typed.status, 0) << describe(typed);
    EXPECT_TRUE(host_->line("platform: typeText \"from Windows\""));

    auto moved = windows({"--udp", "move", "3", "4"});
    ASSERT_EQ(moved.status, 0) << describe(moved);
    EXPECT_TRUE(host_->line("platform: moveRelative 3 4"));
}

}  // namespace
}  // namespace hp::e2e_client
