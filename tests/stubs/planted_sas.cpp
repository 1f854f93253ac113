// A sas.dll that no test may ever load: the tests plant it beside the test
// program and in the current folder, where a user-writable folder would let
// anyone put a DLL of that name, and check that the host takes the system's
// own instead. It offers SendSAS like the real one, doing nothing.
#include <windows.h>

extern "C" __declspec(dllexport) VOID WINAPI SendSAS(BOOL) {}
