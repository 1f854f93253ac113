// Windows that only say what they would show, until the toolkit program
// takes their place.
#include <cstdio>
#include <string>

#include "app/linux_windows.h"
#include "host_ops/host_ops.h"
#include "main/start_host.h"

namespace hp::app {

namespace {

void say(const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

class LoggedWindows final : public DesktopWindows {
public:
    explicit LoggedWindows(DesktopWindowsContext context) : context_(std::move(context)) {}
    void open_pairing() override {
        say("windows: would open the pairing window");
        if (context_.host) {
            const auto offer = host_ops::open_pairing_code(*context_.host->state, *context_.host->network);
            say("windows: pairing code " + offer.code);
        }
    }
    void open_connection_check() override { say("windows: would open the connection check"); }
    void open_mapping() override { say("windows: would open the mapping window"); }
    void host_event(const host::HostEvent& event) override {
        say(std::string("windows: host event ") + host::host_event_name(event.kind));
    }
    void mapping_changed() override { say("windows: mapping changed"); }

private:
    DesktopWindowsContext context_;
};

}  // namespace

std::unique_ptr<DesktopWindows> make_desktop_windows(DesktopWindowsContext context) {
    return std::make_unique<LoggedWindows>(std::move(context));
}

}  // namespace hp::app
