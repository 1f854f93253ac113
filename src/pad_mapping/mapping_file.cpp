#include "pad_mapping/mapping_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

#include "base/atomic_file.h"
#include "base/bytes.h"
#include "base/json.h"
#include "base/json_text.h"
#include "input/keys.h"


namespace hp::pad_mapping {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// ----------------------------------------------------------------- reading

const std::string* string_member(const json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end() || !it->is_string()) return nullptr;
    return &it->get_ref<const std::string&>();
}

std::optional<double> number_member(const json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end() || !it->is_number()) return std::nullopt;
    const double v = it->get<double>();
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

// The member "primary", or "fallback" when "primary" is absent.
const json* member_or(const json& object, const char* primary, const char* fallback) {
    auto it = object.find(primary);
    if (it == object.end()) it = object.find(fallback);
    return it == object.end() ? nullptr : &*it;
}

bool means_none(std::string_view text) {
    const std::string n = input::normalizeName(text);
    return n.empty() || n == "none";
}

std::optional<Direction> direction_of(const json& object) {
    const json* v = member_or(object, "direction", "dir");
    if (!v || !v->is_string()) return std::nullopt;
    return parseDirection(v->get_ref<const std::string&>());
}

BindingMods modifiers_of(const json& object) {
    const json* list = member_or(object, "mods", "modifiers");
    if (!list || !list->is_array()) return 0;
    BindingMods mods = 0;
    for (const json& word : *list)
        if (word.is_string())
            if (auto bit = parseModifierName(word.get_ref<const std::string&>())) mods |= *bit;
    return mods;
}

// A binding as the file gives it; nothing when it cannot be read.
std::optional<Binding> read_binding(const json& v) {
    if (v.is_string()) {
        const auto& text = v.get_ref<const std::string&>();
        if (means_none(text)) return Binding::none();
        if (auto code = input::parseKeyName(text)) return Binding::keyPress(*code);
        return std::nullopt;
    }
    if (!v.is_object()) return std::nullopt;
    const std::string* type = string_member(v, "type");
    if (!type) return std::nullopt;
    const auto kind = parseBindingType(*type);
    if (!kind) return std::nullopt;
    switch (*kind) {
        case Binding::Kind::None:
            return Binding::none();
        case Binding::Kind::Key: {
            const std::string* name = string_member(v, "key");
            if (!name) return std::nullopt;
            const auto code = input::parseKeyName(*name);
            if (!code) return std::nullopt;
            return Binding::keyPress(*code, modifiers_of(v));
        }
        case Binding::Kind::MouseButton: {
            const std::string* name = string_member(v, "button");
            if (!name) return std::nullopt;
            const auto button = parseMouseButton(*name);
            if (!button) return std::nullopt;
            return Binding::mouse(*button);
        }
        case Binding::Kind::MouseMove: {
            const auto direction = direction_of(v);
            if (!direction) return std::nullopt;
            const double speed = std::clamp(number_member(v, "speed").value_or(1.0), 0.1, 5.0);
            return Binding::move(*direction, static_cast<float>(speed));
        }
        case Binding::Kind::Wheel: {
            const auto direction = direction_of(v);
            if (!direction) return std::nullopt;
            const double amount = std::clamp(number_member(v, "amount").value_or(1.0), 1.0, 10.0);
            return Binding::wheel(*direction, static_cast<std::uint8_t>(amount));
        }
    }
    return std::nullopt;
}

void read_stick_key(const json& object, const char* name, KeyCode& key) {
    const std::string* text = string_member(object, name);
    if (!text) return;
    if (input::normalizeName(*text) == "none") {
        key = 0;
    } else if (auto code = input::parseKeyName(*text)) {
        key = *code;
    }
}

void read_stick(const json& object, StickConfig& stick) {
    if (object.is_object()) {
        if (const std::string* mode = string_member(object, "mode"))
            if (auto m = parseStickMode(*mode)) stick.mode = *m;
        read_stick_key(object, "up", stick.up);
        read_stick_key(object, "down", stick.down);
        read_stick_key(object, "left", stick.left);
        read_stick_key(object, "right", stick.right);
        // Clamped before narrowing, so that no number is out of float's range.
        if (auto v = number_member(object, "deadzone"))
            stick.deadzone = static_cast<float>(std::clamp(*v, 0.0, 0.9));
        if (auto v = number_member(object, "sensitivity"))
            stick.sensitivity = static_cast<float>(std::clamp(*v, 0.1, 5.0));
        auto invert = object.find("invertY");
        if (invert != object.end() && invert->is_boolean()) stick.invertY = invert->get<bool>();
    }
    stick.deadzone = std::isfinite(stick.deadzone) ? std::clamp(stick.deadzone, 0.0f, 0.9f) : 0.2f;
    stick.sensitivity =
        std::isfinite(stick.sensitivity) ? std::clamp(stick.sensitivity, 0.1f, 5.0f) : 1.0f;
}

