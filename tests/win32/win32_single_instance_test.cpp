// One host per machine, also when the running host was started by another
// user or at another integrity level (the elevated task).
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <optional>
#include <string>

#include "app/win32_single_instance.h"

namespace hp::app {
namespace {

std::wstring test_name(const wchar_t* what) {
    return L"Local\\HearthpadTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + what;
}

TEST(SingleInstance, TheFirstStartHoldsTheMutexAndASecondFindsIt) {
    const std::wstring name = test_name(L"plain");
    SingleInstance first = acquire_single_instance(name.c_str());
    ASSERT_EQ(first.outcome, InstanceOutcome::Acquired);
    ASSERT_TRUE(first.mutex);
    const SingleInstance second = acquire_single_instance(name.c_str());
    EXPECT_EQ(second.outcome, InstanceOutcome::AlreadyRunning);
    EXPECT_FALSE(second.mutex);
}

// A host whose mutex this user may not open (another user's, or a higher
// integrity level's): CreateMutexW is refused with ERROR_ACCESS_DENIED, not
// told ERROR_ALREADY_EXISTS, and a check for the latter alone would start a
// second host.
TEST(SingleInstance, AMutexThisUserIsRefusedMeansAHostRuns) {
    const std::wstring name = test_name(L"denied");
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;GA;;;WD)", SDDL_REVISION_1, &sd,
                                                                     nullptr));
    SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
    UniqueHandle other(CreateMutexW(&sa, TRUE, name.c_str()));
    LocalFree(sd);
    ASSERT_TRUE(other);

    SetLastError(ERROR_SUCCESS);
    UniqueHandle plain(CreateMutexW(nullptr, TRUE, name.c_str()));
    EXPECT_FALSE(plain);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    const SingleInstance second = acquire_single_instance(name.c_str());
    EXPECT_EQ(second.outcome, InstanceOutcome::AlreadyRunning);
}

TEST(SingleInstance, TheMutexLetsAuthenticatedUsersWaitOnIt) {
    const std::wstring name = test_name(L"descriptor");
    SingleInstance first = acquire_single_instance(name.c_str());
    ASSERT_EQ(first.outcome, InstanceOutcome::Acquired);
    // The host's own handle carries only what it needs; the descriptor is
    // read through a handle opened for it.
    UniqueHandle reader(OpenMutexW(READ_CONTROL, FALSE, name.c_str()));
    ASSERT_TRUE(reader);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetSecurityInfo(reader.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr);
    PSID authenticated = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-11", &authenticated));
    bool found = false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        if (EqualSid(const_cast<DWORD*>(&allowed->SidStart), authenticated) && (allowed->Mask & SYNCHRONIZE))
            found = true;
    }
    LocalFree(authenticated);
    LocalFree(sd);
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace hp::app

namespace hp::app {
namespace {

DWORD this_session() {
    DWORD session = 0;
    EXPECT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    return session;
}

// The access list entry of authenticated users on a named event; 0 if none.
ACCESS_MASK authenticated_users_access(const std::wstring& eventName) {
    UniqueHandle reader(OpenEventW(READ_CONTROL, FALSE, eventName.c_str()));
    EXPECT_TRUE(reader) << GetLastError();
    if (!reader) return 0;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(reader.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &sd) != ERROR_SUCCESS || !dacl)
        return 0;
    PSID authenticated = nullptr;
    ACCESS_MASK mask = 0;
    if (ConvertStringSidToSidW(L"S-1-5-11", &authenticated)) {
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (!GetAce(dacl, i, &ace)) continue;
            const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                EqualSid(const_cast<DWORD*>(&allowed->SidStart), authenticated))
                mask |= allowed->Mask;
        }
        LocalFree(authenticated);
    }
    LocalFree(sd);
    return mask;
}

// The host says where it runs: its session's event and the "published" one
// exist while it holds the mutex, every user may open them to look but not
// signal or change them, and a second start of this session reads "same"
// (and stays quiet).
TEST(HostSessionEvents, TheHostPublishesItsSessionForASecondStartToRead) {
    const std::wstring mutex = test_name(L"published");
    const std::wstring base = test_name(L"published-session");
    EXPECT_EQ(running_host_session(base.c_str()), HostSession::Unknown);  // no host yet

    SingleInstance host = acquire_single_instance(mutex.c_str(), base.c_str());
    ASSERT_EQ(host.outcome, InstanceOutcome::Acquired);
    EXPECT_TRUE(host.sessionEvent && host.publishedEvent);
    const std::wstring own = host_session_marker_name(base, this_session());
    EXPECT_TRUE(UniqueHandle(OpenEventW(SYNCHRONIZE, FALSE, own.c_str())));
    EXPECT_TRUE(UniqueHandle(OpenEventW(SYNCHRONIZE, FALSE, base.c_str())));
    EXPECT_EQ(authenticated_users_access(own), static_cast<ACCESS_MASK>(SYNCHRONIZE));
    EXPECT_EQ(authenticated_users_access(base), static_cast<ACCESS_MASK>(SYNCHRONIZE));

    const SingleInstance second = acquire_single_instance(mutex.c_str(), base.c_str());
    EXPECT_EQ(second.outcome, InstanceOutcome::AlreadyRunning);
    EXPECT_FALSE(second.sessionEvent || second.publishedEvent);
    EXPECT_EQ(running_host_session(base.c_str()), HostSession::Same);
    EXPECT_EQ(second_start_message(running_host_session(base.c_str())), std::nullopt);
}

// Wine has one session: a host of another one is played by its events,
// made as a host of session <this + 1> makes them.
TEST(HostSessionEvents, AHostOfAnotherSessionIsReadAsAnotherUsers) {
    const std::wstring base = test_name(L"other-session");
    const std::wstring other = host_session_marker_name(base, this_session() + 1);
    UniqueHandle otherSession(CreateEventW(nullptr, TRUE, FALSE, other.c_str()));
    UniqueHandle published(CreateEventW(nullptr, TRUE, FALSE, base.c_str()));
    ASSERT_TRUE(otherSession && published);
    EXPECT_EQ(running_host_session(base.c_str()), HostSession::Other);
    EXPECT_EQ(second_start_message(HostSession::Other),
              std::optional<std::string>("Hearthpad is already running for another user of this PC."));
}

}  // namespace
}  // namespace hp::app
