#include "server/session.h"

#include <algorithm>
#include <deque>
#include <mutex>

#include "server/awaitable.h"
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "commands/commands.h"
#include "protocol/frame.h"
#include "protocol/handshake.h"
#include "protocol/messages.h"
#include "server/outgoing_queue.h"
#include "server/sockets.h"

namespace hp::server {

using asio::ip::tcp;
using host::HostEvent;
using host::HostEventKind;
using host::HostLock;
using host::SessionMessage;
using protocol::FrameType;

namespace {

class Session;

// The sending side of a session's channel: never blocks, fails once the
// session has gone.
class ChannelSender : public host::SessionSender {
public:
    explicit ChannelSender(std::weak_ptr<Session> s) : session_(std::move(s)) {}
    bool send(SessionMessage message) override;

private:
    std::weak_ptr<Session> session_;
};

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, IpAddress peer, std::shared_ptr<const ServerContext> ctx)
        : socket_(std::move(socket)),
          peer_(peer),
          ctx_(std::move(ctx)),
          state_(*ctx_->state),
          watch_(socket_.get_executor()) {}

    // Counted as unauthenticated under `admissionId` until it is established.
    void start(std::optional<std::uint64_t> admissionId) {
        admission_id_ = admissionId;
        // However busy the peer keeps it, a connection that has not
        // established a session by the deadline is closed.
        const auto now = WatchClock::now();
        handshake_due_ = now + ctx_->limits.handshakeDeadline;
        watch_until(std::min(handshake_due_, now + ctx_->idleTimeout));
        asio::co_spawn(socket_.get_executor(), run(shared_from_this()), asio::detached);
    }

    // Closes the connection from another thread (eviction by admission).
    void close_from_outside() {
        asio::post(socket_.get_executor(), [self = shared_from_this()] { self->close_now(); });
    }

    // Called from any thread by ChannelSender.
    bool deliver(SessionMessage m) {
        {
            std::lock_guard lock(inbox_mutex_);
            if (inbox_closed_) return false;
            inbox_.push_back(std::move(m));
            if (drain_posted_) return true;
            drain_posted_ = true;
        }
        asio::post(socket_.get_executor(), [self = shared_from_this()] { self->drain_inbox(); });
        return true;
    }

private:
    enum class Next { Continue, End };

    // `self` keeps the session alive while its coroutine runs.
    asio::awaitable<void> run([[maybe_unused]] std::shared_ptr<Session> self) {
        asio::error_code ignored;
        socket_.set_option(tcp::no_delay(true), ignored);
        Bytes chunk(8192);
        for (;;) {
            // Once the session is told to end, nothing more it sent is acted on.
            if (stopping_) break;
            protocol::Frame frame;
            auto status = reader_.next(frame);
            if (status == protocol::FrameReader::Status::Bad) break;
            if (status == protocol::FrameReader::Status::Frame) {
                if (co_await handle_frame(frame) == Next::End) break;
                continue;
            }
            // No data before the deadline: the watch cancels the read.
            read_due_ = WatchClock::now() + ctx_->idleTimeout;
            reading_ = true;
            watch_until(read_due_);
            auto [ec, n] = co_await socket_.async_read_some(
                asio::buffer(chunk), asio::bind_cancellation_slot(read_cancel_.slot(), use_tuple));
            reading_ = false;
            if (ec || stopping_) break;
            reader_.feed(ByteView(chunk.data(), n));
        }
        end();
    }

    asio::awaitable<Next> handle_frame(protocol::Frame& frame) {
        if (!session_id_) co_return handle_handshake(frame);
        auto plain = protocol::decode_secure(keys_, protocol::kClientToHost, frame.type, frame.body);
        if (!plain) co_return Next::End;
        co_return co_await dispatch(frame.type, *plain);
    }

