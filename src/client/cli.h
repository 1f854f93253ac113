#pragma once
// The command line of hearthpad-client: options, the command and its
// arguments, and the help text.
#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"

namespace hp::client {

struct Options {
    std::optional<std::filesystem::path> dir;  // --dir; default: the per-user folder
    std::optional<std::string> host;           // --host host:port for every command after pairing
    std::optional<std::string> connect;        // --connect host:port: where pair connects
    std::optional<std::string> name;           // --name: the device name sent when pairing
    bool udp = false;                          // --udp: input commands as datagrams
    bool trace = false;                        // --trace: every frame on standard error
    bool mdns = true;                          // --no-mdns: discover probes ports only
    bool paste = false;                        // --paste (clip set)
    bool copy = false;                         // --copy (clip get)
    std::chrono::milliseconds timeout{5000};   // --timeout seconds
};

struct Invocation {
    Options options;
    std::string command;
    std::vector<std::string> args;
};

// Options may stand anywhere; "--" ends them, so text that starts with
// "--" can still be typed. Fails with the reason for a usage error.
Result<Invocation> parse_command_line(std::span<const std::string> args);

std::string usage_text();

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitImpersonation = 3;

}  // namespace hp::client
