#include "platform/dbus/bus.h"

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstring>

namespace hp::platform::dbus {

std::string error_text(std::string_view what, int r, const sd_bus_error* error) {
    std::string text(what);
    text += ": ";
    if (error && sd_bus_error_is_set(error)) {
        text += error->name ? error->name : "";
        if (error->message) {
            text += " (";
            text += error->message;
            text += ")";
        }
        return text;
    }
    text += std::strerror(r < 0 ? -r : r);
    return text;
}

Result<Bus> Bus::session() {
    sd_bus* raw = nullptr;
    const int r = sd_bus_open_user(&raw);
    if (r < 0) return fail(error_text("Could not connect to the session bus", r));
    return Bus(raw);
}

Result<Bus> Bus::system() {
    sd_bus* raw = nullptr;
    const int r = sd_bus_open_system(&raw);
    if (r < 0) return fail(error_text("Could not connect to the system bus", r));
    return Bus(raw);
}

Result<Bus> Bus::at(const std::string& address) {
    sd_bus* raw = nullptr;
    int r = sd_bus_new(&raw);
    if (r < 0) return fail(error_text("Could not connect to " + address, r));
    Bus bus(raw);
    if ((r = sd_bus_set_address(raw, address.c_str())) < 0 || (r = sd_bus_set_bus_client(raw, 1)) < 0 ||
        (r = sd_bus_start(raw)) < 0)
        return fail(error_text("Could not connect to " + address, r));
    return bus;
}

std::string Bus::unique_name() const {
    const char* name = nullptr;
    if (sd_bus_get_unique_name(bus_.get(), &name) < 0 || !name) return {};
    return name;
}

int Bus::fd() const { return sd_bus_get_fd(bus_.get()); }

short Bus::events() const {
    const int e = sd_bus_get_events(bus_.get());
    return static_cast<short>(e < 0 ? POLLIN : e);
}

int Bus::timeout_ms() const {
    std::uint64_t usec = 0;
    if (sd_bus_get_timeout(bus_.get(), &usec) < 0 || usec == UINT64_MAX) return -1;
    // sd_bus_get_timeout gives an absolute CLOCK_MONOTONIC time.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t nowUsec =
        static_cast<std::uint64_t>(now.tv_sec) * 1'000'000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
    if (usec <= nowUsec) return 0;
    const std::uint64_t ms = (usec - nowUsec + 999) / 1000;
    return ms > 60'000 ? 60'000 : static_cast<int>(ms);
}

Status Bus::process() {
    for (;;) {
        const int r = sd_bus_process(bus_.get(), nullptr);
        if (r < 0) return fail(error_text("D-Bus connection lost", r));
        if (r == 0) return {};
    }
}

Status Bus::request_name(const std::string& name) {
    const int r = sd_bus_request_name(bus_.get(), name.c_str(), 0);
    if (r < 0) return fail(error_text("Could not own the name " + name, r));
    return {};
}

Result<MessagePtr> call(Bus& bus, const char* destination, const char* path, const char* interface,
                        const char* member, const std::function<int(sd_bus_message*)>& fill,
                        std::uint64_t timeoutUsec) {
    sd_bus_message* rawCall = nullptr;
    int r = sd_bus_message_new_method_call(bus.get(), &rawCall, destination, path, interface, member);
    if (r < 0) return fail(error_text(std::string("Could not call ") + member, r));
    MessagePtr message(rawCall);
    if (fill) {
        r = fill(message.get());
        if (r < 0) return fail(error_text(std::string("Could not call ") + member, r));
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* rawReply = nullptr;
    r = sd_bus_call(bus.get(), message.get(), timeoutUsec, &error, &rawReply);
    if (r < 0) {
        std::string text = error_text(std::string(interface) + "." + member + " failed", r, &error);
        sd_bus_error_free(&error);
        return fail(std::move(text));
    }
    return MessagePtr(rawReply);
}

}  // namespace hp::platform::dbus
