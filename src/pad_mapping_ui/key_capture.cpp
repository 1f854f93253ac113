#include "pad_mapping_ui/key_capture.h"

#include "input/keys.h"

namespace hp::pad_mapping_ui {

BindingMods modifier_bit(KeyCode key) {
    switch (key) {
        case 224: case 228: return pad_mapping::kModCtrl;
        case 225: case 229: return pad_mapping::kModShift;
        case 226: case 230: return pad_mapping::kModAlt;
        case 227: return pad_mapping::kModWin;
        default: return 0;
    }
}

HookDecision on_key_event(CaptureHookState& state, std::uint16_t vk, KeyMessage message, bool injected) {
    if (injected) return {};
    const auto code = input::key_code_for_vk(vk);
    if (!code) return {};
    const bool down = message == KeyMessage::KeyDown || message == KeyMessage::SysKeyDown;
    const bool up = message == KeyMessage::KeyUp || message == KeyMessage::SysKeyUp;

    if (const BindingMods bit = modifier_bit(*code)) {
        if (down) {
            state.held |= bit;
            state.lastModifier = *code;
            return {true, std::nullopt};
        }
        if (up) {
            if (!(state.held & bit)) return {};
            HookDecision decision{true, std::nullopt};
            if (state.lastModifier == *code) decision.capture = CapturedKey{*code, 0};
            state.held = static_cast<BindingMods>(state.held & ~bit);
            return decision;
        }
        return {true, std::nullopt};
    }
    if (down) {
        state.lastModifier = 0;
        return {true, CapturedKey{*code, state.held}};
    }
    return {};
}

}  // namespace hp::pad_mapping_ui
