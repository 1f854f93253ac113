// The session messages of a client: typed text, the clipboard both ways,
// pings, input records and the controller switch.
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "base/utf8.h"
#include "commands/commands.h"
#include "input/held_input.h"
#include "input/text.h"
#include "protocol/frame.h"
#include "protocol/messages.h"

namespace hp::commands {

using host::HostLock;
using host::HostState;
using protocol::FrameType;

std::string clipboard_reply(std::string_view text) {
    input::TruncatedText cut = input::truncate_utf8(text);
    std::string body = protocol::encode_clipboard_content(cut.text, cut.truncated);
    while (body.size() > protocol::kMaxSecurePlainBody) {
        // Shrink in proportion to the overshoot (escaping at most sextuples a
        // byte), plus a margin, so a few rounds always suffice.
        const std::size_t excess = body.size() - protocol::kMaxSecurePlainBody;
        const std::size_t shrink = std::max<std::size_t>(excess / 6 + 1, excess * cut.text.size() / body.size() + 1);
        const std::size_t limit = cut.text.size() > shrink ? cut.text.size() - shrink : 0;
        cut = input::truncate_utf8(cut.text, limit);
        cut.truncated = true;
        body = protocol::encode_clipboard_content(cut.text, true);
    }
    return body;
}

std::string clipboard_content(platform::PlatformServices& platform) {
    const std::optional<std::string> text = platform.getClipboard();
    return clipboard_reply(text.value_or(std::string()));
}

namespace {

// Text a client types or puts on the clipboard loses its U+0000: a typed NUL
// is no character, and Windows' text formats end at the first one. (In
// valid UTF-8 a zero byte is that character and nothing else.)
std::string without_nul(std::string text) {
    std::erase(text, '\0');
    return text;
}

}  // namespace

Reply session_message(HostState& state, std::uint64_t id, std::uint8_t type, ByteView body) {
    Reply reply;
    switch (static_cast<FrameType>(type)) {
        case FrameType::Ping: {
            auto ping = protocol::parse_ping(body);
            if (!ping) break;
            {
                HostLock lock(state);
                if (state.input.activeClient == id) state.input.lastInputAt = Clock::now();
            }
            reply.kind = Reply::Kind::Send;
            reply.type = protocol::type_byte(FrameType::Pong);
            reply.body = protocol::encode_pong(ping->ts);
            break;
        }
        case FrameType::TextUtf8: {
            auto msg = protocol::parse_text_utf8(body);
            if (!msg) break;
            const std::u16string units = utf8_to_utf16(without_nul(std::move(msg->text)));
            HostLock lock(state);
            set_active_client(lock, id);
            state.input.lastInputAt = Clock::now();
            if (!units.empty()) input::type_text(lock, units);
            break;
        }
        case FrameType::ClipboardSet: {
            auto msg = protocol::parse_clipboard_set(body);
            if (!msg) break;
            HostLock lock(state);
            set_active_client(lock, id);
            state.input.lastInputAt = Clock::now();
            state.platform->setClipboard(without_nul(std::move(msg->text)));
            if (msg->autoPaste) input::press_combo(lock, {input::kVkCtrl}, 'V');
            break;
        }
        case FrameType::InputCommand: {
            auto cmd = protocol::decode_input_record(body);
            if (!cmd) break;
            HostLock lock(state);
            execute(lock, id, *cmd, Clock::now());
            break;
        }
        case FrameType::ClipboardGet: {
            auto msg = protocol::parse_clipboard_get(body);
            if (!msg) break;
            HostLock lock(state);
            set_active_client(lock, id);
            if (msg->copyFirst) {
                state.input.lastInputAt = Clock::now();
                input::press_combo(lock, {input::kVkCtrl}, 'C');
            }
            reply.kind = Reply::Kind::ReadClipboard;
            reply.waitForCopy = msg->copyFirst;
            reply.platform = state.platform;
            break;
        }
        case FrameType::ControllerState: {
            auto msg = protocol::parse_controller_state(body);
            if (!msg) break;
            HostLock lock(state);
            if (auto it = state.sessions.find(id); it != state.sessions.end())
                it->second.controllerEnabled = msg->enabled;
            set_active_client(lock, id);
            refresh_controller_switch(lock);
            break;
        }
        default: break;  // not a session message from a client
    }
    return reply;
}

}  // namespace hp::commands
