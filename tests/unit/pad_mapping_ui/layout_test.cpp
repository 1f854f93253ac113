// The mapping window's controls: every id once with its text, entries and
// range, and a geometry that fits the client area without overlaps at the
// usual DPI settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "pad_mapping/mapping.h"
#include "pad_mapping_ui/mapping_layout.h"

namespace hp::pad_mapping_ui {
namespace {

using Kind = ControlKind;
using Items = std::vector<std::string_view>;

constexpr int kDpis[] = {96, 144, 192};

bool inside(const LayoutRect& inner, const LayoutRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}
bool overlap(const LayoutRect& a, const LayoutRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

const ControlPlacement* find_id(const std::vector<ControlPlacement>& controls, int id) {
    const auto it = std::find_if(controls.begin(), controls.end(), [&](const ControlPlacement& c) { return c.id == id; });
    return it == controls.end() ? nullptr : &*it;
}
const ControlPlacement* find_group(const std::vector<ControlPlacement>& controls, std::string_view text) {
    const auto it = std::find_if(controls.begin(), controls.end(),
                                 [&](const ControlPlacement& c) { return c.kind == Kind::GroupBox && c.text == text; });
    return it == controls.end() ? nullptr : &*it;
}

TEST(MappingLayout, ClientAreaScalesWithDpi) {
    EXPECT_EQ(client_rect(96), (LayoutRect{0, 0, 880, 540}));
    EXPECT_EQ(client_rect(144), (LayoutRect{0, 0, 1320, 810}));
    EXPECT_EQ(client_rect(192), (LayoutRect{0, 0, 1760, 1080}));
}

TEST(MappingLayout, ControlsFitAndDoNotOverlap) {
    for (const int dpi : kDpis) {
        SCOPED_TRACE(dpi);
        const auto controls = mapping_controls(dpi);
        std::vector<const ControlPlacement*> groups, others;
        for (const ControlPlacement& c : controls) {
            EXPECT_TRUE(inside(c.rect, client_rect(dpi))) << c.id << " " << c.text;
            EXPECT_GT(c.rect.width(), 0);
            EXPECT_GT(c.rect.height(), 0);
            (c.kind == Kind::GroupBox ? groups : others).push_back(&c);
        }
        ASSERT_EQ(groups.size(), 3u);
        for (std::size_t i = 0; i < groups.size(); ++i)
            for (std::size_t j = i + 1; j < groups.size(); ++j)
                EXPECT_FALSE(overlap(groups[i]->rect, groups[j]->rect)) << groups[i]->text << " / " << groups[j]->text;
        for (std::size_t i = 0; i < others.size(); ++i) {
            const ControlPlacement& a = *others[i];
            for (std::size_t j = i + 1; j < others.size(); ++j)
                EXPECT_FALSE(overlap(a.rect, others[j]->rect))
                    << a.id << " '" << a.text << "' / " << others[j]->id << " '" << others[j]->text << "'";
            // A group box holds a control whole or not at all.
            int holders = 0;
            for (const ControlPlacement* g : groups) {
                if (inside(a.rect, g->rect)) ++holders;
                else EXPECT_FALSE(overlap(a.rect, g->rect)) << a.id << " '" << a.text << "' across " << g->text;
            }
            EXPECT_LE(holders, 1);
        }
    }
}

TEST(MappingLayout, RowsAndSticksSitInTheirGroups) {
    for (const int dpi : kDpis) {
        SCOPED_TRACE(dpi);
        const auto controls = mapping_controls(dpi);
        const ControlPlacement* buttons = find_group(controls, "Buttons");
        const ControlPlacement* sticks[2] = {find_group(controls, "Left stick"), find_group(controls, "Right stick")};
        ASSERT_TRUE(buttons && sticks[0] && sticks[1]);
        // Buttons on the left, sticks on the right.
        EXPECT_LE(buttons->rect.right, sticks[0]->rect.left);
        EXPECT_LE(sticks[0]->rect.bottom, sticks[1]->rect.top);
        for (int i = 0; i < 16; ++i)
            for (const int id : {100 + 4 * i, 101 + 4 * i, 102 + 4 * i}) {
                const ControlPlacement* c = find_id(controls, id);
                ASSERT_TRUE(c) << id;
                EXPECT_TRUE(inside(c->rect, buttons->rect)) << id;
            }
        for (int s = 0; s < 2; ++s)
            for (int k = 0; k < 10; ++k) {
                const ControlPlacement* c = find_id(controls, (s == 0 ? 200 : 220) + k);
                ASSERT_TRUE(c);
                EXPECT_TRUE(inside(c->rect, sticks[s]->rect)) << c->id;
            }
        for (const int id : {300, 301, 305}) {
            const ControlPlacement* c = find_id(controls, id);
            ASSERT_TRUE(c);
            EXPECT_GE(c->rect.left, buttons->rect.right) << id;
            EXPECT_LE(c->rect.bottom, sticks[0]->rect.top) << id;
        }
        // Reset, Save and Close along the bottom.
        for (const int id : {302, 303, 304}) {
            const ControlPlacement* c = find_id(controls, id);
            ASSERT_TRUE(c);
            EXPECT_GE(c->rect.top, buttons->rect.bottom) << id;
            EXPECT_GE(c->rect.top, sticks[1]->rect.bottom) << id;
        }
    }
}

TEST(MappingLayout, EveryIdOnceWithItsKindAndText) {
    const auto controls = mapping_controls(96);
    struct Expected {
        Kind kind;
        std::string text;
    };
    std::map<int, Expected> expected;
    for (int i = 0; i < 16; ++i) {
        expected[100 + 4 * i] = {Kind::ValueBox, ""};
        expected[101 + 4 * i] = {Kind::Button, "Change..."};
        expected[102 + 4 * i] = {Kind::DropDown, ""};
    }
    for (const int b : {200, 220}) {
        expected[b] = {Kind::DropDown, ""};
        for (int d = 1; d <= 4; ++d) expected[b + d] = {Kind::Button, ""};
        expected[b + 5] = {Kind::Trackbar, ""};
        expected[b + 6] = {Kind::Label, ""};
        expected[b + 7] = {Kind::Trackbar, ""};
        expected[b + 8] = {Kind::Label, ""};
        expected[b + 9] = {Kind::CheckBox, "Invert Y (up/down)"};
    }
    expected[300] = {Kind::DropDown, ""};
    expected[301] = {Kind::DropDown, ""};
    expected[302] = {Kind::Button, "Reset to defaults"};
    expected[303] = {Kind::DefaultButton, "Save"};
    expected[304] = {Kind::Button, "Close"};
    expected[305] = {Kind::Label, ""};

    std::map<int, int> seen;
    for (const ControlPlacement& c : controls) {
        if (c.id == kNoId) {
            EXPECT_NE(c.kind, Kind::DefaultButton);
            continue;
        }
        ++seen[c.id];
        const auto it = expected.find(c.id);
        ASSERT_NE(it, expected.end()) << "unexpected id " << c.id;
        EXPECT_EQ(c.kind, it->second.kind) << c.id;
        EXPECT_EQ(c.text, it->second.text) << c.id;
    }
    for (const auto& [id, e] : expected) EXPECT_EQ(seen[id], 1) << id;
    EXPECT_EQ(std::count_if(controls.begin(), controls.end(),
                            [](const ControlPlacement& c) { return c.kind == Kind::DefaultButton; }),
              1);
}

TEST(MappingLayout, DropDownEntriesAndTrackbarRanges) {
    const auto controls = mapping_controls(96);
    const Items actions = {"Keyboard key",    "Left mouse button", "Right mouse button", "Middle mouse button",
                           "Wheel up",        "Wheel down",        "Wheel left",         "Wheel right",
                           "Move mouse up",   "Move mouse down",   "Move mouse left",    "Move mouse right",
                           "Nothing"};
    const Items outputs = {"Virtual controller (ViGEmBus)", "Keyboard / mouse mapping"};
    const Items modes = {"Keys (4 directions)", "Mouse movement", "Scroll wheel", "Off"};
    const Items presets = {"Shooter (WASD + mouse look)", "Arrow keys / emulator", "Mouse only (desktop)",
                           "Twin stick (WASD + arrow keys)", "Custom"};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(find_id(controls, 102 + 4 * i)->items, actions) << i;
    EXPECT_EQ(find_id(controls, 300)->items, outputs);
    EXPECT_EQ(find_id(controls, 301)->items, presets);
    for (const int b : {200, 220}) {
        EXPECT_EQ(find_id(controls, b)->items, modes);
        const ControlPlacement* deadzone = find_id(controls, b + 5);
        EXPECT_EQ(deadzone->rangeMin, 0);
        EXPECT_EQ(deadzone->rangeMax, 60);
        EXPECT_EQ(deadzone->tick, 10);
        const ControlPlacement* sensitivity = find_id(controls, b + 7);
        EXPECT_EQ(sensitivity->rangeMin, 1);
        EXPECT_EQ(sensitivity->rangeMax, 50);
        EXPECT_EQ(sensitivity->tick, 5);
    }
    for (const ControlPlacement& c : controls) {
        if (c.kind != Kind::DropDown) {
            EXPECT_TRUE(c.items.empty()) << c.id;
        }
    }
}

TEST(MappingLayout, RowLabelsAndStaticTexts) {
    const auto controls = mapping_controls(96);
    const ControlPlacement* buttons = find_group(controls, "Buttons");
    ASSERT_TRUE(buttons);
    std::vector<const ControlPlacement*> labels;
    for (const ControlPlacement& c : controls)
        if (c.kind == Kind::Label && c.id == kNoId && inside(c.rect, buttons->rect)) labels.push_back(&c);
    ASSERT_EQ(labels.size(), 16u);
    const char* names[16] = {"A",
                             "B",
                             "X",
                             "Y",
                             "LB (left bumper)",
                             "RB (right bumper)",
                             "LT (left trigger)",
                             "RT (right trigger)",
                             "Back / Select",
                             "Start",
                             "L3 (left stick click)",
                             "R3 (right stick click)",
                             "D-pad up",
                             "D-pad down",
                             "D-pad left",
                             "D-pad right"};
    for (int i = 0; i < 16; ++i) {
        const ControlPlacement& label = *labels[static_cast<std::size_t>(i)];
        EXPECT_EQ(label.text, names[i]);
        // On its row: level with the row's value box, to its left.
        const LayoutRect value = find_id(controls, 100 + 4 * i)->rect;
        EXPECT_TRUE(label.rect.top < value.bottom && value.top < label.rect.bottom) << i;
        EXPECT_LE(label.rect.right, value.left) << i;
    }
    std::vector<std::string> texts;
    for (const ControlPlacement& c : controls)
        if (c.id == kNoId) texts.push_back(c.text);
    for (const char* text : {"Change... then press a key (hold Ctrl / Shift / Alt for a combination).", "Output:",
                             "Preset:", "Left stick", "Right stick", "Buttons"})
        EXPECT_EQ(std::count(texts.begin(), texts.end(), text), 1) << text;
    for (const char* text : {"Mode:", "Deadzone:", "Sensitivity:"})
        EXPECT_EQ(std::count(texts.begin(), texts.end(), text), 2) << text;
}

}  // namespace
}  // namespace hp::pad_mapping_ui
