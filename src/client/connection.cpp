#include "client/connection.h"

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <optional>

#include "client/datagram.h"
#include "protocol/datagram.h"

namespace hp::client {

namespace {

using Clock = std::chrono::steady_clock;
using protocol::FrameType;

// Runs one asynchronous operation for at most `limit`; when the time is up
// the operation is cancelled and timed_out reported.
template <class Start, class Cancel>
asio::error_code run_for(asio::io_context& context, Clock::duration limit, Start start, Cancel cancel) {
    std::optional<asio::error_code> result;
    start([&result](const asio::error_code& ec) { result = ec; });
    context.restart();
    context.run_for(std::max(limit, Clock::duration::zero()));
    if (result) return *result;
    cancel();
    context.restart();
    context.run();
    if (result && *result != asio::error::operation_aborted) return *result;
    return asio::error::timed_out;
}

std::string seconds_text(std::chrono::milliseconds t) {
    const auto ms = t.count();
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

std::string body_text(ByteView body) {
    if (!body.empty() && (body[0] == '{' || body[0] == '['))
        return std::string(reinterpret_cast<const char*>(body.data()), body.size());
    return body.empty() ? "(empty)" : crypto::hex_encode(body);
}

}  // namespace

std::string frame_name(std::uint8_t type) {
    switch (static_cast<FrameType>(type)) {
        case FrameType::PairRequest: return "PairRequest";
        case FrameType::PairChallenge: return "PairChallenge";
        case FrameType::PairConfirm: return "PairConfirm";
        case FrameType::PairAccepted: return "PairAccepted";
        case FrameType::HostInfo: return "HostInfo";
        case FrameType::PairRejected: return "PairRejected";
        case FrameType::AuthHello: return "AuthHello";
        case FrameType::AuthChallenge: return "AuthChallenge";
        case FrameType::AuthResponse: return "AuthResponse";
        case FrameType::AuthAccepted: return "AuthAccepted";
        case FrameType::AuthRejected: return "AuthRejected";
        case FrameType::Ping: return "Ping";
        case FrameType::Pong: return "Pong";
        case FrameType::TextUtf8: return "TextUtf8";
        case FrameType::ClipboardSet: return "ClipboardSet";
        case FrameType::InputCommand: return "InputCommand";
        case FrameType::SasResult: return "SasResult";
        case FrameType::ClipboardGet: return "ClipboardGet";
        case FrameType::ClipboardContent: return "ClipboardContent";
        case FrameType::ControllerState: return "ControllerState";
        case FrameType::SessionEnded: return "SessionEnded";
    }
    static constexpr char hex[] = "0123456789abcdef";
    return std::string("type 0x") + hex[type >> 4] + hex[type & 15];
}

struct Connection::Io {
    asio::io_context context;
    asio::ip::tcp::socket socket{context};
    asio::ip::tcp::endpoint peer;
    std::optional<asio::ip::udp::socket> udp;

