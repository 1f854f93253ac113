// ViGEmBus through SetupAPI device-interface enumeration and overlapped
// DeviceIoControl requests, each waited for with a bound (overlapped_wait.h).
#include "platform/win32/win32_system.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "base/atomic_file.h"
#include "platform/win32/overlapped_wait.h"
#include "platform/win32/text.h"

namespace hp::platform {

namespace {

// The ViGEmBus device interface class {96E42B22-F5E9-42F8-B043-ED0F932F014F}.
constexpr GUID kBusInterface = {0x96E42B22, 0xF5E9, 0x42F8, {0xB0, 0x43, 0xED, 0x0F, 0x93, 0x2F, 0x01, 0x4F}};
constexpr DWORD kDetailBufferSize = 3072;

class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : h_(h) {}
    Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(Handle&&) = delete;
    ~Handle() { reset(); }
    void reset() {
        if (valid()) CloseHandle(h_);
        h_ = nullptr;
    }
    bool valid() const { return h_ && h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

class DeviceInfoList {
public:
    explicit DeviceInfoList(HDEVINFO list) : list_(list) {}
    DeviceInfoList(const DeviceInfoList&) = delete;
    DeviceInfoList& operator=(const DeviceInfoList&) = delete;
    ~DeviceInfoList() {
        if (valid()) SetupDiDestroyDeviceInfoList(list_);
    }
    bool valid() const { return list_ != INVALID_HANDLE_VALUE; }
    HDEVINFO get() const { return list_; }

private:
    HDEVINFO list_;
};

// An opened bus device with the auto-reset event its requests complete on.
class BusDevice final : public VirtualPadDevice {
public:
    BusDevice(Handle device, Handle event)
        : device_(std::move(device)), event_(std::move(event)), io_(std::make_unique<Io>()) {}
    BusDevice(const BusDevice&) = delete;
    BusDevice& operator=(const BusDevice&) = delete;
    ~BusDevice() override {
        // A request that never completed may still be written by the system
        // (its OVERLAPPED and buffers): that block is left to the process
        // rather than freed under the system's hands.
        if (stranded_) static_cast<void>(io_.release());
    }

    PadReply request(std::uint32_t code, ByteView input, std::size_t outputSize,
                     std::chrono::milliseconds bound) override {
        if (!device_.valid()) return {ERROR_INVALID_HANDLE, {}};
        if (input.size() > std::numeric_limits<DWORD>::max() || outputSize > std::numeric_limits<DWORD>::max())
            return {ERROR_INVALID_PARAMETER, {}};
        Io& io = *io_;
        io.input.assign(input.begin(), input.end());
        io.output.assign(outputSize, 0);
        io.overlapped = OVERLAPPED{};
        io.overlapped.hEvent = event_.get();
        if (!DeviceIoControl(device_.get(), code, io.input.empty() ? nullptr : io.input.data(),
                             static_cast<DWORD>(io.input.size()), io.output.empty() ? nullptr : io.output.data(),
                             static_cast<DWORD>(io.output.size()), nullptr, &io.overlapped)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) return {error, {}};
        }
        // Plug and Play may take seconds to set a new target up, and a driver
        // may never answer at all: the wait is bounded, the request cancelled
        // after the bound and waited for until it has completed.
        const OverlappedOutcome outcome = wait_overlapped(device_.get(), io.overlapped, bound);
        if (!outcome.completed) {
            // Not even the cancelled request completes. Closing the device's
            // last handle makes the I/O manager send the driver the cleanup
            // request, on which it must complete whatever is still pending
            // for this handle; the device is not used again.
            device_.reset();
            if (!wait_completed(io.overlapped, kCancelGrace)) stranded_ = true;
            return {ERROR_TIMEOUT, {}};
        }
        if (outcome.error != 0) return {outcome.error, {}};
        Bytes output = std::move(io.output);
        output.resize(std::min<std::size_t>(outcome.transferred, output.size()));
        return {0, std::move(output)};
    }

private:
    // What the system may write while a request is pending.
    struct Io {
        OVERLAPPED overlapped{};
        Bytes input;
        Bytes output;
    };

    Handle device_;
    Handle event_;
    std::unique_ptr<Io> io_;
    bool stranded_ = false;
};

std::string failure(const char* what, DWORD error) {
    return std::string("ViGEmBus: ") + what + " (" + os_error_text(error) + ")";
}

class SetupApiBus final : public VirtualPadBus {
public:
    Result<std::unique_ptr<VirtualPadDevice>> open(std::uint32_t probeCode, ByteView probeInput) override {
        DeviceInfoList list(SetupDiGetClassDevsW(&kBusInterface, nullptr, nullptr,
                                                 DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
        if (!list.valid()) return fail(failure("the device list could not be read", GetLastError()));

        std::string last = "ViGEmBus is not installed";
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, &kBusInterface, index, &data)) break;

            alignas(SP_DEVICE_INTERFACE_DETAIL_DATA_W) std::array<std::uint8_t, kDetailBufferSize> buffer{};
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            if (!SetupDiGetDeviceInterfaceDetailW(list.get(), &data, detail, kDetailBufferSize, nullptr, nullptr)) {
                last = failure("the device interface could not be read", GetLastError());
                continue;
            }
            HANDLE device = CreateFileW(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH |
                                            FILE_FLAG_OVERLAPPED,
                                        nullptr);
            if (device == INVALID_HANDLE_VALUE) {
                last = failure("the device could not be opened", GetLastError());
                continue;
            }
            Handle ownedDevice(device);
            // Auto-reset, not signalled: the event of every request on this device.
            Handle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
            if (!event.valid()) {
                last = failure("no event for the device", GetLastError());
                continue;
            }
            auto candidate = std::make_unique<BusDevice>(std::move(ownedDevice), std::move(event));
            const PadReply reply = candidate->request(probeCode, probeInput, 0, kPadRequestBound);
            if (reply.ok()) return candidate;
            last = failure("the version check was refused", reply.error);
        }
        return fail(last);
    }
};

}  // namespace

std::shared_ptr<VirtualPadBus> make_virtual_pad_bus() { return std::make_shared<SetupApiBus>(); }

}  // namespace hp::platform
