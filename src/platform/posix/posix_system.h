#pragma once
// The Linux implementations of the platform seams, for the console host and
// the tests that need the real thing.
#include <filesystem>
#include <memory>

#include "platform/data_protection.h"
#include "platform/elevation.h"
#include "platform/process_runner.h"
#include "platform/sas_system.h"
#include "platform/system.h"
#include "platform/virtual_pad_bus.h"

namespace hp::platform {

// Environment, clock, sockets and interfaces of this Linux system, with the
// data protection keyed from default_key_dir().
std::shared_ptr<System> make_posix_system();

// Per-user protection with its key kept in `keyDir` (created owner-only).
std::unique_ptr<DataProtection> make_posix_data_protection(std::filesystem::path keyDir);

// $HEARTHPAD_KEY_DIR, else $XDG_CONFIG_HOME/Hearthpad-keys, else
// <home>/.config/Hearthpad-keys; empty when there is no home at all.
std::filesystem::path default_key_dir();

// Linux has no ViGEmBus: a bus whose driver is never present.
std::shared_ptr<VirtualPadBus> make_virtual_pad_bus();

// Linux has no secure attention sequence: the policy cannot be read.
std::shared_ptr<SasSystem> make_posix_sas_system();

// Runs programs as root through pkexec (/usr/bin/pkexec), started by
// `runner`: the user's "no" (a dismissed or refused authentication) comes
// back as declined. make_elevated_runner() gives one over the real runner.
std::shared_ptr<ElevatedRunner> make_pkexec_runner(std::shared_ptr<ProcessRunner> runner);

}  // namespace hp::platform
