#pragma once
// An established session from the client's side: input commands over the
// stream or as datagrams, numbered from 1, and the replies it waits for.
#include <chrono>
#include <cstdint>
#include <memory>

#include "base/result.h"
#include "client/connection.h"
#include "client/handshake.h"
#include "client/input.h"

namespace hp::client {

class Session {
public:
    Session(std::unique_ptr<Connection> connection, PinnedHost host, std::uint16_t udpPort, bool udp)
        : connection_(std::move(connection)), host_(std::move(host)), udpPort_(udpPort), udp_(udp) {}

    // Gives the command the next sequence number and sends it: an
    // InputCommand frame, or with --udp an acknowledged datagram.
    Status input(InputCommand command);
    // An encrypted JSON frame.
    Status send(std::uint8_t type, const std::string& body);
    // The next frame of `type`; others are passed over. SessionEnded ends
    // the wait with the host's reason.
    Result<protocol::Frame> await(std::uint8_t type);
    // Ping and its Pong: the round trip. Frames are handled in order, so a
    // Pong also means everything sent before it has been carried out.
    Result<std::chrono::microseconds> ping();

    const PinnedHost& host() const { return host_; }
    std::uint16_t udp_port() const { return udpPort_; }

private:
    std::unique_ptr<Connection> connection_;
    PinnedHost host_;
    std::uint16_t udpPort_ = 0;
    bool udp_ = false;
    std::uint64_t nextSeq_ = 1;
};

}  // namespace hp::client
