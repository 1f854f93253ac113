#pragma once
// What the Ctrl+Alt+Del routine asks of the operating system.
#include <cstdint>
#include <memory>
#include <optional>

namespace hp::platform {

class SasSystem {
public:
    virtual ~SasSystem() = default;
    // The SoftwareSASGeneration policy value; nothing when it cannot be read.
    virtual std::optional<std::uint32_t> readPolicy() = 0;
    // True when the process token is elevated.
    virtual bool isElevated() = 0;
    // Loads sas.dll, finds SendSAS and calls it; false when either is missing.
    virtual bool sendSas() = 0;
};

}  // namespace hp::platform
