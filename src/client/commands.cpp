#include "client/commands.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <thread>

#include "base/atomic_file.h"
#include "base/json.h"
#include "client/address.h"
#include "client/connection.h"
#include "client/handshake.h"
#include "client/keys.h"
#include "client/os.h"
#include "client/session.h"
#include "client/state.h"

namespace hp::client {

namespace {

using protocol::FrameType;
using protocol::type_byte;

struct Failure {
    int code = kExitFailed;
    std::string text;
};
using Outcome = std::expected<void, Failure>;

std::unexpected<Failure> failed(std::string text, int code = kExitFailed) {
    return std::unexpected(Failure{code, std::move(text)});
}
std::unexpected<Failure> usage(std::string text) { return failed(std::move(text), kExitUsage); }

std::string join(const std::vector<std::string>& words, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < words.size(); ++i) {
        if (i > from) out += ' ';
        out += words[i];
    }
    return out;
}

std::optional<float> parse_float(const std::string& text) {
    float v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string json_body(const std::function<void(JsonWriter&)>& members) {
    JsonWriter w;
    w.begin_object();
    members(w);
    w.end_object();
    return w.take();
}

std::string millis(std::chrono::microseconds t) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(3) << static_cast<double>(t.count()) / 1000.0 << " ms";
    return s.str();
}

std::string impersonation_warning(const std::string& where, const std::string& foundId, const std::string& foundFp,
                                  const PinnedHost& pinned) {
    return "WARNING: possible impersonation: the host at " + where + " has host id " + foundId +
           " and fingerprint " + foundFp + ", but this client paired with " + pinned.hostId + " (fingerprint " +
           pinned.fingerprint() + "); nothing was sent to it. If that host was reinstalled, pair again.";
}

// What to do once a session is established.
using SessionAction = std::function<Outcome(Session&)>;

class Runner {
public:
    Runner(const Options& options, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err) {}

    Outcome discover(const std::vector<std::string>& args);
    Outcome info(const std::vector<std::string>& args);
    Outcome pair(const std::vector<std::string>& args);
    Outcome in_session(const SessionAction& action);

private:
    Trace tracer() const {
        if (!options_.trace) return {};
        return [this](const std::string& line) { err_ << "trace: " << line << '\n' << std::flush; };
    }
    Result<ClientState> state() const;
    Result<std::unique_ptr<Connection>> connect(const Endpoint& endpoint) const {
        return Connection::open(endpoint, options_.timeout, tracer());
    }
    Result<HostInfo> request_info(const Endpoint& endpoint) const;
    Result<Endpoint> endpoint_of(const std::string& text) const;