    Next handle_handshake(const protocol::Frame& frame) {
        // Each handshake costs key agreement and a signature: a source that
        // asks too often is closed without a reply.
        const bool starts_handshake = frame.type == protocol::type_byte(FrameType::PairRequest) ||
                                      frame.type == protocol::type_byte(FrameType::AuthHello);
        if (starts_handshake && ctx_->admission && !ctx_->admission->allow_handshake(peer_, Clock::now()))
            return Next::End;
        const discovery::NetworkSnapshot net =
            ctx_->network ? ctx_->network->get() : discovery::NetworkSnapshot{};
        using Kind = protocol::HandshakeOutcome::Kind;
        const protocol::HandshakeOutcome outcome = commands::handshake_frame(
            state_, handshake_, net, peer_, frame.type, frame.body,
            [this](const host::Locked& locked, const protocol::Established& est) {
                return register_session(locked, est);
            });
        switch (outcome.kind) {
            case Kind::Reply:
                for (const auto& f : outcome.frames)
                    if (!write_plain(f)) return Next::End;
                return Next::Continue;
            case Kind::ReplyAndClose:
                for (const auto& f : outcome.frames)
                    if (!write_plain(f)) break;
                return Next::End;
            case Kind::Reject: return Next::End;
            case Kind::Established: break;
        }
        const auto& est = *outcome.established;
        release_admission();
        for (const auto& f : est.plainFrames)
            if (!write_plain(f)) return Next::End;
        keys_ = protocol::SessionKeys{est.sessionKey, 0, 0};
        secure_ = true;
        for (const auto& f : est.secureFrames)
            if (!write_secure(f.type, f.body)) return Next::End;
        return Next::Continue;
    }

    // Takes the next session id and inserts the session's entry. This
    // happens before the last handshake frame leaves: a client may send input
    // datagrams as soon as it reads that frame, and they must find the
    // session (and its key) already there.
    std::uint64_t register_session(const host::Locked& locked, const protocol::Established& est) {
        host::HostState& state = *locked;
        const std::uint64_t id = state.nextSessionId++;
        host::SessionEntry entry;
        entry.id = id;
        entry.clientId = est.clientId;
        entry.deviceName = est.deviceName;
        entry.peer = peer_;
        entry.key = est.sessionKey;
        entry.sender = std::make_shared<ChannelSender>(weak_from_this());
        state.sessions.emplace(id, std::move(entry));
        state.sessionPeers.add(peer_);
        state.pendingEvents.push_back(HostEvent{HostEventKind::SessionOpened, est.deviceName, false});
        session_id_ = id;
        return id;
    }

    // What the message means is the commands module's; the session only
    // writes the reply it asks for.
    asio::awaitable<Next> dispatch(std::uint8_t type, const Bytes& body) {
        commands::Reply reply = commands::session_message(state_, *session_id_, type, body);
        switch (reply.kind) {
            case commands::Reply::Kind::None: break;
            case commands::Reply::Kind::Send:
                if (!write_secure(reply.type, as_bytes(reply.body))) co_return Next::End;
                break;
            case commands::Reply::Kind::ReadClipboard: {
                if (reply.waitForCopy) {
                    asio::steady_timer wait(socket_.get_executor(), ctx_->copyWait);
                    co_await wait.async_wait(use_tuple);
                    // Told to end meanwhile (the device was removed): nothing
                    // may follow SessionEnded.
                    if (stopping_) co_return Next::End;
                }
                // Read without the host lock (see clipboard_content).
                const std::string content = commands::clipboard_content(*reply.platform);
                if (!write_secure(protocol::type_byte(FrameType::ClipboardContent), as_bytes(content)))
                    co_return Next::End;
                break;
            }
        }
        co_return Next::Continue;
    }

    // --- channel ------------------------------------------------------------
    void drain_inbox() {
        std::deque<SessionMessage> batch;
        {
            std::lock_guard lock(inbox_mutex_);
            batch.swap(inbox_);
            drain_posted_ = false;
        }
        for (auto& m : batch) {
            if (ended_) return;
            switch (m.kind) {
                case SessionMessage::Kind::SendFrame:
                    if (!write_secure(m.type, m.body)) close_now();
                    break;
                case SessionMessage::Kind::RemovedByUser:
                    write_secure(protocol::type_byte(FrameType::SessionEnded),
                                 as_bytes(protocol::encode_reason(protocol::kReasonRemovedByUser)));
                    stop_reading();
                    return;
                case SessionMessage::Kind::End:
                    stop_reading();
                    return;
            }
        }
    }

