#include "client/session.h"

#include "base/json.h"
#include "client/handshake.h"

namespace hp::client {

namespace {

using protocol::FrameType;
using protocol::type_byte;

std::uint64_t unix_millis() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

Status Session::input(InputCommand command) {
    command.version = 1;
    command.seq = nextSeq_++;
    const auto record = protocol::encode_input_record(command);
    if (udp_) return connection_->send_datagram(udpPort_, record);
    return connection_->send(type_byte(FrameType::InputCommand), ByteView(record));
}

Status Session::send(std::uint8_t type, const std::string& body) { return connection_->send(type, body); }

Result<protocol::Frame> Session::await(std::uint8_t type) {
    for (;;) {
        auto frame = connection_->receive();
        if (!frame) return fail(frame.error().text);
        if (frame->type == type) return std::move(*frame);
        if (frame->type == type_byte(FrameType::SessionEnded)) {
            const std::string reason = parse_reason(frame->body);
            if (reason == "removed_by_user")
                return fail("the host ended the session (\"removed_by_user\"): this device was removed there; pair again");
            return fail("the host ended the session (\"" + reason + "\")");
        }
    }
}

Result<std::chrono::microseconds> Session::ping() {
    const std::uint64_t ts = unix_millis();
    JsonWriter w;
    w.begin_object().key("ts").uint(ts).end_object();
    const auto start = std::chrono::steady_clock::now();
    if (auto s = send(type_byte(FrameType::Ping), w.take()); !s) return std::unexpected(s.error());
    for (;;) {
        auto pong = await(type_byte(FrameType::Pong));
        if (!pong) return std::unexpected(pong.error());
        const auto j = parse_strict(pong->body);
        if (j && j->is_object() && j->contains("ts") && (*j)["ts"].is_number_unsigned() &&
            (*j)["ts"].get<std::uint64_t>() == ts)
            return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    }
}

}  // namespace hp::client