    const Options& options_;
    std::ostream& out_;
    std::ostream& err_;
};

Result<ClientState> Runner::state() const {
    std::optional<std::filesystem::path> dir = options_.dir ? options_.dir : default_state_dir();
    if (!dir) return fail("no folder for the client's files is known; give one with --dir");
    // The host's identity lives in its data directory; the client's files never do.
    std::error_code ec;
    if (std::filesystem::exists(*dir / "host_identity.bin", ec))
        return fail(path_text(*dir) + " is a Hearthpad host's data directory; give the client a folder of its own");
    return ClientState(*dir);
}

Result<Endpoint> Runner::endpoint_of(const std::string& text) const {
    auto e = parse_endpoint(text, kFirstPort);
    if (!e) return fail("\"" + text + "\" is not a host or host:port");
    return *e;
}

Result<HostInfo> Runner::request_info(const Endpoint& endpoint) const {
    auto conn = connect(endpoint);
    if (!conn) return std::unexpected(conn.error());
    if (auto s = (*conn)->send(type_byte(FrameType::PairRequest), ByteView()); !s) return std::unexpected(s.error());
    auto frame = (*conn)->receive();
    if (!frame) return fail(endpoint.text() + ": " + frame.error().text);
    if (frame->type != type_byte(FrameType::HostInfo))
        return fail(endpoint.text() + " answered with " + frame_name(frame->type) + " instead of HostInfo");
    auto info = parse_host_info(frame->body);
    if (!info) return fail(endpoint.text() + " sent a malformed HostInfo");
    return *info;
}

// --- discover and info -------------------------------------------------------------

Outcome Runner::discover(const std::vector<std::string>& args) {
    if (args.size() > 1) return usage("discover takes at most one host");
    bool any = false;
    if (options_.mdns) {
        const MdnsBrowse browse = browse_mdns();
        if (!browse.available) out_ << "mdns: not available (" << browse.note << ")\n";
        for (const auto& s : browse.services) {
            any = true;
            auto txt = [&](const char* k) {
                const auto it = s.txt.find(k);
                return it == s.txt.end() ? std::string() : it->second;
            };
            out_ << "mdns: " << s.instance << " at " << Endpoint{s.address, s.port}.text() << " id " << txt("id")
                 << " fingerprint " << txt("fp");
            if (!txt("ts").empty()) out_ << " tailscale " << txt("ts");
            out_ << '\n';
        }
    }
    if (!args.empty()) {
        auto host = parse_endpoint(args[0], kFirstPort);
        if (!host) return usage("\"" + args[0] + "\" is not a host");
        // All ports at once: a filtered port costs one time-out, not eleven.
        constexpr int kPorts = kLastPort - kFirstPort + 1;
        std::vector<std::optional<HostInfo>> found(kPorts);
        std::vector<std::thread> probes;
        Options quiet = options_;
        quiet.trace = false;
        quiet.timeout = std::min(options_.timeout, std::chrono::milliseconds(2000));
        for (int i = 0; i < kPorts; ++i)
            probes.emplace_back([&, i] {
                const Endpoint e{host->host, static_cast<std::uint16_t>(kFirstPort + i)};
                std::ostringstream sink;
                Runner probe(quiet, sink, sink);
                if (auto info = probe.request_info(e)) found[i] = *info;
            });
        for (auto& t : probes) t.join();
        for (int i = 0; i < kPorts; ++i) {
            if (!found[i]) continue;
            any = true;
            out_ << "host: " << found[i]->name << " at "
                 << Endpoint{host->host, static_cast<std::uint16_t>(kFirstPort + i)}.text() << " id "
                 << found[i]->hostId << " fingerprint " << found[i]->fingerprint << " udp "
                 << found[i]->udpPort << '\n';
        }
    }
    if (!any) out_ << "no host found\n";
    return {};
}

Outcome Runner::info(const std::vector<std::string>& args) {
    if (args.size() > 1) return usage("info takes at most one host:port");
    auto st = state();
    std::optional<PinnedHost> pinned;
    if (st) {
        auto h = st->load_host();
        if (h) pinned = *h;
    }
    std::string where;
    if (!args.empty()) where = args[0];
    else if (options_.host) where = *options_.host;
    else if (pinned) where = pinned->endpoint;
    else return usage("info needs a host:port (this client is not paired yet)");
    auto endpoint = endpoint_of(where);
    if (!endpoint) return usage(endpoint.error().text);
    auto info = request_info(*endpoint);
    if (!info) return failed(info.error().text);
    out_ << "host id: " << info->hostId << "\nname: " << info->name << "\nos: " << info->os
         << "\nfingerprint: " << info->fingerprint << "\nudp port: " << info->udpPort << '\n';
    if (pinned) {
        const bool same = pinned->hostId == info->hostId && pinned->fingerprint() == info->fingerprint;
        out_ << "paired host: " << (same ? "this one" : "a different one (" + pinned->hostId + ")") << '\n';
    }
    return {};
}

// --- pairing -----------------------------------------------------------------------

std::string pair_refusal(const std::string& reason) {
    if (reason == "invalid_code") return "wrong pairing code: the host refused the confirmation (\"invalid_code\")";
    if (reason == "no_active_code")
        return "the host has no pairing code open (\"no_active_code\"): open its pairing window and use the code it shows";
    if (reason == "internal_error") return "the host could not save the pairing (\"internal_error\")";
    return "the host refused the pairing (\"" + reason + "\")";
}

Outcome Runner::pair(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2) return usage("pair takes a pairing link or host:port, and a code");
    std::optional<PairingLink> link;
    std::vector<std::string> candidates;
    std::string code;
    if (looks_like_pairing_link(args[0])) {
        auto parsed = parse_pairing_link(args[0]);
        if (!parsed) return usage(parsed.error().text);
        link = *parsed;
        code = args.size() > 1 ? args[1] : link->code;
        for (const auto& e : {link->lan, link->ts})
            if (!e.empty()) candidates.push_back(e);
    } else {
        if (args.size() < 2) return usage("pair <host:port> needs the code the host shows");
        candidates.push_back(args[0]);
        code = args[1];
    }
    if (options_.connect) candidates = {*options_.connect};
    if (!is_pairing_code(code)) return usage("a pairing code has six digits");
    if (candidates.empty())
        return failed("the pairing link names no address for the host; give one with --connect host:port");

