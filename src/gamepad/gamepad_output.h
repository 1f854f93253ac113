#pragma once
// Where the client's gamepad goes: the virtual Xbox 360 pad when ViGEmBus was
// found at start-up and the pad output is chosen, otherwise the keyboard and
// mouse mapping, whose keys and buttons go through the input layer (so they
// are tracked and released like any other) and whose pointer and wheel
// motion is integrated by the motion worker.
//
// Every member that acts runs under the lock of the HostState the output is
// installed in (HostState::pad), and takes its token.
#include <functional>
#include <memory>

#include "host/host_state.h"
#include "pad_mapping/engine.h"
#include "pad_mapping/mapping.h"
#include "vigem/pad_holder.h"

namespace hp::gamepad {

class GamepadOutput final : public host::PadOutput {
public:
    // `holder` follows the controller switch; `sinkPresent` is the start-up
    // probe's result (the virtual pad can be used at all); `wakeMotion` is
    // called (under the lock) when pointer or wheel motion starts.
    GamepadOutput(host::HostState& state, std::shared_ptr<vigem::PadHolder> holder, bool sinkPresent,
                  pad_mapping::PadMapping mapping, std::function<void()> wakeMotion);

    void apply(const host::Locked& locked, const host::PadState& pad) override;
    void neutral(const host::Locked& locked) override;
    // The holder's switch and generation are written at once, under the
    // lock; its background work starts after the lock is released, once the
    // controller log has the "switch on"/"switch off" line.
    void setSwitch(const host::Locked& locked, bool on, bool clientGone) override;
    void reset(const host::Locked& locked) override;

    // The mapping in force, and replacing it: a change of output first lets
    // go of what the engine holds and neutralises the virtual pad; a pad
    // that is not neutral is applied again at once with the new mapping.
    const pad_mapping::PadMapping& mapping() const { return mapping_; }
    void install(const host::Locked& locked, const pad_mapping::PadMapping& mapping);

    // One step of the motion worker; false when there is nothing to move
    // (the worker then waits to be woken).
    bool motion_step(const host::Locked& locked, Instant now);
    bool motion_running() const { return engine_.motion().running(); }

    bool sinkPresent() const { return sinkPresent_; }
    const pad_mapping::MappingEngine& engine() const { return engine_; }

private:
    // The engine's actions, as the input layer's key and button paths and the
    // platform's pointer and wheel; made for each call, with its token.
    class Desktop final : public pad_mapping::EngineOutput {
    public:
        explicit Desktop(const host::Locked& locked) : locked_(locked) {}
        void keyDown(host::KeyCode code) override;
        void keyUp(host::KeyCode code) override;
        void buttonDown(std::uint8_t button) override;
        void buttonUp(std::uint8_t button) override;
        void wheel(std::int32_t amount) override;
        void hwheel(std::int32_t amount) override;
        void moveRelative(std::int32_t dx, std::int32_t dy) override;

    private:
        const host::Locked& locked_;
    };

    bool to_virtual_pad() const { return sinkPresent_ && !mapping_.useMapping; }

    host::HostState& state_;
    std::shared_ptr<vigem::PadHolder> holder_;
    bool sinkPresent_;
    pad_mapping::PadMapping mapping_;
    std::function<void()> wakeMotion_;
    pad_mapping::MappingEngine engine_;
};

}  // namespace hp::gamepad
