// The window-free rules of hearthpad.exe's start-up: once-only marker files
// and the code each host event is posted with.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/win32_first_run.h"
#include "app/win32_messages.h"
#include "platform/fake/fake_process_runner.h"
#include "platform/fake/fake_user_registry.h"

namespace hp::app {
namespace {

namespace fs = std::filesystem;
using host::HostEventKind;
using host::host_event_name;

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "hp-first-run-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path root_;
};

using MarkerFiles = ScratchDir;

TEST_F(MarkerFiles, FirstClaimCreatesEveryLevelAndWritesOneLaterClaimsDecline) {
    const fs::path dir = root_ / "a" / "b" / "Hearthpad";
    for (std::string_view name : {kVigemNotifiedMarker, kStartupPromptedMarker}) {
        EXPECT_TRUE(claim_marker(dir, name)) << name;
        EXPECT_EQ(read(dir / name), "1") << name;
        EXPECT_FALSE(claim_marker(dir, name)) << name;
    }
    EXPECT_FALSE(fs::exists(dir / "vigem_notified.tmp"));
    EXPECT_FALSE(fs::exists(dir / "startup_prompted.tmp"));
}

TEST_F(MarkerFiles, AnExistingMarkerIsLeftAsItIs) {
    std::ofstream(root_ / "startup_prompted") << "anything";
    EXPECT_FALSE(claim_marker(root_, kStartupPromptedMarker));
    EXPECT_EQ(read(root_ / "startup_prompted"), "anything");
}

// A failed write does not stop the notice; it may only come again next run.
TEST_F(MarkerFiles, DataDirectoryThatIsAFileClaimsWithoutWriting) {
    const fs::path file = root_ / "not-a-dir";
    std::ofstream(file) << "x";
    EXPECT_FALSE(write_marker(file, kVigemNotifiedMarker));
    EXPECT_TRUE(claim_marker(file, kVigemNotifiedMarker));
    EXPECT_EQ(read(file), "x");
}

TEST_F(MarkerFiles, VigemNoticeIsDueOnlyWhenTheDriverIsMissingAndOnlyOnce) {
    EXPECT_FALSE(claim_vigem_notice(root_, false));
    EXPECT_FALSE(fs::exists(root_ / "vigem_notified"));
    EXPECT_TRUE(claim_vigem_notice(root_, true));
    EXPECT_FALSE(claim_vigem_notice(root_, true));
}

class LoginQuestion : public ScratchDir {
protected:
    std::shared_ptr<fake::FakeUserRegistry> registry_ = std::make_shared<fake::FakeUserRegistry>();
    std::shared_ptr<fake::FakeProcessRunner> runner_ = std::make_shared<fake::FakeProcessRunner>();
    startup::StartAtLogin startAtLogin_{
        {registry_, runner_, nullptr, "C:\\Apps\\hp.exe"}};
    std::vector<std::string> shown_;  // "question: <caption>" / "warning: <caption>: <text>"
    bool answer_ = false;
    bool markerWhenAsked_ = false;

