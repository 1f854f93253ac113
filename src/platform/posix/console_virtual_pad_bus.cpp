#include "platform/posix/console_virtual_pad_bus.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace hp::platform {

namespace {

constexpr std::uint32_t kPlugInCode = 0x2AA004;
constexpr std::uint32_t kSerialTaken = 548;  // ERROR_DEVICE_ALREADY_ATTACHED

// Shared by the bus and its devices, so lines from different devices never
// interleave.
struct Printer {
    std::ostream& out;
    ConsolePadBusOptions options;
    std::mutex mutex;

    PadReply request(std::uint32_t code, ByteView input, std::size_t outputSize) {
        static constexpr char kHex[] = "0123456789abcdef";
        char head[48];
        std::snprintf(head, sizeof head, "platform: padRequest 0x%06X ", static_cast<unsigned>(code));
        std::string line = head;
        for (std::uint8_t b : input) {
            line.push_back(kHex[b >> 4]);
            line.push_back(kHex[b & 15]);
        }
        line.push_back('\n');
        {
            std::lock_guard lock(mutex);
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
            out.flush();
        }
        if (code == kPlugInCode && input.size() >= 8 && get_u32le(input.data() + 4) < options.firstFreeSerial)
            return {kSerialTaken, {}};
        return {0, Bytes(outputSize, 0)};
    }
};

class ConsoleDevice final : public VirtualPadDevice {
public:
    explicit ConsoleDevice(std::shared_ptr<Printer> printer) : printer_(std::move(printer)) {}
    PadReply request(std::uint32_t code, ByteView input, std::size_t outputSize,
                     std::chrono::milliseconds) override {
        return printer_->request(code, input, outputSize);
    }

private:
    std::shared_ptr<Printer> printer_;
};

class ConsoleBus final : public VirtualPadBus {
public:
    ConsoleBus(std::ostream& out, ConsolePadBusOptions options)
        : printer_(std::make_shared<Printer>(out, options)) {}
    Result<std::unique_ptr<VirtualPadDevice>> open(std::uint32_t probeCode, ByteView probeInput) override {
        auto device = std::make_unique<ConsoleDevice>(printer_);
        const PadReply reply = device->request(probeCode, probeInput, 0, kPadRequestBound);
        if (!reply.ok()) return fail("ViGEmBus refused the version check (error " + std::to_string(reply.error) + ")");
        return device;
    }

private:
    std::shared_ptr<Printer> printer_;
};

}  // namespace

std::shared_ptr<VirtualPadBus> make_console_virtual_pad_bus(std::ostream& out, ConsolePadBusOptions options) {
    return std::make_shared<ConsoleBus>(out, options);
}

}  // namespace hp::platform
