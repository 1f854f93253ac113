#include "platform/dbus/desktop_services.h"

#include <cstring>

namespace hp::platform::dbus {

// --- notifications ------------------------------------------------------------

namespace {

using NotifyDone = std::function<void(Result<std::uint32_t>)>;

int notify_reply(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto& done = *static_cast<NotifyDone*>(userdata);
    if (!done) return 0;
    if (const sd_bus_error* error = sd_bus_message_get_error(m)) {
        done(fail(error_text("The notification was not shown", -EIO, error)));
        return 0;
    }
    std::uint32_t id = 0;
    const int r = sd_bus_message_read(m, "u", &id);
    if (r < 0) {
        done(fail(error_text("The notification server answered oddly", r)));
        return 0;
    }
    done(id);
    return 0;
}

void free_notify_done(void* userdata) { std::unique_ptr<NotifyDone>(static_cast<NotifyDone*>(userdata)); }

}  // namespace

void notify(Bus& bus, const Notification& n, std::function<void(Result<std::uint32_t>)> done) {
    auto held = std::make_unique<NotifyDone>(std::move(done));
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus.get(), &raw, "org.freedesktop.Notifications",
                                           "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                           "Notify");
    MessagePtr call(raw);
    if (r >= 0)
        r = sd_bus_message_append(call.get(), "susssasa{sv}i", "Hearthpad", 0u, n.icon.c_str(), n.summary.c_str(),
                                  n.body.c_str(), 0, 0, n.timeoutMs);
    sd_bus_slot* slot = nullptr;
    if (r >= 0) r = sd_bus_call_async(bus.get(), &slot, call.get(), notify_reply, held.get(), 0);
    if (r < 0) {
        if (*held) (*held)(fail(error_text("The notification was not sent", r)));
        return;
    }
    // The bus keeps the call until it is answered; the callback goes with it.
    sd_bus_slot_set_destroy_callback(slot, free_notify_done);
    (void)held.release();
    sd_bus_slot_set_floating(slot, 1);
    sd_bus_slot_unref(slot);
}

// --- the colour preference ----------------------------------------------------

namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kSettingsInterface = "org.freedesktop.portal.Settings";

// The value is a variant holding "u", or (from Settings.Read) a variant
// holding a variant holding it.
ColorScheme read_scheme(sd_bus_message* m) {
    for (int level = 0; level < 2; ++level) {
        char type = 0;
        const char* contents = nullptr;
        if (sd_bus_message_peek_type(m, &type, &contents) <= 0 || type != 'v') break;
        if (sd_bus_message_enter_container(m, 'v', contents) < 0) return ColorScheme::NoPreference;
    }
    std::uint32_t value = 0;
    if (sd_bus_message_read(m, "u", &value) <= 0) return ColorScheme::NoPreference;
    if (value == 1) return ColorScheme::Dark;
    if (value == 2) return ColorScheme::Light;
    return ColorScheme::NoPreference;
}

}  // namespace

struct ColorSchemeWatch::Glue {
    static int read(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& watch = *static_cast<ColorSchemeWatch*>(userdata);
        watch.read_.reset();
        const ColorScheme scheme =
            sd_bus_message_is_method_error(m, nullptr) ? ColorScheme::NoPreference : read_scheme(m);
        if (watch.changed_) watch.changed_(scheme);
        return 0;
    }
    static int changed(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& watch = *static_cast<ColorSchemeWatch*>(userdata);
        const char *ns = nullptr, *key = nullptr;
        if (sd_bus_message_read(m, "ss", &ns, &key) < 0) return 0;
        if (std::strcmp(ns, "org.freedesktop.appearance") != 0 || std::strcmp(key, "color-scheme") != 0) return 0;
        if (watch.changed_) watch.changed_(read_scheme(m));
        return 0;
    }
};

Result<std::unique_ptr<ColorSchemeWatch>> ColorSchemeWatch::start(Bus& bus,
                                                                  std::function<void(ColorScheme)> changed) {
    auto watch = std::make_unique<ColorSchemeWatch>(std::move(changed));
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_match_signal(bus.get(), &slot, nullptr, kPortalPath, kSettingsInterface, "SettingChanged",
                                Glue::changed, watch.get());
    if (r < 0) return fail(error_text("Could not follow the desktop's colour preference", r));
    watch->signal_.reset(slot);
    r = sd_bus_call_method_async(bus.get(), &slot, kPortalName, kPortalPath, kSettingsInterface, "Read",
                                 Glue::read, watch.get(), "ss", "org.freedesktop.appearance", "color-scheme");
    if (r < 0) return fail(error_text("Could not ask for the desktop's colour preference", r));
    watch->read_.reset(slot);
    return watch;
}

// --- the host's own name --------------------------------------------------------

struct HostService::Glue {
    static int open_pairing(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& service = *static_cast<HostService*>(userdata);
        const int r = sd_bus_reply_method_return(m, "");
        if (service.openPairing_) service.openPairing_();
        return r;
    }
};

namespace {

const sd_bus_vtable kHostVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("OpenPairing", "", "", HostService::Glue::open_pairing, 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

Result<std::unique_ptr<HostService>> HostService::create(Bus& bus, std::function<void()> openPairing) {
    auto service = std::make_unique<HostService>(bus, std::move(openPairing));
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_object_vtable(bus.get(), &slot, kHostObjectPath, kHostInterface, kHostVtable,
                                           service.get());
    if (r < 0) return fail(error_text("Could not export the host's object", r));
    service->slot_.reset(slot);
    if (auto named = bus.request_name(kHostBusName); !named) return std::unexpected(named.error());
    service->named_ = true;
    return service;
}

HostService::~HostService() {
    slot_.reset();
    if (named_) (void)sd_bus_release_name(bus_.get(), kHostBusName);
}

Status ask_running_host_to_open_pairing(Bus& bus) {
    auto reply = call(bus, kHostBusName, kHostObjectPath, kHostInterface, "OpenPairing");
    if (!reply) return std::unexpected(reply.error());
    return {};
}

}  // namespace hp::platform::dbus
