// The gamepad mapping window under Wine: its controls as created, the
// commands and trackbars changing the working copy exactly as the editor
// model does, the tray's installs, the close question's three answers,
// Save through the host into "gamepad_mapping.json", and the keyboard hook:
// injected keys are never captured, a captured key becomes the binding, and
// the host keeps serving a client while the window waits for a key.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "app/win32_mapping_window.h"
#include "app/win32_messages.h"
#include "app/win32_text.h"
#include "desktop_fixture.h"
#include "input/input_command.h"
#include "pad_mapping/mapping_file.h"
#include "pad_mapping_ui/key_capture.h"
#include "pad_mapping_ui/mapping_layout.h"
#include "support/test_client.h"

namespace hp::app::testing_desktop {
namespace {

namespace ui = pad_mapping_ui;
using pad_mapping::PadMapping;

std::wstring class_of(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::string text_of(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return narrow(text);
}

std::vector<std::string> drop_down_entries(HWND control) {
    std::vector<std::string> entries;
    const auto count = SendMessageW(control, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring entry(static_cast<std::size_t>(SendMessageW(control, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        entry.resize(static_cast<std::size_t>(
            SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()))));
        entries.push_back(narrow(entry));
    }
    return entries;
}

class MappingWindowTest : public TrayFixture {
protected:
    void SetUp() override {
        TrayFixture::SetUp();
        if (HasFatalFailure()) return;
        auto state = tray_.host->state;
        auto gamepad = tray_.host->gamepad;
        MappingWindowHooks hooks;
        hooks.instance = GetModuleHandleW(nullptr);
        hooks.vigemFound = !tray_.host->vigemMissing;
        hooks.current = [state, gamepad] { return host_ops::current_mapping(*state, *gamepad); };
        hooks.install = [this, state, gamepad](const PadMapping& mapping) {
            ++installs_;
            if (failWrites_) {
                (void)host_ops::install_mapping(*state, *gamepad, dir_ / "missing" / "file", mapping);
                return Status(fail("could not write"));
            }
            return host_ops::install_mapping(*state, *gamepad, tray_.dataDir, mapping);
        };
        hooks.messageBox = [this](HWND owner, const std::wstring& text, UINT flags) {
            boxes_.push_back({owner, narrow(text), flags});
            return answer_;
        };
        window_ = std::make_unique<MappingWindow>(std::move(hooks));
        window_->open();
        ASSERT_TRUE(window_->window());
    }

    void TearDown() override {
        window_.reset();
        TrayFixture::TearDown();
    }

    HWND hwnd() const { return window_->window(); }
    HWND item(int id) const { return GetDlgItem(hwnd(), id); }
    const ui::MappingEditor& editor() const { return *window_->editor(); }
    PadMapping in_force() { return host_ops::current_mapping(state(), *tray_.host->gamepad); }

    void choose(int id, int index) {
        SendMessageW(item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item(id)));
    }
    void click(int id) {
        SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item(id)));
    }
    void check(int id, bool on) {
        SendMessageW(item(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
        click(id);
    }
    void slide(int id, int position) {
        SendMessageW(item(id), TBM_SETPOS, TRUE, position);
        SendMessageW(hwnd(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(item(id)));
    }

    // The controls show what the editor's view says.
    void expect_mirrors_view() {
        const ui::EditorView view = editor().view();
        for (int i = 0; i < static_cast<int>(view.rows.size()); ++i) {
            const auto& row = view.rows[static_cast<std::size_t>(i)];
            EXPECT_EQ(text_of(item(ui::row_value_id(i))), row.value) << "row " << i;
            EXPECT_EQ(text_of(item(ui::row_change_id(i))), row.changeText) << "row " << i;
            EXPECT_EQ(SendMessageW(item(ui::row_action_id(i)), CB_GETCURSEL, 0, 0), row.action) << "row " << i;
        }
        for (int s = 0; s < 2; ++s) {
            const auto& stick = view.sticks[static_cast<std::size_t>(s)];
            const int b = ui::stick_base(s);
            EXPECT_EQ(SendMessageW(item(b), CB_GETCURSEL, 0, 0), stick.mode);
            for (int d = 0; d < 4; ++d) {
                EXPECT_EQ(text_of(item(b + 1 + d)), stick.directions[static_cast<std::size_t>(d)]);
                EXPECT_EQ(IsWindowEnabled(item(b + 1 + d)) != FALSE, stick.directionsEnabled);
            }
            EXPECT_EQ(SendMessageW(item(b + ui::kStickDeadzone), TBM_GETPOS, 0, 0),
                      std::min(stick.deadzone, ui::kDeadzoneMax));
            EXPECT_EQ(text_of(item(b + ui::kStickDeadzoneLabel)), stick.deadzoneLabel);
            EXPECT_EQ(IsWindowEnabled(item(b + ui::kStickDeadzone)) != FALSE, stick.deadzoneEnabled);
            EXPECT_EQ(SendMessageW(item(b + ui::kStickSensitivity), TBM_GETPOS, 0, 0), stick.sensitivity);
            EXPECT_EQ(text_of(item(b + ui::kStickSensitivityLabel)), stick.sensitivityLabel);
            EXPECT_EQ(IsWindowEnabled(item(b + ui::kStickSensitivity)) != FALSE, stick.sensitivityEnabled);
            EXPECT_EQ(IsWindowEnabled(item(b + ui::kStickInvert)) != FALSE, stick.sensitivityEnabled);
            EXPECT_EQ(SendMessageW(item(b + ui::kStickInvert), BM_GETCHECK, 0, 0) == BST_CHECKED, stick.invertY);
        }
        EXPECT_EQ(SendMessageW(item(ui::kOutputId), CB_GETCURSEL, 0, 0), view.output);
        EXPECT_EQ(SendMessageW(item(ui::kPresetId), CB_GETCURSEL, 0, 0), view.preset);
        EXPECT_EQ(text_of(item(ui::kExplanationId)), view.explanation);
        EXPECT_EQ(IsWindowEnabled(item(ui::kSaveId)) != FALSE, view.saveEnabled);
    }

    struct Box {
        HWND owner;
        std::string text;
        UINT flags;
    };
    std::unique_ptr<MappingWindow> window_;
    std::vector<Box> boxes_;
    int answer_ = IDCANCEL;
    int installs_ = 0;
    bool failWrites_ = false;
};

TEST_F(MappingWindowTest, OpensWithEveryControlItsTextsEntriesRangesAndFont) {
    EXPECT_EQ(class_of(hwnd()), kMappingWindowClass);
    EXPECT_EQ(text_of(hwnd()), ui::kWindowTitle);
    const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
    EXPECT_TRUE(GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    EXPECT_TRUE(IsWindowVisible(hwnd()));

    const int dpi = std::max(96, static_cast<int>(GetDpiForWindow(hwnd())));
    RECT client{};
    GetClientRect(hwnd(), &client);
    EXPECT_EQ(client.right, ui::client_rect(dpi).width());
    EXPECT_EQ(client.bottom, ui::client_rect(dpi).height());

    // Every control of the layout, the labels and group boxes included.
    std::multiset<std::string> shownTexts;
    EnumChildWindows(
        hwnd(),
        [](HWND child, LPARAM texts) {
            reinterpret_cast<std::multiset<std::string>*>(texts)->insert(text_of(child));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&shownTexts));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(item(ui::kSaveId), WM_GETFONT, 0, 0));
    ASSERT_TRUE(font);
    LOGFONTW face{};
    ASSERT_TRUE(GetObjectW(font, sizeof face, &face));
    EXPECT_STREQ(face.lfFaceName, L"Segoe UI");
    EXPECT_EQ(face.lfHeight, -dpi / 8);
    EXPECT_EQ(face.lfWeight, FW_NORMAL);

    const std::map<ui::ControlKind, std::wstring> classes{
        {ui::ControlKind::GroupBox, L"Button"},   {ui::ControlKind::Label, L"Static"},
        {ui::ControlKind::ValueBox, L"Static"},   {ui::ControlKind::Button, L"Button"},
        {ui::ControlKind::DefaultButton, L"Button"}, {ui::ControlKind::DropDown, L"ComboBox"},
        {ui::ControlKind::Trackbar, L"msctls_trackbar32"}, {ui::ControlKind::CheckBox, L"Button"}};
    for (const ui::ControlPlacement& placed : ui::mapping_controls(dpi)) {
        if (placed.id == ui::kNoId) {
            EXPECT_TRUE(shownTexts.contains(placed.text)) << placed.text;
            continue;
        }
        HWND control = item(placed.id);
        ASSERT_TRUE(control) << "control " << placed.id;
        EXPECT_EQ(_wcsicmp(class_of(control).c_str(), classes.at(placed.kind).c_str()), 0) << placed.id;
        // (A trackbar shows no text; Wine's keeps no font.)
        if (placed.kind != ui::ControlKind::Trackbar) {
            EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), font) << placed.id;
        }
        if (!placed.text.empty()) {
            EXPECT_EQ(text_of(control), placed.text) << placed.id;
        }
        if (placed.kind == ui::ControlKind::DropDown) {
            EXPECT_EQ(drop_down_entries(control), std::vector<std::string>(placed.items.begin(), placed.items.end()))
                << placed.id;
        }
        if (placed.kind == ui::ControlKind::Trackbar) {
            EXPECT_EQ(SendMessageW(control, TBM_GETRANGEMIN, 0, 0), placed.rangeMin) << placed.id;
            EXPECT_EQ(SendMessageW(control, TBM_GETRANGEMAX, 0, 0), placed.rangeMax) << placed.id;
        }
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, placed.rect.left) << placed.id;
        EXPECT_EQ(r.top, placed.rect.top) << placed.id;
    }
    EXPECT_EQ(GetWindowLongPtrW(item(ui::kSaveId), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_TRUE(GetWindowLongPtrW(item(ui::row_value_id(0)), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(editor().working(), in_force());
    expect_mirrors_view();
}

// Each step is done to the window through its controls and to a model of
// its own; the two working copies and the screen must agree after each.
TEST_F(MappingWindowTest, CommandsAndTrackbarsChangeTheWorkingCopyAsTheModelSays) {
    ui::MappingEditor model(in_force(), !tray_.host->vigemMissing);
    struct Step {
        const char* what;
        std::function<void()> onWindow;
        std::function<void()> onModel;
    };
    const int left = ui::kLeftStickBase, right = ui::kRightStickBase;
    const std::vector<Step> steps{
        {"row A: right mouse", [&] { choose(ui::row_action_id(0), 2); },
         [&] { model.command(ui::row_action_id(0), ui::kSelectionChanged, 2); }},
        {"row B: wheel down", [&] { choose(ui::row_action_id(1), 5); },
         [&] { model.command(ui::row_action_id(1), ui::kSelectionChanged, 5); }},
        {"row X: move right", [&] { choose(ui::row_action_id(2), 11); },
         [&] { model.command(ui::row_action_id(2), ui::kSelectionChanged, 11); }},
        {"row Y: nothing", [&] { choose(ui::row_action_id(3), 12); },
         [&] { model.command(ui::row_action_id(3), ui::kSelectionChanged, 12); }},
        {"row Y: keyboard key waits", [&] { choose(ui::row_action_id(3), 0); },
         [&] { model.command(ui::row_action_id(3), ui::kSelectionChanged, 0); }},
        {"left stick: off", [&] { choose(left, 3); }, [&] { model.command(left, ui::kSelectionChanged, 3); }},
        {"right stick: scroll", [&] { choose(right, 2); }, [&] { model.command(right, ui::kSelectionChanged, 2); }},
        {"right deadzone at its end", [&] { slide(right + ui::kStickDeadzone, 60); },
         [&] { model.trackbar_moved(right + ui::kStickDeadzone, 60); }},
        {"right sensitivity at 1", [&] { slide(right + ui::kStickSensitivity, 1); },
         [&] { model.trackbar_moved(right + ui::kStickSensitivity, 1); }},
        {"right invert", [&] { check(right + ui::kStickInvert, true); },
         [&] { model.command(right + ui::kStickInvert, ui::kClicked, 1); }},
        {"left up key waits", [&] { click(left + 1); }, [&] { model.command(left + 1, ui::kClicked, 0); }},
        {"output: mapping", [&] { choose(ui::kOutputId, 1); },
         [&] { model.command(ui::kOutputId, ui::kSelectionChanged, 1); }},
        {"preset: arrows", [&] { choose(ui::kPresetId, 1); },
         [&] { model.command(ui::kPresetId, ui::kSelectionChanged, 1); }},
        {"preset: custom does nothing", [&] { choose(ui::kPresetId, 4); },
         [&] { model.command(ui::kPresetId, ui::kSelectionChanged, 4); }},
        {"reset to defaults", [&] { click(ui::kResetId); }, [&] { model.command(ui::kResetId, ui::kClicked, 0); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.onWindow();
        step.onModel();
        EXPECT_EQ(editor().working(), model.working());
        EXPECT_EQ(editor().capture(), model.capture());
        EXPECT_EQ(window_->capturing(), model.capture().active());
        expect_mirrors_view();
    }
    // Reset kept the output chosen before it.
    EXPECT_EQ(editor().working().useMapping, true);
    EXPECT_EQ(editor().working().preset, pad_mapping::Preset::Shooter);
    EXPECT_EQ(installs_, 0) << "nothing is installed before Save";
}

TEST_F(MappingWindowTest, TheTraysInstallsReplaceTheScreenOnlyWithoutEdits) {
    const PadMapping arrows = pad_mapping::applyPreset(in_force(), 1);
    window_->mapping_changed_elsewhere(arrows);
    EXPECT_EQ(editor().working(), arrows);
    EXPECT_EQ(SendMessageW(item(ui::kPresetId), CB_GETCURSEL, 0, 0), 1);
    EXPECT_FALSE(IsWindowEnabled(item(ui::kSaveId)));

    choose(ui::row_action_id(0), 1);  // an edit
    PadMapping output = arrows;
    output.useMapping = true;
    window_->mapping_changed_elsewhere(output);
    EXPECT_EQ(editor().saved(), output);
    EXPECT_EQ(editor().working().bindings[0], pad_mapping::Binding::mouse(1));
    EXPECT_TRUE(IsWindowEnabled(item(ui::kSaveId)));
    expect_mirrors_view();
}

TEST_F(MappingWindowTest, CloseAsksAboutUnsavedEditsAndFollowsTheAnswer) {
    const PadMapping before = in_force();
    // Nothing edited: no question.
    click(ui::kCloseId);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_FALSE(window_->window());

    struct Case {
        int answer;
        bool stays, saved;
    };
    for (const Case c : {Case{IDCANCEL, true, false}, Case{IDNO, false, false}, Case{IDYES, false, true}}) {
        SCOPED_TRACE(c.answer);
        boxes_.clear();
        if (!window_->window()) window_->open();
        choose(ui::row_action_id(4), 3);  // LB: middle mouse
        click(ui::row_change_id(5));      // RB waits for a key
        const PadMapping edited = editor().working();
        answer_ = c.answer;
        SendMessageW(hwnd(), WM_CLOSE, 0, 0);
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0].text, ui::kSaveQuestion);
        EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_YESNOCANCEL | MB_ICONQUESTION));
        EXPECT_FALSE(window_->capturing()) << "asking ends the capture";
        EXPECT_EQ(window_->window() != nullptr, c.stays);
        if (c.stays) {
            EXPECT_EQ(editor().working(), edited);
            EXPECT_TRUE(IsWindowEnabled(item(ui::kSaveId)));
            // Escape asks the same question.
            click(ui::kCancelId);
            EXPECT_EQ(boxes_.size(), 2u);
        }
        EXPECT_EQ(in_force(), c.saved ? edited : before);
        if (c.saved) {
            EXPECT_EQ(pad_mapping::load_mapping(tray_.dataDir), edited);
        }
    }
}

TEST_F(MappingWindowTest, SaveMakesItTheHostsMappingAndWritesTheFile) {
    choose(ui::kOutputId, 1);
    slide(ui::kLeftStickBase + ui::kStickDeadzone, 35);
    choose(ui::row_action_id(9), 6);
    const PadMapping edited = editor().working();
    click(ui::kSaveId);
    EXPECT_EQ(in_force(), edited);
    EXPECT_EQ(pad_mapping::load_mapping(tray_.dataDir), edited);
    EXPECT_EQ(editor().saved(), edited);
    EXPECT_FALSE(IsWindowEnabled(item(ui::kSaveId)));
    EXPECT_TRUE(boxes_.empty());

    // A failed write: the mapping is in force all the same, and the user is told.
    failWrites_ = true;
    choose(ui::row_action_id(9), 7);
    click(ui::kSaveId);
    EXPECT_EQ(in_force(), editor().working());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].owner, hwnd());
    EXPECT_EQ(boxes_[0].text, ui::kSaveWarning);
    EXPECT_EQ(boxes_[0].flags, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_FALSE(IsWindowEnabled(item(ui::kSaveId)));
}

Bytes key_record(std::uint64_t seq, pad_mapping::KeyCode key, std::uint8_t action) {
    input::InputCommand c;
    c.kind = static_cast<std::uint8_t>(input::InputKind::Key);
    c.seq = seq;
    c.payload[0] = static_cast<std::uint8_t>(key);
    c.payload[2] = action;
    const auto bytes = input::encode_input_command(c);
    return Bytes(bytes.begin(), bytes.end());
}

TEST_F(MappingWindowTest, InjectedKeysAreNeverCapturedAndTheHostServesMeanwhile) {
    click(ui::row_change_id(0));
    ASSERT_TRUE(window_->capturing());
    EXPECT_EQ(text_of(item(ui::row_change_id(0))), ui::kPressAKeyText);
    const PadMapping before = editor().working();

    // A program's keys (SendInput) pass the hook untouched.
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = 'K';
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(SendInput(2, keys, sizeof(INPUT)), 2u);
    pump_for(300ms);
    EXPECT_TRUE(window_->capturing());
    EXPECT_EQ(editor().working(), before);

    // A paired phone types and reads the clipboard while the hook is in: its
    // keys are injected by the host, so they go on to the focused program.
    std::atomic<bool> done = false, served = false;
    std::thread phone([&] {
        test::TestClient client(test::ClientIdentity::generate("Phone"));
        if (client.connect(port()) && client.pair(host_ops::open_pairing_code(state(), *tray_.host->network).code).ok() &&
            client.send_secure(test::frame_type::InputCommand, key_record(1, 14, 1)) &&
            client.send_secure(test::frame_type::InputCommand, key_record(2, 14, 0)) &&
            client.send_secure(test::frame_type::ClipboardSet, std::string_view("{\"text\":\"meanwhile\"}")) &&
            client.send_secure(test::frame_type::ClipboardGet, std::string_view("{}"))) {
            auto reply = client.recv();
            served = reply && reply->json().value("text", "") == "meanwhile";
        }
        done = true;
    });
    EXPECT_TRUE(pump_until([&] { return done.load(); }, 20s));
    phone.join();
    EXPECT_TRUE(served);
    EXPECT_TRUE(window_->capturing());
    EXPECT_EQ(editor().working(), before);

    // What the hook posts for a physical Ctrl+K becomes the row's binding.
    PostMessageW(hwnd(), ui::WM_KEY_CAPTURED, 14, pad_mapping::kModCtrl);
    pump_for(100ms);
    EXPECT_FALSE(window_->capturing());
    EXPECT_EQ(editor().working().bindings[0], pad_mapping::Binding::keyPress(14, pad_mapping::kModCtrl));
    EXPECT_EQ(text_of(item(ui::row_value_id(0))), "Ctrl+K");
    EXPECT_EQ(editor().working().preset, pad_mapping::Preset::Custom);
    EXPECT_EQ(SendMessageW(item(ui::kPresetId), CB_GETCURSEL, 0, 0), ui::kCustomPresetChoice);
    // Without a target a late message changes nothing.
    PostMessageW(hwnd(), ui::WM_KEY_CAPTURED, 4, 0);
    pump_for(100ms);
    EXPECT_EQ(editor().working().bindings[0], pad_mapping::Binding::keyPress(14, pad_mapping::kModCtrl));
}

TEST_F(MappingWindowTest, LosingActivationOrClosingEndsTheCapture) {
    click(ui::kRightStickBase + 3);  // the right stick's left key
    ASSERT_TRUE(window_->capturing());
    EXPECT_EQ(text_of(item(ui::kRightStickBase + 3)), "Left: Press a key");
    SendMessageW(hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_FALSE(window_->capturing());
    EXPECT_FALSE(editor().capture().active());
    click(ui::row_change_id(15));
    ASSERT_TRUE(window_->capturing());
    // Clicking the same button again ends the wait.
    click(ui::row_change_id(15));
    EXPECT_FALSE(window_->capturing());
    click(ui::row_change_id(15));
    ASSERT_TRUE(window_->capturing());
    DestroyWindow(hwnd());
    EXPECT_FALSE(window_->capturing());
    EXPECT_FALSE(window_->window());
}

}  // namespace
}  // namespace hp::app::testing_desktop

namespace hp::app::testing_desktop {
namespace {

// While a key is awaited the tray's thread runs the low-level keyboard hook,
// which Windows removes when the thread does not answer in time: a host
// event then must not make it wait for the host's lock.
TEST_F(MappingWindowTest, AHostEventDuringTheCaptureDoesNotWaitForTheHostLock) {
    tray_.mapping = std::move(window_);
    SendMessageW(tray_.mapping->window(), WM_COMMAND, MAKEWPARAM(ui::row_change_id(0), BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(tray_.mapping->window(), ui::row_change_id(0))));
    ASSERT_TRUE(tray_.mapping->capturing());

    std::atomic<bool> locked{false}, released{false};
    std::thread holder([&] {
        host::HostLock lock(state());
        locked = true;
        std::this_thread::sleep_for(1500ms);
        released = true;
    });
    while (!locked) std::this_thread::sleep_for(1ms);
    SendMessageW(tray_.window, WM_HOST_EVENT, static_cast<WPARAM>(HostEventCode::Other), 0);
    EXPECT_FALSE(released.load()) << "the tray waited for the host's lock while the hook was installed";
    holder.join();
    EXPECT_TRUE(tray_.refreshDue);

    // Once the capture is over the deferred refresh is made.
    SendMessageW(tray_.mapping->window(), WM_ACTIVATE, WA_INACTIVE, 0);
    ASSERT_FALSE(tray_.mapping->capturing());
    EXPECT_TRUE(pump_until([&] { return !tray_.refreshDue; }));
}

}  // namespace
}  // namespace hp::app::testing_desktop
