// Drives hearthpad-console as a script would: through its standard input and
// output, with a real client pairing over loopback.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

#include "protocol/datagram.h"
#include "support/test_client.h"

namespace {

using namespace std::chrono_literals;

class ConsoleHost {
public:
    explicit ConsoleHost(const std::filesystem::path& data, std::vector<std::string> args = {}) {
        int in[2], out[2];
        EXPECT_EQ(pipe(in), 0);
        EXPECT_EQ(pipe(out), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            close(in[1]);
            close(out[0]);
            setenv("RC_DATA_DIR", data.c_str(), 1);
            setenv("HEARTHPAD_KEY_DIR", (data / "keys").c_str(), 1);
            setenv("COMPUTERNAME", "Script PC", 1);
            const std::string exe = std::string(HP_BINARY_DIR) + "/hearthpad-console";
            // Never advertise on the machine's network or ask its Tailscale.
            args.insert(args.begin(), {"--no-mdns", "--tailscale-api", "127.0.0.1:9"});
            std::vector<char*> argv{const_cast<char*>(exe.c_str())};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~ConsoleHost() {
        if (to_ >= 0) close(to_);
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(from_);
    }

    void send(const std::string& line) {
        const std::string l = line + "\n";
        ASSERT_EQ(write(to_, l.data(), l.size()), static_cast<ssize_t>(l.size()));
    }
    void close_input() {
        close(to_);
        to_ = -1;
    }

    // The next line that starts with `prefix` (other lines are skipped).
    std::optional<std::string> line_starting(const std::string& prefix,
                                             std::chrono::milliseconds timeout = 10s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            std::size_t nl;
            while ((nl = buffer_.find('\n')) != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                if (line.rfind(prefix, 0) == 0) return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd p{from_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
            char buf[4096];
            const ssize_t n = read(from_, buf, sizeof buf);
            if (n <= 0) return std::nullopt;
            buffer_.append(buf, static_cast<std::size_t>(n));
        }
    }

    // Exit status, or -1 when it does not end in time.
    int wait_exit(std::chrono::milliseconds timeout = 10s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int to_ = -1;
    int from_ = -1;
    bool exited_ = false;
    std::string buffer_;
};

class ConsoleHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = std::filesystem::temp_directory_path() /
                ("hp-console-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(data_);
    }
    void TearDown() override { std::filesystem::remove_all(data_); }
    std::filesystem::path data_;
};

std::uint16_t port_of(const std::string& listening) {
    return static_cast<std::uint16_t>(std::stoi(listening.substr(listening.find(' ') + 1)));
}

TEST_F(ConsoleHostTest, PairListRemoveAndQuit) {
    ConsoleHost host(data_);
    auto listening = host.line_starting("listening: ");
    ASSERT_TRUE(listening);
    const std::uint16_t port = port_of(*listening);

    host.send("pair");
    auto code_line = host.line_starting("code: ");
    ASSERT_TRUE(code_line);
    const std::string code = code_line->substr(6);
    ASSERT_EQ(code.size(), 6u);
    auto link = host.line_starting("link: ");
    ASSERT_TRUE(link);
    EXPECT_NE(link->find("name=Script%20PC"), std::string::npos);
    EXPECT_NE(link->find("&code=" + code), std::string::npos);

    hp::test::TestClient client(hp::test::ClientIdentity::generate("Anna's phone"));
    ASSERT_TRUE(client.connect(port));
    auto paired = client.pair(code);
    ASSERT_TRUE(paired.ok()) << paired.detail;
    EXPECT_TRUE(host.line_starting("event: DevicePaired Anna's phone"));
    EXPECT_TRUE(host.line_starting("event: SessionOpened Anna's phone"));

    host.send("devices");
    auto device = host.line_starting("1 ");
    ASSERT_TRUE(device);
    EXPECT_EQ(*device, "1 " + client.identity().clientId + " Anna's phone online");

    // Input reaches the console's platform lines.
    hp::Bytes key{1, 4, 0, 0};
    hp::put_u64le(key, 1);
    hp::append(key, hp::Bytes{4, 0, 1, 0, 0, 0, 0, 0});
    ASSERT_TRUE(client.send_secure(hp::test::frame_type::InputCommand, key));
    EXPECT_TRUE(host.line_starting("platform: key 0x41 0x1E 0 down"));
    host.send("status");
    EXPECT_EQ(host.line_starting("status: "), "status: controlled by Anna's phone");
    host.send("endpoints");
    EXPECT_TRUE(host.line_starting("lan:"));  // the machine's own private addresses, if any
    EXPECT_TRUE(host.line_starting("tailscale:"));

    host.send("remove 1");
    auto ended = client.recv();
    ASSERT_TRUE(ended) << ended.error().text;
    EXPECT_EQ(ended->text(), "{\"reason\":\"removed_by_user\"}");
    EXPECT_TRUE(host.line_starting("event: SessionClosed Anna's phone"));

    host.send("quit");
    EXPECT_EQ(host.wait_exit(), 0);
}

// A paired client with its controller switched on.
// (The switch's line is awaited only where nothing else is printed around it.)
std::unique_ptr<hp::test::TestClient> controller_client(ConsoleHost& host, std::uint16_t port,
                                                        bool awaitSwitchLine = true) {
    host.send("pair");
    auto code_line = host.line_starting("code: ");
    EXPECT_TRUE(code_line);
    auto client = std::make_unique<hp::test::TestClient>(hp::test::ClientIdentity::generate("Pad"));
    EXPECT_TRUE(client->connect(port));
    auto paired = client->pair(code_line ? code_line->substr(6) : "");
    EXPECT_TRUE(paired.ok()) << paired.detail;
    EXPECT_TRUE(client->send_secure(hp::test::frame_type::ControllerState, std::string_view("{\"enabled\":true}")));
    if (awaitSwitchLine) {
        EXPECT_TRUE(host.line_starting("event: ControllerSwitched Pad"));
    }
    return client;
}

// PadButtons: buttons (u16), ignored u16, d-pad, left and right trigger.
hp::Bytes pad_buttons(std::uint64_t seq, std::uint16_t buttons) {
    hp::Bytes c{1, 12, 0, 0};
    hp::put_u64le(c, seq);
    hp::append(c, hp::Bytes{static_cast<std::uint8_t>(buttons), static_cast<std::uint8_t>(buttons >> 8), 0, 0,
                            0, 0, 0, 0});
    return c;
}

void send_datagram(const hp::test::TestClient& client, std::uint16_t port, const hp::Bytes& command) {
    asio::io_context io;
    asio::ip::udp::socket udp(io, asio::ip::udp::v4());
    const auto d = hp::protocol::seal_datagram(const_cast<hp::test::TestClient&>(client).channel().key, command);
    udp.send_to(asio::buffer(d), asio::ip::udp::endpoint(asio::ip::address_v4::loopback(), port));
}

TEST_F(ConsoleHostTest, WithoutADriverThePadDrivesTheMappingsKeys) {
    ConsoleHost host(data_);
    auto listening = host.line_starting("listening: ");
    ASSERT_TRUE(listening);
    const std::uint16_t port = port_of(*listening);
    auto client = controller_client(host, port);
    // A: Space in the default (shooter) mapping; over TCP down, over UDP up.
    ASSERT_TRUE(client->send_secure(hp::test::frame_type::InputCommand, pad_buttons(1, 0x001)));
    EXPECT_TRUE(host.line_starting("platform: key 0x20 0x39 0 down"));
    send_datagram(*client, port, pad_buttons(2, 0x000));
    EXPECT_TRUE(host.line_starting("platform: key 0x20 0x39 0 up"));
    EXPECT_FALSE(host.line_starting("platform: padRequest", 200ms));
    host.send("quit");
    EXPECT_EQ(host.wait_exit(), 0);
}

TEST_F(ConsoleHostTest, WithTheVirtualPadOptionThePadBecomesDeviceRequests) {
    ConsoleHost host(data_, {"--virtual-pad"});
    auto listening = host.line_starting("listening: ");
    ASSERT_TRUE(listening);
    const std::uint16_t port = port_of(*listening);
    auto client = controller_client(host, port, false);
    // The switch plugs the pad in at serial 1 (16-byte record, Microsoft's ids).
    EXPECT_TRUE(host.line_starting("platform: padRequest 0x2AA004 1000000001000000000000005e048e02"));
    // A pressed (0x1000 in the report) over TCP, released over UDP.
    ASSERT_TRUE(client->send_secure(hp::test::frame_type::InputCommand, pad_buttons(1, 0x001)));
    EXPECT_TRUE(host.line_starting("platform: padRequest 0x2AA808 1400000001000000" "00100000" "0000000000000000"));
    send_datagram(*client, port, pad_buttons(2, 0x000));
    EXPECT_TRUE(host.line_starting("platform: padRequest 0x2AA808 1400000001000000" "00000000" "0000000000000000"));
    EXPECT_FALSE(host.line_starting("platform: key", 200ms));
    host.send("quit");
    EXPECT_EQ(host.wait_exit(), 0);
}

// The connection check: every finding in its order. The firewall rows are
// this machine's own (firewalld, ufw or neither, each a fact or unknown, as
// the Linux facts' tests show with recorded answers); the host was started
// with --no-mdns, so nothing is announced.
TEST_F(ConsoleHostTest, CheckPrintsOneLinePerFinding) {
    ConsoleHost host(data_);
    ASSERT_TRUE(host.line_starting("listening: "));
    host.send("check");
    const std::pair<const char*, const char*> expected[] = {
        {"lan_address", nullptr},         {"gateway", nullptr},
        {"network_profile", nullptr},     {"firewall_program", nullptr},
        {"firewall_block_all", nullptr},  {"advertisement", "problem"},
    };
    for (const auto& [id, state] : expected) {
        const auto line = host.line_starting("check: ");
        ASSERT_TRUE(line) << id;
        const std::string head = std::string("check: ") + id + " ";
        ASSERT_EQ(line->rfind(head, 0), 0u) << *line;
        const std::string rest = line->substr(head.size());
        const std::string got = rest.substr(0, rest.find(' '));
        if (state) {
            EXPECT_EQ(got, state) << *line;
        } else {
            EXPECT_TRUE(got == "ok" || got == "problem" || got == "unknown") << *line;
        }
        EXPECT_GT(rest.size(), got.size() + 1) << "no text: " << *line;
    }
    host.send("quit");
    EXPECT_EQ(host.wait_exit(), 0);
}

TEST_F(ConsoleHostTest, EndOfInputAndSignalsExitCleanly) {
    {
        ConsoleHost host(data_);
        ASSERT_TRUE(host.line_starting("listening: "));
        host.close_input();
        EXPECT_EQ(host.wait_exit(), 0);
    }
    {
        ConsoleHost host(data_);
        ASSERT_TRUE(host.line_starting("listening: "));
        kill(host.pid(), SIGTERM);
        EXPECT_EQ(host.wait_exit(), 0);
    }
}

}  // namespace
