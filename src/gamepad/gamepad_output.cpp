#include "gamepad/gamepad_output.h"

#include "input/held_input.h"

namespace hp::gamepad {

GamepadOutput::GamepadOutput(host::HostState& state, std::shared_ptr<vigem::PadHolder> holder, bool sinkPresent,
                             pad_mapping::PadMapping mapping, std::function<void()> wakeMotion)
    : state_(state),
      holder_(std::move(holder)),
      sinkPresent_(sinkPresent),
      mapping_(std::move(mapping)),
      wakeMotion_(std::move(wakeMotion)) {}

void GamepadOutput::apply(const host::Locked& locked, const host::PadState& pad) {
    if (to_virtual_pad()) {
        holder_->submit(pad);
        return;
    }
    Desktop desktop(locked);
    if (engine_.evaluate(pad, mapping_, desktop) && wakeMotion_) wakeMotion_();
}

void GamepadOutput::neutral(const host::Locked&) {
    if (sinkPresent_) holder_->neutral();
}

void GamepadOutput::setSwitch(const host::Locked& locked, bool on, bool clientGone) {
    // The switch and its generation change now, with padEnabled, so whoever
    // takes the lock next (a pad datagram on another worker) finds them in
    // step. Only the background work waits until the lock is released and
    // the "switch on"/"switch off" line is written before its own lines.
    const vigem::SwitchChange change = holder_->storeSwitch(on, clientGone);
    locked->deferred.push_back([holder = holder_, change] { holder->follow(change); });
}

void GamepadOutput::reset(const host::Locked& locked) {
    Desktop desktop(locked);
    engine_.reset(desktop);
}

void GamepadOutput::install(const host::Locked& locked, const pad_mapping::PadMapping& mapping) {
    if (mapping.useMapping != mapping_.useMapping) {
        reset(locked);
        neutral(locked);
    }
    mapping_ = mapping;
    if (!locked->input.pad.neutral()) apply(locked, locked->input.pad);
}

bool GamepadOutput::motion_step(const host::Locked& locked, Instant now) {
    Desktop desktop(locked);
    return engine_.motion().step(now, desktop);
}

void GamepadOutput::Desktop::keyDown(host::KeyCode code) { input::key_down(locked_, code); }
void GamepadOutput::Desktop::keyUp(host::KeyCode code) { input::key_up(locked_, code); }
void GamepadOutput::Desktop::buttonDown(std::uint8_t button) { input::button_down(locked_, button); }
void GamepadOutput::Desktop::buttonUp(std::uint8_t button) { input::button_up(locked_, button); }
void GamepadOutput::Desktop::wheel(std::int32_t amount) { input::wheel(locked_, amount); }
void GamepadOutput::Desktop::hwheel(std::int32_t amount) { input::hwheel(locked_, amount); }
void GamepadOutput::Desktop::moveRelative(std::int32_t dx, std::int32_t dy) {
    input::move_relative(locked_, dx, dy);
}

}  // namespace hp::gamepad
