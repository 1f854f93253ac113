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

}  // namespace hp::platform