    auto st = state();
    if (!st) return failed(st.error().text);
    auto stored = st->load_identity();
    if (!stored) return failed(stored.error().text);
    Identity identity;
    if (*stored) {
        identity = **stored;
        if (options_.name && *options_.name != identity.deviceName) {
            identity.deviceName = *options_.name;
            if (auto s = st->save_identity(identity); !s) return failed(s.error().text);
        }
    } else {
        const std::string computer = computer_name();
        identity = Identity::generate(options_.name.value_or(computer.empty() ? "hearthpad-client"
                                                                                : "hearthpad-client on " + computer),
                                      "hearthpad-client");
        if (auto s = st->save_identity(identity); !s) return failed(s.error().text);
    }

    std::unique_ptr<Connection> conn;
    std::string errors;
    for (const auto& c : candidates) {
        auto endpoint = endpoint_of(c);
        if (!endpoint) return usage(endpoint.error().text);
        auto opened = connect(*endpoint);
        if (opened) {
            conn = std::move(*opened);
            break;
        }
        errors += (errors.empty() ? "" : "; ") + opened.error().text;
    }
    if (!conn) return failed(errors);

    Pairing pairing(identity, Ephemeral::generate());
    if (auto s = conn->send(type_byte(FrameType::PairRequest), pairing.request_body()); !s)
        return failed(s.error().text);
    auto challenge = conn->receive();
    if (!challenge) return failed(challenge.error().text + " after PairRequest");
    if (challenge->type == type_byte(FrameType::PairRejected)) return failed(pair_refusal(parse_reason(challenge->body)));
    if (challenge->type != type_byte(FrameType::PairChallenge))
        return failed("the host answered PairRequest with " + frame_name(challenge->type));
    std::optional<std::string> expectedId;
    std::optional<crypto::Key32> expectedKey;
    if (link) expectedId = link->hostId, expectedKey = link->hostKey;
    auto confirm = pairing.confirm_body(challenge->body, code, expectedId, expectedKey);
    if (!confirm) {
        const bool other = confirm.error().text.starts_with("the host answering is not");
        return failed(other ? "WARNING: possible impersonation: " + confirm.error().text + "; nothing more was sent"
                            : confirm.error().text,
                      other ? kExitImpersonation : kExitFailed);
    }
    if (auto s = conn->send(type_byte(FrameType::PairConfirm), *confirm); !s) return failed(s.error().text);
    auto accepted = conn->receive();
    if (!accepted) return failed(accepted.error().text + " after PairConfirm");
    if (accepted->type == type_byte(FrameType::PairRejected)) return failed(pair_refusal(parse_reason(accepted->body)));
    if (accepted->type != type_byte(FrameType::PairAccepted))
        return failed("the host answered PairConfirm with " + frame_name(accepted->type));
    auto host = pairing.accept(accepted->body);
    if (!host) return failed(host.error().text);
    host->endpoint = conn->endpoint().text();
    host->pairedAtUnix = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
    auto previous = st->load_host();
    if (auto s = st->save_host(*host); !s) return failed(s.error().text);
    if (previous && *previous && (*previous)->hostId != host->hostId)
        out_ << "note: this replaces the pairing with " << (*previous)->hostName << " (" << (*previous)->hostId << ")\n";

