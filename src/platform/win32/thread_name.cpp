#include "platform/thread_name.h"

#include <windows.h>

#include "platform/win32/text.h"

namespace hp::platform {

void name_this_thread(std::string_view name) {
    // SetThreadDescription exists from Windows 10 1607 on: looked up at run
    // time so the program also starts where it is missing.
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return;
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    auto set = reinterpret_cast<SetDescription>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetThreadDescription")));
    const auto wide = win32::to_wide(name);
    if (set && wide) (void)set(GetCurrentThread(), wide->c_str());
}

}  // namespace hp::platform
