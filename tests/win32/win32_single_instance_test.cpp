// One host per machine, also when the running host was started by another
// user or at another integrity level (the elevated task).
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

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
