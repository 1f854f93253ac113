#pragma once
// The gamepad mapping window: edits a working copy of the mapping in force
// (bindings, sticks, output, preset) and makes it the host's on Save. Key
// bindings are entered by pressing the key: while a "Change..." button
// waits, a low-level keyboard hook takes the next physical key (with the
// modifiers held) and posts it to the window. At most one window exists;
// main thread only. The window mirrors pad_mapping_ui::MappingEditor.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "base/result.h"
#include "pad_mapping/mapping.h"
#include "pad_mapping_ui/mapping_editor.h"

namespace hp::app {

inline constexpr wchar_t kMappingWindowClass[] = L"HearthpadPadMapping";

struct MappingWindowHooks {
    HINSTANCE instance = nullptr;
    bool vigemFound = false;
    // The mapping in force, read when the window opens.
    std::function<pad_mapping::PadMapping()> current;
    // Makes a mapping the one in force and writes it to the mapping file;
    // the error says why the write failed (the mapping stays in force).
    std::function<Status(const pad_mapping::PadMapping&)> install;
    // A message box owned by the window with the caption "Hearthpad";
    // returns the button chosen. Empty: MessageBoxW.
    std::function<int(HWND owner, const std::wstring& text, UINT flags)> messageBox;
};

class MappingWindow {
public:
    explicit MappingWindow(MappingWindowHooks hooks);
    ~MappingWindow();  // destroys the window without asking
    MappingWindow(const MappingWindow&) = delete;
    MappingWindow& operator=(const MappingWindow&) = delete;

    // Creates and shows the window with the mapping in force; an open window
    // is only restored and brought to the front.
    void open();
    // The close request (WM_CLOSE, Escape, "Close"): asks about unsaved
    // edits; Cancel keeps the window.
    void request_close();
    // The tray installed `mapping` (a preset or the output from its menu).
    void mapping_changed_elsewhere(const pad_mapping::PadMapping& mapping);
    // IsDialogMessageW for the open window: true when it took the message.
    bool take_dialog_message(MSG& message);

    HWND window() const;
    // The model the open window shows (nothing when closed).
    const pad_mapping_ui::MappingEditor* editor() const;
    // Whether the keyboard hook is installed now.
    bool capturing() const;

private:
    struct Open;
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void create_controls();
    void refresh_controls();
    void sync_capture();
    void save();
    int message_box(const std::wstring& text, UINT flags);
    void destroyed();

    MappingWindowHooks hooks_;
    std::unique_ptr<Open> open_;
};

}  // namespace hp::app