    bool ask() {
        LoginQuestionBoxes boxes;
        boxes.askYesNo = [this](const std::string& text, const std::string& caption) {
            EXPECT_EQ(text, startup::login_question_text("hp"));
            markerWhenAsked_ = fs::exists(root_ / "startup_prompted");
            shown_.push_back("question: " + caption);
            return answer_;
        };
        boxes.warn = [this](const std::string& text, const std::string& caption) {
            shown_.push_back("warning: " + caption + ": " + text);
        };
        return ask_start_at_login_once(root_, startAtLogin_, "hp", boxes);
    }
};

TEST_F(LoginQuestion, AskedOnceWithTheMarkerWrittenFirstAndNoChangesNothing) {
    EXPECT_TRUE(ask());
    EXPECT_EQ(shown_, std::vector<std::string>{"question: hp"});
    EXPECT_TRUE(markerWhenAsked_);
    EXPECT_EQ(read(root_ / "startup_prompted"), "1");
    EXPECT_EQ(registry_->writes(), 0);
    // schtasks.exe was asked about the task ("not found" here: no task).
    ASSERT_EQ(runner_->requests().size(), 1u);
    EXPECT_FALSE(ask());
    EXPECT_EQ(shown_.size(), 1u);
}

TEST_F(LoginQuestion, YesWritesTheStartEntry) {
    answer_ = true;
    EXPECT_TRUE(ask());
    EXPECT_TRUE(startAtLogin_.start_entry_enabled());
    EXPECT_EQ(shown_, std::vector<std::string>{"question: hp"});
}

TEST_F(LoginQuestion, AFailedWriteIsFollowedByTheWarning) {
    answer_ = true;
    registry_->refuse_writes(startup::kRunKey);
    EXPECT_TRUE(ask());
    EXPECT_EQ(shown_, (std::vector<std::string>{"question: hp", "warning: hp: " + startup::login_failure_text("hp")}));
}

TEST_F(LoginQuestion, NotAskedWhenTheEntryOrTheTaskExistsButTheMarkerIsWritten) {
    ASSERT_TRUE(startAtLogin_.set_start_entry(true));
    EXPECT_FALSE(ask());
    EXPECT_TRUE(fs::exists(root_ / "startup_prompted"));
    fs::remove(root_ / "startup_prompted");
    ASSERT_TRUE(startAtLogin_.set_start_entry(false));
    runner_->push(platform::ProcessOutcome{0, {}, false});  // the task exists
    EXPECT_FALSE(ask());
    EXPECT_TRUE(shown_.empty());
    EXPECT_TRUE(fs::exists(root_ / "startup_prompted"));
}

TEST(StartFailureText, PrefixesTheErrorText) {
    EXPECT_EQ(start_failure_text(Error{"no free port"}), "Hearthpad could not start: no free port");
}

TEST(HostEventCodes, PairingEventsHaveTheirOwnCodesEverythingElseIsThree) {
    struct Case {
        HostEventKind kind;
        std::uintptr_t code;
    };
    const Case cases[] = {
        {HostEventKind::DevicePaired, 1},        {HostEventKind::PairingCodeRevoked, 2},
        {HostEventKind::SessionOpened, 3},       {HostEventKind::SessionClosed, 3},
        {HostEventKind::ControllerSwitched, 3},  {HostEventKind::PairedDevicesChanged, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<std::uintptr_t>(host_event_code(c.kind)), c.code) << host_event_name(c.kind);
    EXPECT_EQ(WM_TRAY_ICON, 0x8001u);
    EXPECT_EQ(WM_HOST_EVENT, 0x8002u);
}

// A host that an elevated task or another user started holds a mutex this
// process may be refused: that is "already running" too, never a second host.
TEST(SingleInstance, WhatTheMutexCallSays) {
    struct Case {
        bool gotHandle;
        unsigned long error;
        InstanceOutcome outcome;
    };
    const Case cases[] = {
        {true, 0, InstanceOutcome::Acquired},
        {true, 183, InstanceOutcome::AlreadyRunning},  // opened the running host's mutex
        {false, 5, InstanceOutcome::AlreadyRunning},   // refused: created by another user or level
        {false, 1450, InstanceOutcome::Unprotected},   // any other failure: run unguarded
    };
    for (const auto& c : cases)
        EXPECT_EQ(single_instance_outcome(c.gotHandle, c.error), c.outcome) << c.gotHandle << " " << c.error;
}

// Wine keeps no integrity labels, so the label is checked here: medium, no
// write up, so medium processes can open a mutex an elevated host made; and
// authenticated users may wait on it.
TEST(SingleInstance, TheMutexDescriptorLetsEveryUserWaitAndCarriesAMediumLabel) {
    const std::wstring sddl = kSingletonMutexSddl;
    EXPECT_NE(sddl.find(L"(A;;0x00100000;;;AU)"), std::wstring::npos);
    EXPECT_TRUE(sddl.ends_with(L"S:(ML;;NW;;;ME)"));
    EXPECT_EQ(std::wstring(kSingletonMutexName), L"Global\\HearthpadHostSingletonMutex");
}

}  // namespace
}  // namespace hp::app