    conn->start_secure(pairing.session_key());
    Session session(std::move(conn), *host, host->udpPort, false);
    auto rtt = session.ping();
    if (!rtt) return failed("paired, but the session does not answer: " + rtt.error().text);
    out_ << "paired with " << host->hostName << " at " << host->endpoint << " (host id " << host->hostId
         << ", fingerprint " << host->fingerprint() << ") as \"" << identity.deviceName << "\"\n";
    return {};
}

// --- authentication and session commands ------------------------------------------

Outcome Runner::in_session(const SessionAction& action) {
    auto st = state();
    if (!st) return failed(st.error().text);
    auto identity = st->load_identity();
    if (!identity) return failed(identity.error().text);
    auto pinned = st->load_host();
    if (!pinned) return failed(pinned.error().text);
    if (!*identity || !*pinned) return failed("this client is not paired yet: run pair first");
    auto endpoint = endpoint_of(options_.host.value_or((*pinned)->endpoint));
    if (!endpoint) return usage(endpoint.error().text);

    // The host must still be the one paired with before anything about this
    // device leaves the client.
    auto info = request_info(*endpoint);
    if (!info) return failed(info.error().text);
    if (info->hostId != (*pinned)->hostId || info->fingerprint != (*pinned)->fingerprint())
        return failed(impersonation_warning(endpoint->text(), info->hostId, info->fingerprint, **pinned),
                      kExitImpersonation);

    auto conn = connect(*endpoint);
    if (!conn) return failed(conn.error().text);
    Authentication auth(**identity, **pinned, Ephemeral::generate());
    if (auto s = (*conn)->send(type_byte(FrameType::AuthHello), auth.hello_body()); !s) return failed(s.error().text);
    auto challenge = (*conn)->receive();
    if (!challenge) return failed(challenge.error().text + " after AuthHello");
    const auto unpaired = [&](const protocol::Frame& f) {
        const std::string reason = parse_reason(f.body);
        return failed("the host does not know this device (\"" + reason + "\"): pair again");
    };
    if (challenge->type == type_byte(FrameType::AuthRejected)) return unpaired(*challenge);
    if (challenge->type != type_byte(FrameType::AuthChallenge))
        return failed("the host answered AuthHello with " + frame_name(challenge->type));
    auto response = auth.response_body(challenge->body);
    if (!response)
        return failed("WARNING: possible impersonation: " + response.error().text + "; the session was not started",
                      kExitImpersonation);
    if (auto s = (*conn)->send(type_byte(FrameType::AuthResponse), *response); !s) return failed(s.error().text);
    auto accepted = (*conn)->receive();
    if (!accepted) {
        if (accepted.error().kind == ReceiveFailure::Kind::Closed)
            return failed("the host closed the connection: it did not accept this device's signature");
        return failed(accepted.error().text + " after AuthResponse");
    }
    if (accepted->type == type_byte(FrameType::AuthRejected)) return unpaired(*accepted);
    if (accepted->type != type_byte(FrameType::AuthAccepted))
        return failed("the host answered AuthResponse with " + frame_name(accepted->type));
    (*conn)->start_secure(auth.session_key());
    auto body = (*conn)->open(*accepted);
    if (!body) return failed(body.error().text);
    if (to_string(*body) != "{}") return failed("AuthAccepted carries " + to_string(*body) + " instead of {}");

    Session session(std::move(*conn), **pinned, auth.challenge().udpPort, options_.udp);
    return action(session);
}

Outcome check(const Status& s) {
    if (!s) return failed(s.error().text);
    return {};
}

// Everything sent before a Pong has been carried out by the host.
Outcome settle(Session& s) {
    auto rtt = s.ping();
    if (!rtt) return failed(rtt.error().text);
    return {};
}

