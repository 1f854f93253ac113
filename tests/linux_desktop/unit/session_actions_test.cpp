// Lock, brightness and keep-awake against stand-ins for logind and the screen
// saver on private buses (one dbus-daemon as the session bus, one as the
// system bus), and the failure each gives when its bus or service is absent.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/dbus/session_actions.h"

namespace hp::platform::dbus {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string read_all(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return pred();
}

// dbus-daemon --fork prints the daemon's pid.
pid_t start_daemon(const fs::path& socket) {
    const std::string command =
        "dbus-daemon --session --address=unix:path=" + socket.string() + " --print-pid --fork";
    FILE* out = popen(command.c_str(), "r");
    if (!out) return -1;
    long pid = -1;
    if (std::fscanf(out, "%ld", &pid) != 1) pid = -1;
    pclose(out);
    return static_cast<pid_t>(pid);
}

class SessionActionsOnPrivateBuses : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("hp_session_actions_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "backlight" / "intel_backlight");
        std::ofstream(dir_ / "backlight" / "intel_backlight" / "brightness") << "500\n";
        std::ofstream(dir_ / "backlight" / "intel_backlight" / "max_brightness") << "1000\n";
        sessionPid_ = start_daemon(dir_ / "session");
        systemPid_ = start_daemon(dir_ / "system");
        ASSERT_GT(sessionPid_, 0);
        ASSERT_GT(systemPid_, 0);
        log_ = dir_ / "calls.jsonl";
        standins_ = fork();
        if (standins_ == 0) {
            const std::string script = std::string(HP_LINUX_DESKTOP_TEST_DIR) + "/standins.py";
            const std::string session = address(dir_ / "session"), system = address(dir_ / "system");
            execl("/usr/bin/python3", "python3", script.c_str(), "--log", log_.c_str(), "--session",
                  session.c_str(), "--system", system.c_str(), "--screensaver", "--logind", nullptr);
            _exit(127);
        }
        ASSERT_TRUE(eventually([&] { return read_all(log_).find("\"ready\"") != std::string::npos; }, 30s))
            << "the stand-ins did not start";
    }
    void TearDown() override {
        if (standins_ > 0) {
            kill(standins_, SIGTERM);
            waitpid(standins_, nullptr, 0);
        }
        if (sessionPid_ > 0) kill(sessionPid_, SIGTERM);
        if (systemPid_ > 0) kill(systemPid_, SIGTERM);
        std::error_code e;
        fs::remove_all(dir_, e);
    }
    static std::string address(const fs::path& socket) { return "unix:path=" + socket.string(); }
    SessionActionsOptions options(std::chrono::milliseconds hold = 300ms) {
        SessionActionsOptions o;
        o.backlightFolder = dir_ / "backlight";
        o.keepAwakeHold = hold;
        o.systemBus = [a = address(dir_ / "system")] { return Bus::at(a); };
        o.sessionBus = [a = address(dir_ / "session")] { return Bus::at(a); };
        return o;
    }
    std::string calls() { return read_all(log_); }

    fs::path dir_, log_;
    pid_t sessionPid_ = -1, systemPid_ = -1, standins_ = -1;
};

TEST_F(SessionActionsOnPrivateBuses, LockAndBrightnessReachLogind) {
    SessionActions actions(options());
    ASSERT_TRUE(actions.lock());
    const auto up = actions.step_brightness(true);
    ASSERT_TRUE(up) << up.error().text;
    EXPECT_EQ(*up, 600u);
    std::ofstream(dir_ / "backlight" / "intel_backlight" / "brightness") << "50\n";
    const auto down = actions.step_brightness(false);
    ASSERT_TRUE(down) << down.error().text;
    EXPECT_EQ(*down, 0u);
    const std::string log = calls();
    EXPECT_NE(log.find("{\"call\": \"Lock\"}"), std::string::npos) << log;
    EXPECT_NE(log.find("\"subsystem\": \"backlight\", \"name\": \"intel_backlight\", \"value\": 600"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\"name\": \"intel_backlight\", \"value\": 0"), std::string::npos) << log;
}

