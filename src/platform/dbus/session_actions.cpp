#include "platform/dbus/session_actions.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <vector>

namespace hp::platform::dbus {

namespace {

std::optional<std::uint32_t> read_number(const std::filesystem::path& file) {
    std::ifstream in(file);
    unsigned long long value = 0;
    if (!(in >> value) || value > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

int type_rank(const std::filesystem::path& device) {
    std::ifstream in(device / "type");
    std::string type;
    in >> type;
    if (type == "firmware") return 0;
    if (type == "platform") return 1;
    if (type == "raw") return 2;
    return 3;
}

}  // namespace

Result<Backlight> find_backlight(const std::filesystem::path& folder) {
    std::error_code error;
    std::vector<std::pair<int, Backlight>> found;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const auto& device = it->path();
        const auto brightness = read_number(device / "brightness");
        const auto maximum = read_number(device / "max_brightness");
        if (!brightness || !maximum || *maximum == 0) continue;
        found.push_back({type_rank(device), Backlight{device.filename().string(), *brightness, *maximum}});
    }
    if (found.empty()) return fail("No display backlight under " + folder.string());
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.device < b.second.device;
    });
    return found.front().second;
}

std::uint32_t stepped_brightness(std::uint32_t current, std::uint32_t maximum, bool up) {
    const std::uint32_t step = std::max<std::uint32_t>(1, maximum / 10);
    current = std::min(current, maximum);
    if (up) return maximum - current < step ? maximum : current + step;
    return current < step ? 0 : current - step;
}

SessionActions::SessionActions(SessionActionsOptions options) : options_(std::move(options)) {
    awakeThread_ = std::thread([this] { keep_awake_thread(); });
}

SessionActions::~SessionActions() {
    {
        std::lock_guard lock(awakeMutex_);
        stopping_ = true;
    }
    awakeWake_.notify_all();
    awakeThread_.join();
}

Result<MessagePtr> SessionActions::call_logind(const char* member,
                                               const std::function<int(sd_bus_message*)>& fill) {
    std::lock_guard lock(systemMutex_);
    if (!system_) {
        auto bus = options_.systemBus();
        if (!bus) return std::unexpected(bus.error());
        system_.emplace(std::move(*bus));
    }
    auto reply = call(*system_, "org.freedesktop.login1", kLogindSessionPath, "org.freedesktop.login1.Session",
                      member, fill);
    if (!reply) system_.reset();  // a fresh connection next time
    return reply;
}

Status SessionActions::lock() {
    auto reply = call_logind("Lock", {});
    if (!reply) return std::unexpected(reply.error());
    return {};
}

Result<std::uint32_t> SessionActions::step_brightness(bool up) {
    const auto backlight = find_backlight(options_.backlightFolder);
    if (!backlight) return std::unexpected(backlight.error());
    const std::uint32_t value = stepped_brightness(backlight->brightness, backlight->maximum, up);
    auto reply = call_logind("SetBrightness", [&](sd_bus_message* m) {
        return sd_bus_message_append(m, "ssu", "backlight", backlight->device.c_str(), value);
    });
    if (!reply) return std::unexpected(reply.error());
    return value;
}

void SessionActions::keep_awake() {
    std::lock_guard lock(awakeMutex_);
    lastInput_ = std::chrono::steady_clock::now();
    if (inhibited_ || wanted_) return;
    wanted_ = true;
    awakeWake_.notify_all();
}

Status SessionActions::keep_awake_status() const {
    std::lock_guard lock(awakeMutex_);
    return awakeStatus_;
}

bool SessionActions::inhibited() const {
    std::lock_guard lock(awakeMutex_);
    return inhibited_;
}

// Holds the session bus connection the inhibition belongs to: the screen
// saver also ends it when that connection closes.
void SessionActions::keep_awake_thread() {
    std::optional<Bus> bus;
    std::uint32_t cookie = 0;
    std::unique_lock lock(awakeMutex_);
    for (;;) {
        awakeWake_.wait(lock, [&] { return stopping_ || wanted_; });
        if (stopping_) return;
        lock.unlock();
        Status status;
        if (!bus) {
            auto opened = options_.sessionBus();
            if (opened) bus.emplace(std::move(*opened));
            else status = std::unexpected(opened.error());
        }
        if (bus) {
            auto reply = call(*bus, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                              "org.freedesktop.ScreenSaver", "Inhibit", [](sd_bus_message* m) {
                                  return sd_bus_message_append(m, "ss", "Hearthpad",
                                                               "A paired device is controlling this computer");
                              });
            if (reply && sd_bus_message_read(reply->get(), "u", &cookie) > 0) {
                status = {};
            } else {
                status = reply ? Status(fail("The screen saver's answer held no cookie"))
                               : Status(std::unexpected(reply.error()));
                bus.reset();
            }
        }
        lock.lock();
        awakeStatus_ = status;
        inhibited_ = status.has_value();
        if (!inhibited_) {
            // Tried once for this burst of input; the next input after the
            // hold tries again.
            awakeWake_.wait_for(lock, options_.keepAwakeHold, [&] { return stopping_; });
            wanted_ = false;
            continue;
        }
        // Held until input has paused for the hold time (or the end).
        while (!stopping_) {
            const auto due = lastInput_ + options_.keepAwakeHold;
            if (std::chrono::steady_clock::now() >= due) break;
            awakeWake_.wait_until(lock, due);
        }
        lock.unlock();
        auto released = call(*bus, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                             "org.freedesktop.ScreenSaver", "UnInhibit",
                             [cookie](sd_bus_message* m) { return sd_bus_message_append(m, "u", cookie); });
        if (!released) bus.reset();  // closing the connection ends it too
        lock.lock();
        awakeStatus_ = released ? Status() : Status(std::unexpected(released.error()));
        inhibited_ = false;
        wanted_ = false;
    }
}

}  // namespace hp::platform::dbus