    // Makes the read loop finish; queued frames are still written.
    void stop_reading() {
        stopping_ = true;
        asio::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_receive, ignored);
        cancel_read();
    }

    void cancel_read() {
        if (reading_) read_cancel_.emit(asio::cancellation_type::terminal);
    }

    // --- deadlines ----------------------------------------------------------
    // One timer watches every deadline of the connection: the handshake's, the
    // read's (no data for idleTimeout), the write's (a write that takes longer
    // than idleTimeout) and the last frames' (after the end). Deadlines only
    // move later, so the timer is set again only when one comes due before
    // its expiry; when it fires early it acts on what is due and waits for the
    // next. A quiet read or write costs no timer operation.
    using WatchClock = asio::steady_timer::clock_type;

    void watch_until(WatchClock::time_point due) {
        if (closed_ || (watch_armed_ && due >= watch_expiry_)) return;
        watch_armed_ = true;
        watch_expiry_ = due;
        watch_.expires_at(due);
        watch_.async_wait([weak = weak_from_this()](asio::error_code ec) {
            if (ec) return;
            if (auto s = weak.lock()) s->on_watch();
        });
    }

    void on_watch() {
        watch_armed_ = false;
        if (closed_) return;
        const auto now = WatchClock::now();
        const bool handshaking = !session_id_ && !ended_;
        if ((handshaking && now >= handshake_due_) || (outq_.writing() && now >= write_due_) ||
            (ended_ && now >= flush_due_)) {
            close_now();
            return;
        }
        if (reading_ && now >= read_due_) cancel_read();
        std::optional<WatchClock::time_point> next;
        const auto consider = [&](bool active, WatchClock::time_point due) {
            if (active && (!next || due < *next)) next = due;
        };
        consider(handshaking, handshake_due_);
        consider(outq_.writing(), write_due_);
        consider(ended_, flush_due_);
        consider(reading_ && now < read_due_, read_due_);
        if (next) watch_until(*next);
    }

    // --- writing ------------------------------------------------------------
    bool write_plain(const protocol::Frame& f) {
        auto bytes = protocol::encode_plain(f.type, f.body);
        if (!bytes) return false;
        return enqueue(std::move(*bytes));
    }

    // Once the session is told to end (after SessionEnded, for one) nothing
    // more is written.
    bool write_secure(std::uint8_t type, ByteView body) {
        if (!secure_ || closed_ || stopping_) return false;
        auto bytes = protocol::encode_secure(keys_, protocol::kHostToClient, type, body);
        if (!bytes) return false;  // over the sending limit: the session ends
        return enqueue(std::move(*bytes));
    }

    // A peer that does not read must not make the host hold its replies
    // without end: past the cap the session ends.
    bool enqueue(Bytes bytes) {
        switch (outq_.push(std::move(bytes))) {
            case OutgoingQueue::Push::Closed: return false;
            case OutgoingQueue::Push::OverCap: close_now(); return false;
            case OutgoingQueue::Push::Queued: break;
        }
        start_write();
        return true;
    }

    void start_write() {
        const auto next = outq_.start_write();
        if (!next) return;
        // A write that does not finish within the deadline ends the session,
        // like a peer that sends nothing.
        write_due_ = WatchClock::now() + ctx_->idleTimeout;
        watch_until(write_due_);
        asio::async_write(socket_, asio::buffer(next->data(), next->size()),
                          [self = shared_from_this()](asio::error_code ec, std::size_t) {
                              self->outq_.finish_write();
                              if (self->closed_) return;  // the buffer was kept for this write
                              if (ec) {
                                  self->close_now();
                              } else if (!self->outq_.empty()) {
                                  self->start_write();
                              } else if (self->ended_) {
                                  self->close_now();
                              }
                          });
    }

    // Closes the socket first; a write still in flight keeps its buffer
    // until its handler runs.
    void close_now() {
        if (closed_) return;
        closed_ = true;
        stopping_ = true;
        asio::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        watch_.cancel();
        watch_armed_ = false;
        outq_.close();
    }

    // --- ending -------------------------------------------------------------
    void release_admission() {
        if (admission_id_ && ctx_->admission) ctx_->admission->release(*admission_id_);
        admission_id_.reset();
    }

    void end() {
        if (ended_) return;
        ended_ = true;
        release_admission();
        {
            std::lock_guard lock(inbox_mutex_);
            inbox_closed_ = true;
            inbox_.clear();
        }
        if (session_id_) {
            HostLock lock(state_);
            std::string device;
            if (auto it = state_.sessions.find(*session_id_); it != state_.sessions.end()) {
                device = it->second.deviceName;
                state_.sessions.erase(it);  // its key wipes itself
                state_.sessionPeers.remove(peer_);
            }
            commands::release_control(lock, *session_id_);
            state_.pendingEvents.push_back(HostEvent{HostEventKind::SessionClosed, device, false});
        }
        if (outq_.empty() && !outq_.writing()) {
            close_now();
            return;
        }
        // Let the last frames leave, but not forever. The write in flight
        // keeps the session alive until then.
        flush_due_ = WatchClock::now() + ctx_->idleTimeout;
        watch_until(flush_due_);
    }

    tcp::socket socket_;
    IpAddress peer_;
    std::shared_ptr<const ServerContext> ctx_;
    host::HostState& state_;
    asio::steady_timer watch_;
    bool watch_armed_ = false;
    WatchClock::time_point watch_expiry_{}, handshake_due_{}, read_due_{}, write_due_{}, flush_due_{};
    asio::cancellation_signal read_cancel_;
    bool reading_ = false;
    std::optional<std::uint64_t> admission_id_;
    protocol::FrameReader reader_;
    protocol::HandshakeState handshake_;
    protocol::SessionKeys keys_;
    bool secure_ = false;
    std::optional<std::uint64_t> session_id_;
    OutgoingQueue outq_{ctx_->maxQueuedBytes};
    bool stopping_ = false;
    bool closed_ = false;
    bool ended_ = false;

    std::mutex inbox_mutex_;
    std::deque<SessionMessage> inbox_;
    bool inbox_closed_ = false;
    bool drain_posted_ = false;
};

