#include "e2e/desktop_driver.h"

#include <sstream>
#include <thread>

namespace hp::e2e {

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

// The value of NAME=value in xdotool's --shell output.
std::optional<int> shell_value(const std::string& text, const std::string& name) {
    for (const auto& line : lines(text))
        if (line.rfind(name + "=", 0) == 0) return std::stoi(line.substr(name.size() + 1));
    return std::nullopt;
}

}  // namespace

Result<std::string> DesktopDriver::run(const std::vector<std::string>& argv) {
    auto out = wine_.run_local(argv, std::chrono::seconds(60));
    if (!out) return std::unexpected(out.error());
    if (out->status != 0) return fail(argv.front() + " " + (argv.size() > 1 ? argv[1] : "") + " exited with " +
                                      std::to_string(out->status) + ": " + out->text);
    return out->text;
}

Result<std::vector<XWindow>> DesktopDriver::visible_windows(const std::string& program) {
    std::vector<std::string> argv{"xdotool", "search", "--onlyvisible"};
    if (program.empty()) {
        argv.insert(argv.end(), {"--name", ""});
    } else {
        argv.insert(argv.end(), {"--class", "^" + program + "$"});
    }
    // xdotool exits 1 when nothing matches.
    auto found = wine_.run_local(argv, std::chrono::seconds(60));
    if (!found) return std::unexpected(found.error());
    std::vector<XWindow> out;
    for (const auto& id : lines(found->text)) {
        if (id.find_first_not_of("0123456789") != std::string::npos) continue;
        XWindow w;
        w.id = id;
        auto geometry = run({"xdotool", "getwindowgeometry", "--shell", id});
        if (!geometry) continue;  // gone meanwhile
        w.x = shell_value(*geometry, "X").value_or(0);
        w.y = shell_value(*geometry, "Y").value_or(0);
        w.width = shell_value(*geometry, "WIDTH").value_or(0);
        w.height = shell_value(*geometry, "HEIGHT").value_or(0);
        auto name = wine_.run_local({"xdotool", "getwindowname", id}, std::chrono::seconds(60));
        if (name && name->status == 0) {
            w.name = name->text;
            while (!w.name.empty() && (w.name.back() == '\n' || w.name.back() == '\r')) w.name.pop_back();
        }
        out.push_back(std::move(w));
    }
    return out;
}

std::optional<XWindow> DesktopDriver::find(const std::string& name, const std::string& program) {
    auto windows = visible_windows(program);
    if (!windows) return std::nullopt;
    for (auto& w : *windows)
        if (w.name == name) return w;
    return std::nullopt;
}

std::optional<XWindow> DesktopDriver::wait_for(const std::function<std::optional<XWindow>()>& pick,
                                               std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (auto w = pick()) return w;
        if (std::chrono::steady_clock::now() >= until) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

bool DesktopDriver::wait_gone(const std::function<std::optional<XWindow>()>& pick,
                              std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (!pick()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

// Wine handles the X events on its own threads: each step gets a moment to
// arrive before the next.
constexpr auto kSettle = std::chrono::milliseconds(150);

Status DesktopDriver::move(int x, int y) {
    if (auto r = run({"xdotool", "mousemove", std::to_string(x), std::to_string(y)}); !r)
        return std::unexpected(r.error());
    std::this_thread::sleep_for(kSettle);
    return {};
}

Status DesktopDriver::click(int x, int y, int button) {
    if (auto r = run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", std::to_string(button)});
        !r)
        return std::unexpected(r.error());
    std::this_thread::sleep_for(kSettle);
    return {};
}

Status DesktopDriver::key(const std::string& keys) {
    if (auto r = run({"xdotool", "key", keys}); !r) return std::unexpected(r.error());
    std::this_thread::sleep_for(kSettle);
    return {};
}

Result<std::pair<int, int>> DesktopDriver::pointer() {
    auto r = run({"xdotool", "getmouselocation", "--shell"});
    if (!r) return std::unexpected(r.error());
    const auto x = shell_value(*r, "X");
    const auto y = shell_value(*r, "Y");
    if (!x || !y) return fail("no pointer location in: " + *r);
    return std::pair{*x, *y};
}

Status DesktopDriver::screenshot(const std::string& path) {
    if (auto r = run({"import", "-window", "root", path}); !r) return std::unexpected(r.error());
    return {};
}

Result<std::string> DesktopDriver::read_qr(const std::string& path) {
    // zbarimg complains on standard error about a missing D-Bus; only the
    // decoded text matters.
    auto r = run({"sh", "-c", "zbarimg -q --raw \"$1\" 2>/dev/null", "sh", path});
    if (!r) return std::unexpected(r.error());
    std::string text = *r;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace hp::e2e
