#pragma once
// The Ctrl+Alt+Del helper's pipe. The helper is a service running as
// LocalSystem (set up by the installer), the one kind of process for which
// SendSAS works without uiAccess. A client connects, writes
// kSasHelperRequest, and reads the answer: kSasHelperSent when the service
// called SendSAS(FALSE); anything else, or the pipe closing, means it did not.
#include <string_view>

namespace hp::platform {

inline constexpr wchar_t kSasHelperPipe[] = L"\\\\.\\pipe\\HearthpadSas";
inline constexpr std::string_view kSasHelperRequest = "SendSAS";
inline constexpr std::string_view kSasHelperSent = "sent";

}  // namespace hp::platform