// -------------------------------------------------------------- writing

// Shortest text that reads back as the same value, with ".0" on whole
// numbers so that the file shows them as decimals.
template <class F>
void append_decimal(std::string& out, F value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    const std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
    out += text;
    if (text.find_first_of(".e") == std::string_view::npos) out += ".0";
}

double rounded3(float value) { return std::round(static_cast<double>(value) * 1000.0) / 1000.0; }

// Writes the members of one object at one indentation level.
class ObjectWriter {
public:
    ObjectWriter(std::string& out, int depth) : out_(out), depth_(depth) { out_ += '{'; }
    void name(std::string_view n) {
        out_ += first_ ? "\n" : ",\n";
        first_ = false;
        indent(depth_ + 1);
        append_json_string(out_, n);
        out_ += ": ";
    }
    void string(std::string_view n, std::string_view value) {
        name(n);
        append_json_string(out_, value);
    }
    void raw(std::string_view n, std::string_view value) {
        name(n);
        out_ += value;
    }
    void close() {
        if (!first_) {
            out_ += '\n';
            indent(depth_);
        }
        out_ += '}';
    }
    void indent(int depth) { out_.append(static_cast<std::size_t>(depth) * 2, ' '); }
    std::string& out() { return out_; }
    int depth() const { return depth_; }

private:
    std::string& out_;
    int depth_;
    bool first_ = true;
};

std::string_view stick_key_name(KeyCode code) {
    const std::string_view name = input::keyName(code);
    return name.empty() ? "none" : name;
}

void write_stick(ObjectWriter& parent, std::string_view name, const StickConfig& s) {
    parent.name(name);
    ObjectWriter w(parent.out(), parent.depth() + 1);
    w.string("mode", stickModeName(s.mode));
    w.string("up", stick_key_name(s.up));
    w.string("down", stick_key_name(s.down));
    w.string("left", stick_key_name(s.left));
    w.string("right", stick_key_name(s.right));
    w.name("deadzone");
    append_decimal(w.out(), std::isfinite(s.deadzone) ? rounded3(s.deadzone) : 0.2);
    w.name("sensitivity");
    append_decimal(w.out(), std::isfinite(s.sensitivity) ? rounded3(s.sensitivity) : 1.0);
    w.raw("invertY", s.invertY ? "true" : "false");
    w.close();
}

void write_binding(ObjectWriter& parent, std::string_view name, const Binding& b) {
    parent.name(name);
    ObjectWriter w(parent.out(), parent.depth() + 1);
    // A binding that cannot be named in the file is written as none.
    const std::string_view keyName = b.kind == Binding::Kind::Key ? input::keyName(b.key) : "";
    const std::string_view buttonName =
        b.kind == Binding::Kind::MouseButton ? mouseButtonName(b.button) : "";
    const std::string_view directionText = directionName(b.direction);
    const bool named = (b.kind == Binding::Kind::Key && !keyName.empty()) ||
                       (b.kind == Binding::Kind::MouseButton && !buttonName.empty()) ||
                       ((b.kind == Binding::Kind::MouseMove || b.kind == Binding::Kind::Wheel) &&
                        !directionText.empty());
    if (!named) {
        w.string("type", bindingTypeName(Binding::Kind::None));
        w.close();
        return;
    }
    w.string("type", bindingTypeName(b.kind));
    switch (b.kind) {
        case Binding::Kind::Key: {
            w.string("key", keyName);
            w.name("mods");
            std::string& out = w.out();
            bool first = true;
            for (BindingMods bit : {kModCtrl, kModShift, kModAlt, kModWin}) {
                if (!(b.mods & bit)) continue;
                out += first ? "[\n" : ",\n";
                first = false;
                w.indent(w.depth() + 2);
                append_json_string(out, modifierName(bit));
            }
            if (first) {
                out += "[]";
            } else {
                out += '\n';
                w.indent(w.depth() + 1);
                out += ']';
            }
            break;
        }
        case Binding::Kind::MouseButton:
            w.string("button", buttonName);
            break;
        case Binding::Kind::MouseMove:
            w.string("direction", directionText);
            w.name("speed");
            append_decimal(w.out(), std::isfinite(b.speed) ? b.speed : 1.0f);
            break;
        case Binding::Kind::Wheel:
            w.string("direction", directionText);
            w.raw("amount", std::to_string(b.amount));
            break;
        case Binding::Kind::None:
            break;
    }
    w.close();
}