Outcome send_inputs(Session& s, std::initializer_list<InputCommand> commands) {
    for (const auto& c : commands)
        if (auto r = check(s.input(c)); !r) return r;
    return settle(s);
}

// Checks the arguments of a session command and returns what it does once
// the session stands; nothing is sent when the arguments are wrong.
std::expected<SessionAction, Failure> plan(const std::string& command, const std::vector<std::string>& args,
                                           const Options& options, std::ostream& out, std::ostream& err) {
    auto arity = [&](std::size_t least, std::size_t most) -> Outcome {
        if (args.size() < least || args.size() > most) return usage("wrong number of arguments for " + command);
        return {};
    };
    if (command == "type") {
        if (args.empty()) return usage("type needs the text to type");
        const std::string text = join(args, 0);
        return [text](Session& s) -> Outcome {
            const std::string body = json_body([&](JsonWriter& w) { w.key("text").string(text); });
            if (auto r = check(s.send(type_byte(FrameType::TextUtf8), body)); !r) return r;
            return settle(s);
        };
    }
    if (command == "key") {
        if (auto a = arity(1, 1); !a) return std::unexpected(a.error());
        auto combo = parse_combo(args[0]);
        if (!combo) return usage(combo.error().text);
        const Combo c = *combo;
        return [c](Session& s) {
            return send_inputs(s, {key(c.key, kKeyDown, c.modifiers), key(c.key, kKeyUp, c.modifiers)});
        };
    }
    if (command == "move") {
        if (auto a = arity(2, 2); !a) return std::unexpected(a.error());
        const auto dx = parse_float(args[0]), dy = parse_float(args[1]);
        if (!dx || !dy) return usage("move takes two numbers (pixels)");
        return [dx = *dx, dy = *dy](Session& s) { return send_inputs(s, {mouse_move(dx, dy)}); };
    }
    if (command == "click") {
        if (auto a = arity(0, 1); !a) return std::unexpected(a.error());
        const std::string name = args.empty() ? "left" : fold_name(args[0]);
        const std::uint8_t button = name == "left" ? kLeftButton : name == "right" ? kRightButton
                                  : name == "middle" ? kMiddleButton : 0;
        if (button == 0) return usage("click takes left, right or middle");
        return [button](Session& s) {
            return send_inputs(s, {mouse_button(button, true), mouse_button(button, false)});
        };
    }
    if (command == "scroll") {
        if (auto a = arity(1, 2); !a) return std::unexpected(a.error());
        const auto y = parse_float(args[0]);
        const auto x = args.size() > 1 ? parse_float(args[1]) : std::optional<float>(0.0f);
        if (!y || !x) return usage("scroll takes one or two numbers");
        return [x = *x, y = *y](Session& s) { return send_inputs(s, {scroll(x, y)}); };
    }
    if (command == "clip") {
        if (args.empty()) return usage("clip get or clip set <text>");
        if (args[0] == "get") {
            if (args.size() != 1) return usage("clip get takes no text");
            const bool copy = options.copy;
            return [copy, &out, &err](Session& s) -> Outcome {
                const std::string body = json_body([&](JsonWriter& w) { w.key("copyFirst").boolean(copy); });
                if (auto r = check(s.send(type_byte(FrameType::ClipboardGet), body)); !r) return r;
                auto content = s.await(type_byte(FrameType::ClipboardContent));
                if (!content) return failed(content.error().text);
                const auto j = parse_strict(content->body);
                if (!j || !j->is_object() || !j->contains("text") || !(*j)["text"].is_string())
                    return failed("the host sent a malformed ClipboardContent");
                out << (*j)["text"].get<std::string>() << '\n';
                if (j->contains("truncated") && (*j)["truncated"] == true)
                    err << "note: the host cut the clipboard text to 48000 bytes\n";
                return {};
            };
        }
        if (args[0] == "set") {
            if (args.size() < 2) return usage("clip set needs the text");
            const std::string text = join(args, 1);
            const bool paste = options.paste;
            return [text, paste](Session& s) -> Outcome {
                const std::string body = json_body([&](JsonWriter& w) {
                    w.key("text").string(text).key("autoPaste").boolean(paste);
                });
                if (auto r = check(s.send(type_byte(FrameType::ClipboardSet), body)); !r) return r;
                return settle(s);
            };
        }
        return usage("clip get or clip set <text>");
    }
    if (command == "media") {
        if (auto a = arity(1, 1); !a) return std::unexpected(a.error());
        const auto code = media_code(args[0]);
        if (!code) return usage("media takes one of " + std::string(media_names()));
        return [code = *code](Session& s) { return send_inputs(s, {media_key(code)}); };
    }
    if (command == "lock") {
        if (auto a = arity(0, 0); !a) return std::unexpected(a.error());
        return [](Session& s) { return send_inputs(s, {edit_shortcut(kEditLock)}); };
    }
    if (command == "sas") {
        if (auto a = arity(0, 0); !a) return std::unexpected(a.error());
        return [&out](Session& s) -> Outcome {
            if (auto r = check(s.input(edit_shortcut(kEditCtrlAltDel))); !r) return r;
            auto result = s.await(type_byte(FrameType::SasResult));
            if (!result) return failed(result.error().text);
            const auto j = parse_strict(result->body);
            if (!j || !j->is_object()) return failed("the host sent a malformed SasResult");
            const std::string code = j->value("code", ""), message = j->value("message", "");
            if (code != "sas_ok") return failed(code + ": " + message);
            out << code << ": " << message << '\n';
            return {};
        };
    }
    if (command == "pad") {
        if (auto a = arity(1, 1); !a) return std::unexpected(a.error());
        const std::string v = fold_name(args[0]);
        if (v != "on" && v != "off") return usage("pad takes on or off");
        const bool on = v == "on";
        return [on](Session& s) -> Outcome {
            const std::string body = json_body([&](JsonWriter& w) { w.key("enabled").boolean(on); });
            if (auto r = check(s.send(type_byte(FrameType::ControllerState), body)); !r) return r;
            return settle(s);
        };
    }
    if (command == "ping") {
        if (auto a = arity(0, 1); !a) return std::unexpected(a.error());
        unsigned count = 1;
        if (!args.empty()) {
            const auto [end, ec] = std::from_chars(args[0].data(), args[0].data() + args[0].size(), count);
            if (ec != std::errc() || end != args[0].data() + args[0].size() || count == 0 || count > 1000)
                return usage("ping takes a count from 1 to 1000");
        }
        return [count, &out](Session& s) -> Outcome {
            for (unsigned i = 0; i < count; ++i) {
                auto rtt = s.ping();
                if (!rtt) return failed(rtt.error().text);
                out << "pong from " << s.host().hostName << ": " << millis(*rtt) << '\n';
            }
            return {};
        };
    }
    return usage("unknown command \"" + command + "\" (see hearthpad-client --help)");
}

}  // namespace

int run(const Invocation& inv, std::ostream& out, std::ostream& err) {
    crypto::init();
    Runner runner(inv.options, out, err);
    Outcome outcome;
    if (inv.command == "help") {
        out << usage_text();
    } else if (inv.command == "discover") {
        outcome = runner.discover(inv.args);
    } else if (inv.command == "info") {
        outcome = runner.info(inv.args);
    } else if (inv.command == "pair") {
        outcome = runner.pair(inv.args);
    } else {
        auto action = plan(inv.command, inv.args, inv.options, out, err);
        outcome = action ? runner.in_session(*action) : std::unexpected(action.error());
    }
    out.flush();
    if (!outcome) {
        err << (outcome.error().code == kExitImpersonation ? "" : "error: ") << outcome.error().text << '\n';
        if (outcome.error().code == kExitUsage) err << "usage: hearthpad-client [options] <command> (see --help)\n";
        err.flush();
        return outcome.error().code;
    }
    return kExitOk;
}

}  // namespace hp::client
