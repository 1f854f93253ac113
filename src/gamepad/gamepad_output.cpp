#include "gamepad/gamepad_output.h"

#include "input/executor.h"

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
    state_.deferred.push_back([holder = holder_, on, clientGone] { holder->setSwitch(on, clientGone); });
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
void GamepadOutput::Desktop::wheel(std::int32_t amount) { state_.platform->wheel(amount); }
void GamepadOutput::Desktop::hwheel(std::int32_t amount) { state_.platform->hwheel(amount); }
void GamepadOutput::Desktop::moveRelative(std::int32_t dx, std::int32_t dy) {
    state_.platform->moveRelative(dx, dy);
}

}  // namespace hp::gamepad
