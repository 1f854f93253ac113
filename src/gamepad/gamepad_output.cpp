#include "gamepad/gamepad_output.h"

#include "input/held_input.h"

namespace hp::gamepad {

GamepadOutput::GamepadOutput(host::HostState& state, std::shared_ptr<vigem::PadHolder> holder, bool sinkPresent,
                             pad_mapping::PadMapping mapping, std::function<void()> wakeMotion)
    : state_(state),
      holder_(std::move(holder)),
      sinkPresent_(sinkPresent),
      mapping_(std::move(mapping)),
      wakeMotion_(std::move(wakeMotion)),
      desktop_(state) {}

void GamepadOutput::apply(const host::PadState& pad) {
    if (to_virtual_pad()) {
        holder_->submit(pad);
        return;
    }
    if (engine_.evaluate(pad, mapping_, desktop_) && wakeMotion_) wakeMotion_();
}

void GamepadOutput::neutral() {
    if (sinkPresent_) holder_->neutral();
}

void GamepadOutput::setSwitch(bool on, bool clientGone) {
    // The switch and its generation change now, with padEnabled, so whoever
    // takes the lock next (a pad datagram on another worker) finds them in
    // step. Only the background work waits until the lock is released and
    // the "switch on"/"switch off" line is written before its own lines.
    const vigem::SwitchChange change = holder_->storeSwitch(on, clientGone);
    state_.deferred.push_back([holder = holder_, change] { holder->follow(change); });
}

void GamepadOutput::reset() { engine_.reset(desktop_); }

void GamepadOutput::install(const pad_mapping::PadMapping& mapping) {
    if (mapping.useMapping != mapping_.useMapping) {
        engine_.reset(desktop_);
        neutral();
    }
    mapping_ = mapping;
    if (!state_.input.pad.neutral()) apply(state_.input.pad);
}

bool GamepadOutput::motion_step(Instant now) { return engine_.motion().step(now, desktop_); }

void GamepadOutput::Desktop::keyDown(host::KeyCode code) { input::key_down(state_, code); }
void GamepadOutput::Desktop::keyUp(host::KeyCode code) { input::key_up(state_, code); }
void GamepadOutput::Desktop::buttonDown(std::uint8_t button) { input::button_down(state_, button); }
void GamepadOutput::Desktop::buttonUp(std::uint8_t button) { input::button_up(state_, button); }
void GamepadOutput::Desktop::wheel(std::int32_t amount) { input::wheel(state_, amount); }
void GamepadOutput::Desktop::hwheel(std::int32_t amount) { input::hwheel(state_, amount); }
void GamepadOutput::Desktop::moveRelative(std::int32_t dx, std::int32_t dy) {
    input::move_relative(state_, dx, dy);
}

}  // namespace hp::gamepad
