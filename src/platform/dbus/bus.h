#pragma once
// A D-Bus connection over sd-bus (libsystemd), owned. sd-bus objects are not
// thread-safe: a connection is used by one thread at a time. The desktop
// program's main loop polls fd() for events() until timeout_ms() and then
// calls process(); helpers that block (call) are for connections of their own.
#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/result.h"

namespace hp::platform::dbus {

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct SlotCloser {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
struct MessageCloser {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotCloser>;
using MessagePtr = std::unique_ptr<sd_bus_message, MessageCloser>;

// "what: the bus's error name and message" (or the errno text).
std::string error_text(std::string_view what, int r, const sd_bus_error* error = nullptr);

class Bus {
public:
    // The user's session bus (DBUS_SESSION_BUS_ADDRESS) and the system bus
    // (DBUS_SYSTEM_BUS_ADDRESS, else the standard socket).
    static Result<Bus> session();
    static Result<Bus> system();
    // A bus at an explicit address ("unix:path=...").
    static Result<Bus> at(const std::string& address);

    sd_bus* get() const { return bus_.get(); }
    std::string unique_name() const;

    // For a poll loop.
    int fd() const;
    short events() const;
    int timeout_ms() const;  // -1: no deadline
    // Handles every pending message (method calls, signals, replies) without
    // blocking; an error means the connection is gone.
    Status process();

    // Asks for a well-known name, without queueing; fails when another
    // connection owns it.
    Status request_name(const std::string& name);

private:
    explicit Bus(sd_bus* bus) : bus_(bus) {}
    std::unique_ptr<sd_bus, BusCloser> bus_;
};

// A method call without arguments and without an interesting reply, or the
// reply to one with arguments made by `fill`; waits up to `timeoutUsec`.
Result<MessagePtr> call(Bus& bus, const char* destination, const char* path, const char* interface,
                        const char* member, const std::function<int(sd_bus_message*)>& fill = {},
                        std::uint64_t timeoutUsec = 5'000'000);

}  // namespace hp::platform::dbus
