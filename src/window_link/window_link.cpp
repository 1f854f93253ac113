#include "window_link/window_link.h"

#include <algorithm>
#include <array>
#include <limits>

#include "base/json.h"
#include "pad_mapping/mapping_file.h"

namespace hp::window_link {

namespace cc = connection_check;
using json = nlohmann::json;

namespace {

constexpr std::array<std::string_view, 3> kKindNames = {"pairing", "check", "mapping"};
constexpr std::array<std::string_view, 3> kFixNames = {"none", "allow_firewall", "open_network_settings"};

std::string finish(const json& object) {
    // Bad UTF-8 in a text becomes U+FFFD rather than an exception.
    std::string line = object.dump(-1, ' ', false, json::error_handler_t::replace);
    line.push_back('\n');
    return line;
}

json mapping_json(const pad_mapping::PadMapping& mapping) {
    json parsed = json::parse(pad_mapping::saveMapping(mapping), nullptr, false);
    return parsed.is_discarded() ? json::object() : parsed;
}

// The members of one message, checked one by one.
class Reader {
public:
    explicit Reader(const json& object) : object_(object) {}

    Result<std::string> text(const char* name, std::size_t maxBytes = kMaxTextBytes) const {
        const auto it = object_.find(name);
        if (it == object_.end() || !it->is_string()) return fail(std::string("missing text member ") + name);
        const auto& value = it->get_ref<const std::string&>();
        if (value.size() > maxBytes) return fail(std::string("member ") + name + " is too long");
        return value;
    }
    Result<bool> flag(const char* name) const {
        const auto it = object_.find(name);
        if (it == object_.end() || !it->is_boolean()) return fail(std::string("missing boolean member ") + name);
        return it->get<bool>();
    }
    Result<std::int64_t> integer(const char* name, std::int64_t low, std::int64_t high) const {
        const auto it = object_.find(name);
        if (it == object_.end() || !it->is_number_integer())
            return fail(std::string("missing integer member ") + name);
        const std::int64_t value =
            it->is_number_unsigned()
                ? static_cast<std::int64_t>(std::min<std::uint64_t>(it->get<std::uint64_t>(),
                                                                    std::numeric_limits<std::int64_t>::max()))
                : it->get<std::int64_t>();
        if (value < low || value > high) return fail(std::string("member ") + name + " is out of range");
        return value;
    }
    Result<const json*> array(const char* name, std::size_t maxItems) const {
        const auto it = object_.find(name);
        if (it == object_.end() || !it->is_array()) return fail(std::string("missing list member ") + name);
        if (it->size() > maxItems) return fail(std::string("member ") + name + " has too many items");
        return &*it;
    }
    Result<pad_mapping::PadMapping> mapping(const char* name) const {
        const auto it = object_.find(name);
        if (it == object_.end() || !it->is_object()) return fail(std::string("missing mapping member ") + name);
        // The mapping file's reader decides what each member means; what it
        // cannot use falls back as it does for a file.
        return pad_mapping::loadMapping(it->dump(-1, ' ', false, json::error_handler_t::replace));
    }

private:
    const json& object_;
};

Result<json> parse_line(std::string_view line) {
    if (line.size() > kMaxLineBytes) return fail("line too long");
    json object = json::parse(line.begin(), line.end(), nullptr, false);
    if (object.is_discarded() || !object.is_object()) return fail("not a JSON object");
    return object;
}

Result<std::string> type_of(const json& object) { return Reader(object).text("t", 32); }

Result<cc::Finding> finding_from(const json& item) {
    if (!item.is_object()) return fail("a finding is not an object");
    const Reader r(item);
    cc::Finding f;
    auto id = r.text("id", 64);
    if (!id) return std::unexpected(id.error());
    if (std::find(cc::kFindingIds.begin(), cc::kFindingIds.end(), *id) == cc::kFindingIds.end())
        return fail("unknown finding id");
    f.id = std::move(*id);
    auto state = r.text("state", 16);
    if (!state) return std::unexpected(state.error());
    if (*state == cc::state_name(cc::FindingState::Ok)) f.state = cc::FindingState::Ok;
    else if (*state == cc::state_name(cc::FindingState::Problem)) f.state = cc::FindingState::Problem;
    else if (*state == cc::state_name(cc::FindingState::Unknown)) f.state = cc::FindingState::Unknown;
    else return fail("unknown finding state");
    auto text = r.text("text");
    if (!text) return std::unexpected(text.error());
    f.text = std::move(*text);
    auto fix = r.text("fix", 32);
    if (!fix) return std::unexpected(fix.error());
    const auto at = std::find(kFixNames.begin(), kFixNames.end(), *fix);
    if (at == kFixNames.end()) return fail("unknown fix");
    f.fix = static_cast<cc::FindingFix>(at - kFixNames.begin());
    if (f.fix != cc::FindingFix::None && f.state != cc::FindingState::Problem) return fail("a fix without a problem");
    return f;
}

Result<ControlText> control_from(const json& item) {
    if (!item.is_object()) return fail("a control is not an object");
    const Reader r(item);
    ControlText c;
    constexpr std::int64_t kMaxPixels = 1 << 20;
    auto id = r.integer("id", -1, 100000);
    auto text = r.text("text");
    auto x = r.integer("x", -kMaxPixels, kMaxPixels);
    auto y = r.integer("y", -kMaxPixels, kMaxPixels);
    auto w = r.integer("w", 0, kMaxPixels);
    auto h = r.integer("h", 0, kMaxPixels);
    auto visible = r.flag("visible");
    auto enabled = r.flag("enabled");
    if (!id || !text || !x || !y || !w || !h || !visible || !enabled) return fail("a control lacks a member");
    c.id = static_cast<int>(*id);
    c.text = std::move(*text);
    c.x = static_cast<int>(*x);
    c.y = static_cast<int>(*y);
    c.width = static_cast<int>(*w);
    c.height = static_cast<int>(*h);
    c.visible = *visible;
    c.enabled = *enabled;
    return c;
}

bool six_digits(std::string_view code) {
    return code.size() == 6 && std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string_view kind_argument(WindowKind kind) {
    switch (kind) {
        case WindowKind::Pairing: return "--pairing";
        case WindowKind::Check: return "--check";
        case WindowKind::Mapping: return "--mapping";
    }
    return "--pairing";
}

std::optional<WindowKind> kind_from_argument(std::string_view argument) {
    for (const WindowKind kind : {WindowKind::Pairing, WindowKind::Check, WindowKind::Mapping})
        if (argument == kind_argument(kind)) return kind;
    return std::nullopt;
}

std::string_view kind_name(WindowKind kind) { return kKindNames[static_cast<std::size_t>(kind)]; }

std::string encode(const ToWindow& message) {
    json o = json::object();
    std::visit(
        [&o](const auto& m) {
            using M = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<M, ShowPairing>) {
                o = {{"t", "pairing"}, {"code", m.code}, {"link", m.link}, {"lan", m.lan}, {"tailscale", m.tailscale}};
            } else if constexpr (std::is_same_v<M, Raise>) {
                o = {{"t", "raise"}};
            } else if constexpr (std::is_same_v<M, Close>) {
                o = {{"t", "close"}};
            } else if constexpr (std::is_same_v<M, ShowFindings>) {
                json list = json::array();
                for (const cc::Finding& f : m.findings)
                    list.push_back({{"id", f.id},
                                    {"state", cc::state_name(f.state)},
                                    {"text", f.text},
                                    {"fix", kFixNames[static_cast<std::size_t>(f.fix)]}});
                o = {{"t", "findings"}, {"findings", std::move(list)}};
            } else if constexpr (std::is_same_v<M, FixFinished>) {
                if (m.outcome)
                    o = {{"t", "fix_finished"},
                         {"ok", true},
                         {"declined", m.outcome->declined},
                         {"exit_code", m.outcome->exitCode}};
                else
                    o = {{"t", "fix_finished"}, {"ok", false}, {"error", m.outcome.error().text}};
            } else if constexpr (std::is_same_v<M, ShowMapping>) {
                o = {{"t", "mapping"},
                     {"mapping", mapping_json(m.mapping)},
                     {"vigem", m.vigemFound},
                     {"elsewhere", m.elsewhere}};
            } else if constexpr (std::is_same_v<M, Saved>) {
                o = {{"t", "saved"}, {"mapping", mapping_json(m.mapping)}, {"error", m.error}};
            } else {
                static_assert(std::is_same_v<M, DumpRequest>);
                o = {{"t", "dump"}};
            }
        },
        message);
    return finish(o);
}

std::string encode(const ToHost& message) {
    json o = json::object();
    std::visit(
        [&o](const auto& m) {
            using M = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<M, Shown>) {
                o = {{"t", "shown"}, {"kind", kind_name(m.kind)}};
            } else if constexpr (std::is_same_v<M, RunCheck>) {
                o = {{"t", "run_check"}};
            } else if constexpr (std::is_same_v<M, AllowFirewall>) {
                o = {{"t", "allow_firewall"}};
            } else if constexpr (std::is_same_v<M, SaveMapping>) {
                o = {{"t", "save"}, {"mapping", mapping_json(m.mapping)}};
            } else {
                static_assert(std::is_same_v<M, Texts>);
                json list = json::array();
                for (const ControlText& c : m.controls)
                    list.push_back({{"id", c.id},
                                    {"text", c.text},
                                    {"x", c.x},
                                    {"y", c.y},
                                    {"w", c.width},
                                    {"h", c.height},
                                    {"visible", c.visible},
                                    {"enabled", c.enabled}});
                o = {{"t", "texts"}, {"controls", std::move(list)}};
            }
        },
        message);
    return finish(o);
}

Result<ToWindow> decode_to_window(std::string_view line) {
    auto parsed = parse_line(line);
    if (!parsed) return std::unexpected(parsed.error());
    const json& o = *parsed;
    const Reader r(o);
    auto type = type_of(o);
    if (!type) return std::unexpected(type.error());
    if (*type == "pairing") {
        ShowPairing m;
        auto code = r.text("code", 6), link = r.text("link"), lan = r.text("lan", 256),
             tailscale = r.text("tailscale", 256);
        if (!code || !link || !lan || !tailscale) return fail("a pairing message lacks a member");
        if (!six_digits(*code)) return fail("the pairing code is not six digits");
        m.code = std::move(*code);
        m.link = std::move(*link);
        m.lan = std::move(*lan);
        m.tailscale = std::move(*tailscale);
        return m;
    }
    if (*type == "raise") return Raise{};
    if (*type == "close") return Close{};
    if (*type == "dump") return DumpRequest{};
    if (*type == "findings") {
        auto list = r.array("findings", kMaxFindings);
        if (!list) return std::unexpected(list.error());
        ShowFindings m;
        for (const json& item : **list) {
            auto f = finding_from(item);
            if (!f) return std::unexpected(f.error());
            m.findings.push_back(std::move(*f));
        }
        return m;
    }
    if (*type == "fix_finished") {
        auto ok = r.flag("ok");
        if (!ok) return std::unexpected(ok.error());
        if (!*ok) {
            auto error = r.text("error");
            if (!error) return std::unexpected(error.error());
            return FixFinished{fail(std::move(*error))};
        }
        auto declined = r.flag("declined");
        auto exitCode = r.integer("exit_code", 0, std::numeric_limits<std::uint32_t>::max());
        if (!declined || !exitCode) return fail("a finished fix lacks its outcome");
        return FixFinished{platform::ElevatedOutcome{*declined, static_cast<std::uint32_t>(*exitCode)}};
    }
    if (*type == "mapping") {
        auto mapping = r.mapping("mapping");
        auto vigem = r.flag("vigem");
        auto elsewhere = r.flag("elsewhere");
        if (!mapping || !vigem || !elsewhere) return fail("a mapping message lacks a member");
        return ShowMapping{std::move(*mapping), *vigem, *elsewhere};
    }
    if (*type == "saved") {
        auto mapping = r.mapping("mapping");
        auto error = r.text("error");
        if (!mapping || !error) return fail("a saved message lacks a member");
        return Saved{std::move(*mapping), std::move(*error)};
    }
    return fail("unknown message type");
}

Result<ToHost> decode_to_host(std::string_view line) {
    auto parsed = parse_line(line);
    if (!parsed) return std::unexpected(parsed.error());
    const json& o = *parsed;
    const Reader r(o);
    auto type = type_of(o);
    if (!type) return std::unexpected(type.error());
    if (*type == "shown") {
        auto kind = r.text("kind", 16);
        if (!kind) return std::unexpected(kind.error());
        const auto at = std::find(kKindNames.begin(), kKindNames.end(), *kind);
        if (at == kKindNames.end()) return fail("unknown window kind");
        return Shown{static_cast<WindowKind>(at - kKindNames.begin())};
    }
    if (*type == "run_check") return RunCheck{};
    if (*type == "allow_firewall") return AllowFirewall{};
    if (*type == "save") {
        auto mapping = r.mapping("mapping");
        if (!mapping) return std::unexpected(mapping.error());
        return SaveMapping{std::move(*mapping)};
    }
    if (*type == "texts") {
        auto list = r.array("controls", kMaxControls);
        if (!list) return std::unexpected(list.error());
        Texts m;
        for (const json& item : **list) {
            auto c = control_from(item);
            if (!c) return std::unexpected(c.error());
            m.controls.push_back(std::move(*c));
        }
        return m;
    }
    return fail("unknown message type");
}

void LineReader::feed(std::string_view bytes) {
    if (!broken_) buffer_.append(bytes);
}

Result<std::optional<std::string>> LineReader::next() {
    if (broken_) return fail("a line was too long");
    const std::size_t end = buffer_.find('\n', scanned_);
    if (end == std::string::npos) {
        scanned_ = buffer_.size();
        if (buffer_.size() > kMaxLineBytes) {
            broken_ = true;
            buffer_.clear();
            return fail("a line was too long");
        }
        return std::optional<std::string>();
    }
    if (end > kMaxLineBytes) {
        broken_ = true;
        buffer_.clear();
        return fail("a line was too long");
    }
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    scanned_ = 0;
    return std::optional<std::string>(std::move(line));
}

}  // namespace hp::window_link