// ------------------------------------------------------------------ files

enum class ReadResult { Ok, Unreadable, TooLarge };

ReadResult read_capped(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return ReadResult::Unreadable;
    text.clear();
    char buf[16384];
    while (in) {
        in.read(buf, sizeof buf);
        text.append(buf, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxMappingFileSize) return ReadResult::TooLarge;
    }
    return in.bad() ? ReadResult::Unreadable : ReadResult::Ok;
}

// Writes text to path and flushes it to the disk before returning.
}  // namespace

PadMapping loadMapping(std::string_view text) {
    const std::optional<json> parsed = parse_lenient(as_bytes(text));
    if (!parsed || !parsed->is_object()) return defaultMapping();
    const json& j = *parsed;
    if (auto v = j.find("version"); v != j.end() && v->is_number_unsigned() && v->get<std::uint64_t>() > 1)
        return defaultMapping();

    PadMapping m = presetMapping(Preset::Custom);
    if (const std::string* name = string_member(j, "preset"))
        if (auto preset = parsePresetName(*name)) m = presetMapping(*preset);

    if (const std::string* mode = string_member(j, "mode")) m.useMapping = parseOutputName(*mode).value_or(false);

    if (auto bindings = j.find("bindings"); bindings != j.end() && bindings->is_object()) {
        for (const auto& [name, value] : bindings->items()) {
            const auto index = parseButtonName(name);
            if (!index) continue;
            if (auto b = read_binding(value)) m.bindings[*index] = *b;
        }
    }

    auto stick = [&](const char* name, StickConfig& s) {
        auto it = j.find(name);
        read_stick(it == j.end() ? json() : *it, s);
    };
    stick("leftStick", m.leftStick);
    stick("rightStick", m.rightStick);
    return m;
}

std::optional<PadMapping> loadLegacyOutput(std::string_view text) {
    if (text == "wasdMouse") return presetMapping(Preset::Shooter);
    if (text == "arrows") return presetMapping(Preset::Arrows);
    if (text == "dualKeys") return presetMapping(Preset::TwinStick);
    return std::nullopt;
}

std::string saveMapping(const PadMapping& mapping) {
    std::string out;
    out.reserve(4096);
    ObjectWriter top(out, 0);
    top.raw("version", "1");
    top.string("mode", outputName(mapping.useMapping));
    top.string("preset", presetName(mapping.preset).empty() ? presetName(Preset::Custom)
                                                            : presetName(mapping.preset));
    write_stick(top, "leftStick", mapping.leftStick);
    write_stick(top, "rightStick", mapping.rightStick);
    top.name("bindings");
    ObjectWriter bindings(out, 1);
    for (std::size_t i = 0; i < kButtonCount; ++i)
        write_binding(bindings, buttonName(i), mapping.bindings[i]);
    bindings.close();
    top.close();
    return out;
}

PadMapping load_mapping(const fs::path& dataDir) {
    std::string text;
    switch (read_capped(dataDir / kMappingFileName, text)) {
        case ReadResult::Ok:
            return loadMapping(text);
        case ReadResult::TooLarge:
            return defaultMapping();
        case ReadResult::Unreadable:
            break;
    }
    if (read_capped(dataDir / kLegacyOutputFileName, text) == ReadResult::Ok)
        if (auto m = loadLegacyOutput(text)) return *m;
    return defaultMapping();
}

Status save_mapping(const fs::path& dataDir, const PadMapping& mapping) {
    std::error_code ec;
    fs::create_directories(dataDir, ec);
    if (ec) return fail("Could not create the data directory: " + ec.message());
    const fs::path tmp = dataDir / kMappingTempFileName;
    const fs::path target = dataDir / kMappingFileName;
    return write_file_atomically(target, tmp, as_bytes(saveMapping(mapping)));
}

}  // namespace hp::pad_mapping