bool ChannelSender::send(SessionMessage message) {
    auto s = session_.lock();
    return s && s->deliver(std::move(message));
}

}  // namespace

void start_session(tcp::socket socket, IpAddress peer, std::shared_ptr<const ServerContext> ctx) {
    auto session = std::make_shared<Session>(std::move(socket), peer, ctx);
    if (!ctx->admission) {
        session->start(std::nullopt);
        return;
    }
    auto admitted = ctx->admission->admit(
        peer, [weak = std::weak_ptr<Session>(session)] {
            if (auto s = weak.lock()) s->close_from_outside();
        });
    if (!admitted) return;  // over its source's limit: closed unread as the session goes
    for (auto& close : admitted->evicted) close();
    session->start(admitted->id);
}

namespace {

bool out_of_resources(const asio::error_code& ec) {
    return ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space ||
           ec == asio::error::no_memory;
}

}  // namespace

asio::awaitable<void> accept_loop(tcp::acceptor acceptor, std::shared_ptr<const ServerContext> ctx) {
    for (;;) {
        // The connection's socket belongs to the executor it will run on for
        // its whole life; its handlers run one at a time there.
        const asio::any_io_executor target = ctx->connectionExecutor
                                                 ? ctx->connectionExecutor()
                                                 : asio::any_io_executor(asio::make_strand(acceptor.get_executor()));
        auto [ec, socket] = co_await acceptor.async_accept(target, use_tuple);
        if (ec) {
            if (ec == asio::error::operation_aborted && !acceptor.is_open()) co_return;
            // Out of descriptors or memory: make room by the admission rule
            // (never at an established session's cost) and go on at once.
            std::optional<Admission::Closer> evicted;
            if (out_of_resources(ec) && ctx->admission) evicted = ctx->admission->evict_one();
            if (evicted) (*evicted)();
            asio::steady_timer pause(acceptor.get_executor(),
                                     evicted ? std::chrono::milliseconds(1) : std::chrono::milliseconds(50));
            co_await pause.async_wait(use_tuple);
            continue;
        }
        asio::error_code pec;
        const auto remote = socket.remote_endpoint(pec);
        if (pec) continue;
        const IpAddress peer = to_ip_address(remote.address());
        if (!is_private_address(peer)) {
            asio::error_code ignored;
            socket.close(ignored);
            continue;
        }
        if (ctx->activityHook) ctx->activityHook();
        start_session(std::move(socket), peer, ctx);
    }
}

}  // namespace hp::server
