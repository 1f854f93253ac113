#pragma once
// What the Ctrl+Alt+Del routine asks of the operating system. Windows
// generates the secure attention sequence (SendSAS in sas.dll) only for a
// service or for a program whose token has uiAccess; any other caller,
// elevated or not, calls it without effect and is told nothing. So the
// routine first asks who can send the sequence for this process, and reports
// it sent only when that sender says it did.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace hp::platform {

enum class SasSender {
    None,           // no helper service, and this process may not call SendSAS
    Service,        // a LocalSystem service: the installer's Ctrl+Alt+Del helper, or this process running as LocalSystem
    Accessibility,  // this process itself, through a token with uiAccess
};

class SasSystem {
public:
    virtual ~SasSystem() = default;
    // The SoftwareSASGeneration policy value; nothing when it cannot be read.
    virtual std::optional<std::uint32_t> readPolicy() = 0;
    // Who can generate the sequence for this process now.
    virtual SasSender sender() = 0;
    // Has `sender` generate the sequence; true only when it reports that it
    // did (false at once for SasSender::None).
    virtual bool sendSas(SasSender sender) = 0;
};

// The Ctrl+Alt+Del helper's pipe (platform/win32/sas_helper.h names it), as
// the host and the helper service both speak it: the client writes the one
// request byte, the service answers with one status byte and disconnects.
// Only kSasHelperSent means the service called SendSAS; any other byte, no
// byte, more than one byte or a closed pipe is "not sent". The bytes are
// letters so that a trace of the pipe is readable, and none is zero, so a
// buffer that was never filled never reads as an answer.
inline constexpr std::uint8_t kSasHelperRequest = 'S';

enum class SasHelperStatus : std::uint8_t {
    Sent = 's',        // SendSAS(FALSE) was called for the client's session
    Refused = 'r',     // the client is not in the active console session (or a session is unknown)
    Failed = 'f',      // SendSAS could not be called (sas.dll or the function missing, impersonation failed)
    BadRequest = 'b',  // the request was not exactly the one request byte
};

// What the host makes of the bytes the service answered with.
constexpr bool sas_helper_answer_is_sent(std::span<const std::uint8_t> answer) {
    return answer.size() == 1 && answer[0] == static_cast<std::uint8_t>(SasHelperStatus::Sent);
}

}  // namespace hp::platform