    void close() {
        asio::error_code ignored;
        if (socket.is_open()) {
            socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
            socket.close(ignored);
        }
        if (udp && udp->is_open()) udp->close(ignored);
    }
};

Connection::Connection(std::unique_ptr<Io> io, Endpoint endpoint, std::chrono::milliseconds timeout, Trace trace)
    : io_(std::move(io)), endpoint_(std::move(endpoint)), timeout_(timeout), trace_(std::move(trace)) {}

Connection::~Connection() { io_->close(); }

void Connection::trace(const std::string& line) const {
    if (trace_) trace_(line);
}

Result<std::unique_ptr<Connection>> Connection::open(const Endpoint& endpoint, std::chrono::milliseconds timeout,
                                                     Trace trace) {
    auto io = std::make_unique<Io>();
    const auto deadline = Clock::now() + timeout;
    asio::ip::tcp::resolver resolver(io->context);
    asio::ip::tcp::resolver::results_type results;
    auto ec = run_for(
        io->context, deadline - Clock::now(),
        [&](auto done) {
            resolver.async_resolve(endpoint.host, std::to_string(endpoint.port),
                                   [&results, done](const asio::error_code& e, auto r) {
                                       results = std::move(r);
                                       done(e);
                                   });
        },
        [&] { resolver.cancel(); });
    if (ec == asio::error::timed_out) return fail("cannot find " + endpoint.host + ": no answer within " + seconds_text(timeout));
    if (ec) return fail("cannot find " + endpoint.host + ": " + ec.message());

    ec = run_for(
        io->context, deadline - Clock::now(),
        [&](auto done) {
            asio::async_connect(io->socket, results,
                                [&io = *io, done](const asio::error_code& e, const asio::ip::tcp::endpoint& at) {
                                    io.peer = at;
                                    done(e);
                                });
        },
        [&] {
            asio::error_code ignored;
            io->socket.close(ignored);
        });
    if (ec == asio::error::timed_out)
        return fail("cannot reach " + endpoint.text() + ": no answer within " + seconds_text(timeout));
    if (ec) return fail("cannot reach " + endpoint.text() + ": " + ec.message());
    asio::error_code ignored;
    io->socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    if (trace) trace("connected to " + endpoint.text());
    return std::unique_ptr<Connection>(new Connection(std::move(io), endpoint, timeout, std::move(trace)));
}

std::string Connection::peer_address() const { return io_->peer.address().to_string(); }

void Connection::start_secure(const crypto::Key32& sessionKey) {
    keys_ = std::make_unique<protocol::SessionKeys>();
    keys_->key = crypto::SessionKey(sessionKey);
}

Result<Bytes> Connection::open(const protocol::Frame& frame) {
    if (!keys_) return fail("no session key yet");
    auto plain = protocol::decode_secure(*keys_, protocol::kHostToClient, frame.type, frame.body);
    if (!plain) return fail(frame_name(frame.type) + " does not decrypt with the session key");
    trace("  " + frame_name(frame.type) + " opened: " + body_text(*plain));
    return std::move(*plain);
}

Status Connection::send(std::uint8_t type, ByteView body) {
    Result<Bytes> wire = keys_ ? protocol::encode_secure(*keys_, protocol::kClientToHost, type, body)
                               : protocol::encode_plain(type, body);
    if (!wire) return fail("cannot send " + frame_name(type) + ": " + wire.error().text);
    trace("> " + frame_name(type) + (keys_ ? " (encrypted) " : " ") + body_text(body));
    const auto ec = run_for(
        io_->context, timeout_,
        [&](auto done) {
            asio::async_write(io_->socket, asio::buffer(*wire),
                              [done](const asio::error_code& e, std::size_t) { done(e); });
        },
        [&] {
            asio::error_code ignored;
            io_->socket.cancel(ignored);
        });
    if (ec) return fail("cannot send to " + endpoint_.text() + ": " + ec.message());
    return {};
}

std::expected<protocol::Frame, ReceiveFailure> Connection::receive() {
    using Kind = ReceiveFailure::Kind;
    const auto deadline = Clock::now() + timeout_;
    std::array<std::uint8_t, 16384> chunk{};
    for (;;) {
        protocol::Frame frame;
        switch (reader_.next(frame)) {
            case protocol::FrameReader::Status::Frame: {
                if (keys_) {
                    auto plain = protocol::decode_secure(*keys_, protocol::kHostToClient, frame.type, frame.body);
                    if (!plain)
                        return std::unexpected(ReceiveFailure{Kind::Bad, "a frame from the host does not decrypt"});
                    frame.body = std::move(*plain);
                }
                trace("< " + frame_name(frame.type) + (keys_ ? " (encrypted) " : " ") + body_text(frame.body));
                return frame;
            }
            case protocol::FrameReader::Status::Bad:
                return std::unexpected(ReceiveFailure{Kind::Bad, "the host sent a frame of impossible length"});
            case protocol::FrameReader::Status::NeedMore: break;
        }
        std::size_t n = 0;
        const auto ec = run_for(
            io_->context, deadline - Clock::now(),
            [&](auto done) {
                io_->socket.async_read_some(asio::buffer(chunk), [&n, done](const asio::error_code& e, std::size_t k) {
                    n = k;
                    done(e);
                });
            },
            [&] {
                asio::error_code ignored;
                io_->socket.cancel(ignored);
            });
        if (ec == asio::error::timed_out)
            return std::unexpected(
                ReceiveFailure{Kind::Timeout, "no answer from the host within " + seconds_text(timeout_)});
        if (ec) {
            trace("< connection closed");
            return std::unexpected(ReceiveFailure{Kind::Closed, "the host closed the connection"});
        }
        reader_.feed(ByteView(chunk.data(), n));
    }
}

bool Connection::wait_closed() {
    auto next = receive();
    return !next && next.error().kind == ReceiveFailure::Kind::Closed;
}

Status Connection::send_datagram(std::uint16_t udpPort, ByteView inputRecord) {
    if (!keys_) return fail("datagrams need an established session");
    if (inputRecord.size() != protocol::kInputRecordSize) return fail("an input record has 20 bytes");
    const asio::ip::udp::endpoint target(io_->peer.address(), udpPort);
    if (!io_->udp) {
        asio::error_code ec;
        io_->udp.emplace(io_->context);
        io_->udp->open(target.protocol(), ec);
        if (!ec) io_->udp->connect(target, ec);
        if (ec) return fail("cannot open a UDP socket to " + endpoint_.host + ": " + ec.message());
    }
    const std::uint64_t seq = get_u64le(inputRecord.data() + 4);
    const auto datagram = seal_input(keys_->key.bytes(), inputRecord, true);
    const auto expected = expected_ack(keys_->key.bytes(), seq);
    constexpr int kTries = 3;
    const auto wait = std::min<std::chrono::milliseconds>(timeout_, std::chrono::milliseconds(700));
    for (int attempt = 1; attempt <= kTries; ++attempt) {
        trace("> datagram to port " + std::to_string(udpPort) + " " + crypto::hex_encode(datagram));
        asio::error_code ec;
        io_->udp->send(asio::buffer(datagram), 0, ec);
        if (ec) return fail("cannot send a datagram to " + endpoint_.host + ": " + ec.message());
        const auto until = Clock::now() + wait;
        while (Clock::now() < until) {
            std::array<std::uint8_t, 64> reply{};
            std::size_t n = 0;
            ec = run_for(
                io_->context, until - Clock::now(),
                [&](auto done) {
                    io_->udp->async_receive(asio::buffer(reply), [&n, done](const asio::error_code& e, std::size_t k) {
                        n = k;
                        done(e);
                    });
                },
                [&] {
                    asio::error_code ignored;
                    io_->udp->cancel(ignored);
                });
            if (ec) break;  // time is up, or the host's port reported unreachable: send again
            trace("< datagram " + crypto::hex_encode(ByteView(reply.data(), n)));
            if (is_ack(ByteView(reply.data(), n), expected)) return {};
        }
    }
    return fail("no acknowledgement from " + endpoint_.host + " port " + std::to_string(udpPort) +
                " for datagram " + std::to_string(seq));
}

}  // namespace hp::client
