#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "client/os.h"

namespace hp::client {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool on_path(const std::string& program) {
    std::istringstream dirs(env("PATH"));
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

}  // namespace

std::optional<std::filesystem::path> default_state_dir() {
    if (const auto xdg = env("XDG_CONFIG_HOME"); !xdg.empty())
        return std::filesystem::path(xdg) / "hearthpad-client";
    if (const auto home = env("HOME"); !home.empty())
        return std::filesystem::path(home) / ".config" / "hearthpad-client";
    return std::nullopt;
}

std::string computer_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

MdnsBrowse browse_mdns() {
    MdnsBrowse result;
    if (!on_path("avahi-browse")) {
        result.note = "avahi-browse is not installed";
        return result;
    }
    FILE* pipe = ::popen("avahi-browse --parsable --resolve --terminate --no-db-lookup _hearthpad._tcp 2>&1", "r");
    if (!pipe) {
        result.note = "avahi-browse could not be started";
        return result;
    }
    std::string output;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
    const int status = ::pclose(pipe);
    if (status != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        // avahi-browse says why (for example that the daemon is not running).
        std::string why = output.substr(0, output.find('\n'));
        result.note = why.empty() ? "avahi-browse failed" : "avahi-browse: " + why;
        return result;
    }
    result.available = true;
    result.services = parse_avahi_browse(output);
    return result;
}

}  // namespace hp::client
