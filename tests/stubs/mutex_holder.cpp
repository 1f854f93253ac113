// Holds a named mutex the way a running host holds its single-instance
// mutex, without any window: what a setup program sees of a host running in
// another user's session. Usage: mutex_holder.exe <name> <milliseconds>.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    HANDLE mutex = CreateMutexW(nullptr, TRUE, argv[1]);
    if (!mutex) return 3;
    Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return 0;
}
