#pragma once
// The link between the desktop host and its window program
// (hearthpad-windows): one JSON object per line, each with a type "t", over
// the connected socket pair the host gives the program. The host trusts
// nothing the program writes: every line is bounded and every message is
// checked member by member before it means anything; a line that fails ends
// the window.
//
// Host to window:
//   {"t":"pairing","code":"123456","link":"hearthpad://...","lan":"...","tailscale":"..."}
//   {"t":"raise"}                                   bring the window to the front
//   {"t":"close"}                                   close the window (the program ends)
//   {"t":"findings","findings":[{"id","state","text","fix"}, ...]}
//   {"t":"fix_finished","ok":true,"declined":false,"exit_code":0}
//   {"t":"fix_finished","ok":false,"error":"..."}
//   {"t":"mapping","mapping":{...},"vigem":false,"elsewhere":false}
//   {"t":"saved","mapping":{...},"error":""}       error empty: written to the disk
//   {"t":"dump"}                                    answer with "texts"
// Window to host:
//   {"t":"shown","kind":"pairing"}                  first drawn
//   {"t":"run_check"}
//   {"t":"allow_firewall"}
//   {"t":"save","mapping":{...}}
//   {"t":"texts","controls":[{"id","text","x","y","w","h","visible","enabled"}, ...]}
//
// A mapping travels in the mapping file's form (pad_mapping/mapping_file.h).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/result.h"
#include "connection_check/findings.h"
#include "pad_mapping/mapping.h"
#include "platform/elevation.h"

namespace hp::window_link {

// Longer lines end the link (a mapping is about 4 KiB, a dump 10 KiB).
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
// Bounds of the members (texts in bytes).
inline constexpr std::size_t kMaxTextBytes = 4096;
inline constexpr std::size_t kMaxFindings = 32;
inline constexpr std::size_t kMaxControls = 512;

enum class WindowKind { Pairing, Check, Mapping };
// "--pairing", "--check", "--mapping": the program's argument.
std::string_view kind_argument(WindowKind kind);
std::optional<WindowKind> kind_from_argument(std::string_view argument);
// "pairing", "check", "mapping".
std::string_view kind_name(WindowKind kind);

// ------------------------------------------------------ host to window
struct ShowPairing {
    std::string code, link, lan, tailscale;
    friend bool operator==(const ShowPairing&, const ShowPairing&) = default;
};
struct Raise {
    friend bool operator==(const Raise&, const Raise&) = default;
};
struct Close {
    friend bool operator==(const Close&, const Close&) = default;
};
struct ShowFindings {
    std::vector<connection_check::Finding> findings;
    friend bool operator==(const ShowFindings&, const ShowFindings&) = default;
};
struct FixFinished {
    Result<platform::ElevatedOutcome> outcome;
    friend bool operator==(const FixFinished& a, const FixFinished& b) {
        if (a.outcome.has_value() != b.outcome.has_value()) return false;
        if (!a.outcome) return a.outcome.error().text == b.outcome.error().text;
        return a.outcome->declined == b.outcome->declined && a.outcome->exitCode == b.outcome->exitCode;
    }
};
struct ShowMapping {
    pad_mapping::PadMapping mapping;
    bool vigemFound = false;
    bool elsewhere = false;  // changed by the tray while the window is open
    friend bool operator==(const ShowMapping&, const ShowMapping&) = default;
};
struct Saved {
    pad_mapping::PadMapping mapping;  // now in force
    std::string error;                // empty: written too
    friend bool operator==(const Saved&, const Saved&) = default;
};
struct DumpRequest {
    friend bool operator==(const DumpRequest&, const DumpRequest&) = default;
};
using ToWindow = std::variant<ShowPairing, Raise, Close, ShowFindings, FixFinished, ShowMapping, Saved, DumpRequest>;

// ------------------------------------------------------ window to host
struct Shown {
    WindowKind kind = WindowKind::Pairing;
    friend bool operator==(const Shown&, const Shown&) = default;
};
struct RunCheck {
    friend bool operator==(const RunCheck&, const RunCheck&) = default;
};
struct AllowFirewall {
    friend bool operator==(const AllowFirewall&, const AllowFirewall&) = default;
};
struct SaveMapping {
    pad_mapping::PadMapping mapping;
    friend bool operator==(const SaveMapping&, const SaveMapping&) = default;
};
// One control as the window shows it: its id (-1 for labels without one),
// its text, where it is in the window (pixels) and its state.
struct ControlText {
    int id = -1;
    std::string text;
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = true, enabled = true;
    friend bool operator==(const ControlText&, const ControlText&) = default;
};
struct Texts {
    std::vector<ControlText> controls;
    friend bool operator==(const Texts&, const Texts&) = default;
};
using ToHost = std::variant<Shown, RunCheck, AllowFirewall, SaveMapping, Texts>;

// One line, ending in '\n'. Texts that are not valid UTF-8 are written with
// U+FFFD in place of the bad bytes.
std::string encode(const ToWindow& message);
std::string encode(const ToHost& message);

// A line without its '\n'. Fails for anything but one well-formed message:
// an unknown type, a missing or mistyped member, a text or list over its
// bound, a value outside its range.
Result<ToWindow> decode_to_window(std::string_view line);
Result<ToHost> decode_to_host(std::string_view line);

// Cuts a byte stream into lines. A line longer than kMaxLineBytes (its '\n'
// not counted) is an error, and so is everything after it.
class LineReader {
public:
    void feed(std::string_view bytes);
    // The next whole line, nothing when none is complete yet.
    Result<std::optional<std::string>> next();

private:
    std::string buffer_;
    std::size_t scanned_ = 0;  // bytes of buffer_ known to hold no '\n'
    bool broken_ = false;
};

}  // namespace hp::window_link