TEST_F(SessionActionsOnPrivateBuses, KeepAwakeInhibitsWhileInputFlowsAndReleasesAfterThePause) {
    SessionActions actions(options(400ms));
    EXPECT_FALSE(actions.inhibited());
    actions.keep_awake();
    ASSERT_TRUE(eventually([&] { return actions.inhibited(); })) << actions.keep_awake_status().error().text;
    // Input keeps coming for longer than the hold: one inhibition throughout.
    for (int i = 0; i < 8; ++i) {
        std::this_thread::sleep_for(100ms);
        actions.keep_awake();
        EXPECT_TRUE(actions.inhibited());
    }
    ASSERT_TRUE(eventually([&] { return !actions.inhibited(); }));
    EXPECT_TRUE(actions.keep_awake_status());
    const std::string log = calls();
    EXPECT_NE(log.find("\"call\": \"Inhibit\", \"app\": \"Hearthpad\""), std::string::npos) << log;
    EXPECT_NE(log.find("{\"call\": \"UnInhibit\", \"cookie\": 7}"), std::string::npos) << log;
    EXPECT_EQ(log.find("\"cookie\": 8"), std::string::npos) << "inhibited twice: " << log;
}

TEST_F(SessionActionsOnPrivateBuses, EndingWhileInhibitedReleasesTheInhibition) {
    {
        SessionActions actions(options(std::chrono::minutes(5)));
        actions.keep_awake();
        ASSERT_TRUE(eventually([&] { return actions.inhibited(); }));
    }
    EXPECT_NE(calls().find("\"UnInhibit\""), std::string::npos);
}

TEST_F(SessionActionsOnPrivateBuses, AbsentBusesAndServicesAreFailuresWithTheirReason) {
    struct Case {
        const char* what;
        std::string systemAddress, sessionAddress;
        const char* reason;
    };
    const std::string nowhere = address(dir_ / "no-such-bus");
    // The session daemon has no logind; the system daemon no screen saver.
    const Case cases[] = {
        {"no buses", nowhere, nowhere, "Could not connect"},
        {"no services", address(dir_ / "session"), address(dir_ / "system"), "ServiceUnknown"},
    };
    for (const auto& c : cases) {
        SessionActionsOptions o = options();
        o.systemBus = [a = c.systemAddress] { return Bus::at(a); };
        o.sessionBus = [a = c.sessionAddress] { return Bus::at(a); };
        SessionActions actions(o);
        const auto locked = actions.lock();
        ASSERT_FALSE(locked) << c.what;
        EXPECT_NE(locked.error().text.find(c.reason), std::string::npos) << c.what << ": " << locked.error().text;
        const auto stepped = actions.step_brightness(true);
        ASSERT_FALSE(stepped) << c.what;
        EXPECT_NE(stepped.error().text.find(c.reason), std::string::npos) << stepped.error().text;
        actions.keep_awake();
        ASSERT_TRUE(eventually([&] { return !actions.keep_awake_status(); })) << c.what;
        EXPECT_NE(actions.keep_awake_status().error().text.find(c.reason), std::string::npos)
            << actions.keep_awake_status().error().text;
        EXPECT_FALSE(actions.inhibited());
    }
}

TEST_F(SessionActionsOnPrivateBuses, NoBacklightIsAFailureBeforeAnyCall) {
    SessionActionsOptions o = options();
    o.backlightFolder = dir_ / "absent";
    SessionActions actions(o);
    const auto stepped = actions.step_brightness(true);
    ASSERT_FALSE(stepped);
    EXPECT_NE(stepped.error().text.find("No display backlight"), std::string::npos);
    EXPECT_EQ(calls().find("SetBrightness"), std::string::npos);
}

}  // namespace
}  // namespace hp::platform::dbus
