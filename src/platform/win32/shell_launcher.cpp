// The desktop shell starts a program for us: the shell window's IShellView
// hands out the Shell object (IShellDispatch2) of Explorer's own process,
// and its ShellExecute runs there, with Explorer's token. That is the
// documented way for an elevated process (an installer) to start a program
// as the logged-in user without elevation; CreateProcess from here would
// hand the program this process's elevated token.
#include "platform/shell_launcher.h"

#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <type_traits>
#include <string_view>
#include <utility>

#include "platform/win32/com.h"
#include "platform/win32/current_user.h"
#include "platform/win32/text.h"

namespace hp::platform {

namespace {

using win32::Bstr;
using win32::ComPtr;

// How long a shell that is still starting gets to offer its window list.
constexpr ULONGLONG kShellStartupWaitMs = 10000;
constexpr DWORD kShellStartupStepMs = 250;

// A VARIANT cleared when it goes.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    // A BSTR copy of `text`; false when there is no memory for it.
    bool set_text(const std::wstring& text) {
        VariantClear(&v_);
        v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!v_.bstrVal) return false;
        v_.vt = VT_BSTR;
        return true;
    }
    void set_int(LONG value) {
        VariantClear(&v_);
        v_.vt = VT_I4;
        v_.lVal = value;
    }
    VARIANT* get() { return &v_; }
    // ShellExecute takes its optional arguments by value (the callee does
    // not own them).
    const VARIANT& value() const { return v_; }

private:
    VARIANT v_;
};

// COM on this thread for the call, in a single-threaded apartment as the
// shell's objects expect; undone only if done here. A thread already in the
// multithreaded apartment (RPC_E_CHANGED_MODE) keeps it: cross-process calls
// work from either.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

std::unexpected<Error> step_failed(std::string_view step, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    return fail(std::string(step) + " failed (" + code + ")");
}

class Win32ShellLauncher : public ShellLauncher {
public:
    bool shell_present() override { return GetShellWindow() != nullptr; }

    // The account of the shell window's process (Explorer's): an elevated
    // installer may run as another account, an administrator's typed into
    // the consent prompt. PROCESS_QUERY_LIMITED_INFORMATION is enough for
    // OpenProcessToken with TOKEN_QUERY.
    std::optional<std::string> shell_user_sid() override {
        const HWND shell = GetShellWindow();
        DWORD pid = 0;
        if (!shell || !GetWindowThreadProcessId(shell, &pid) || pid == 0) return std::nullopt;
        const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (!process) return std::nullopt;
        const std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&CloseHandle)> owned(process, &CloseHandle);
        return win32::process_user_sid(process);
    }

    Status shell_execute(const std::string& program, const std::string& folder) override {
        const auto file = win32::to_wide(program);
        const auto dir = win32::to_wide(folder);
        if (!file || !dir || file->empty()) return fail("the program's path is not valid text");

        const ComScope com;
        if (!com.usable()) return step_failed("CoInitializeEx", com.result());

        // The shell's window list, served by Explorer's process (a local
        // server; the SDK's "execute in Explorer" sample asks for it so).
        // Explorer registers that class object only once it is running: an
        // Explorer that is (re)starting has its window before the class is
        // there, so a missing class is asked for again for a while, as long
        // as there is a shell window.
        ComPtr<IShellWindows> windows;
        HRESULT hr = E_FAIL;
        const ULONGLONG giveUp = GetTickCount64() + kShellStartupWaitMs;
        for (;;) {
            hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                  windows.put_void());
            const bool starting = hr == REGDB_E_CLASSNOTREG || hr == CO_E_SERVER_EXEC_FAILURE;
            if (!starting || GetTickCount64() >= giveUp || !GetShellWindow()) break;
            Sleep(kShellStartupStepMs);
        }
        if (FAILED(hr)) return step_failed("CoCreateInstance(ShellWindows)", hr);

        // The desktop's browser. FindWindowSW answers S_FALSE and no object
        // when there is no desktop window.
        Variant location, root;
        location.set_int(CSIDL_DESKTOP);
        long hwnd = 0;
        ComPtr<IDispatch> desktop;
        hr = windows->FindWindowSW(location.get(), root.get(), SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH,
                                   desktop.put());
        if (hr != S_OK || !desktop) return step_failed("IShellWindows::FindWindowSW(SWC_DESKTOP)", hr == S_OK ? E_FAIL : hr);

        ComPtr<IServiceProvider> services;
        hr = desktop->QueryInterface(IID_IServiceProvider, services.put_void());
        if (FAILED(hr)) return step_failed("QueryInterface(IServiceProvider)", hr);
        ComPtr<IShellBrowser> browser;
        hr = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void());
        if (FAILED(hr)) return step_failed("QueryService(SID_STopLevelBrowser, IShellBrowser)", hr);

        ComPtr<IShellView> view;
        hr = browser->QueryActiveShellView(view.put());
        if (FAILED(hr) || !view) return step_failed("IShellBrowser::QueryActiveShellView", FAILED(hr) ? hr : E_FAIL);

        // The view's background object is its IShellFolderViewDual, whose
        // Application is the Shell object living in Explorer's process.
        ComPtr<IDispatch> background;
        hr = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void());
        if (FAILED(hr)) return step_failed("IShellView::GetItemObject(SVGIO_BACKGROUND)", hr);
        ComPtr<IShellFolderViewDual> folderView;
        hr = background->QueryInterface(IID_IShellFolderViewDual, folderView.put_void());
        if (FAILED(hr)) return step_failed("QueryInterface(IShellFolderViewDual)", hr);
        ComPtr<IDispatch> application;
        hr = folderView->get_Application(application.put());
        if (FAILED(hr) || !application)
            return step_failed("IShellFolderViewDual::get_Application", FAILED(hr) ? hr : E_FAIL);
        ComPtr<IShellDispatch2> shell;
        hr = application->QueryInterface(IID_IShellDispatch2, shell.put_void());
        if (FAILED(hr)) return step_failed("QueryInterface(IShellDispatch2)", hr);

        // Explorer may bring the started program's windows (the host's
        // first-start question) to the front: only a process that has the
        // foreground may hand that right on. Failing, it only means the
        // window may open behind others.
        (void)CoAllowSetForegroundWindow(shell.get(), nullptr);
        // No arguments (an empty variant), the program's folder, "open",
        // shown normally.
        const Bstr bfile(*file);
        Variant args, directory, operation, show;
        if (!bfile.get() || !directory.set_text(*dir) || !operation.set_text(L"open"))
            return step_failed("SysAllocString", E_OUTOFMEMORY);
        show.set_int(SW_SHOWNORMAL);
        hr = shell->ShellExecute(bfile.get(), args.value(), directory.value(), operation.value(), show.value());
        if (FAILED(hr)) return step_failed("IShellDispatch2::ShellExecute", hr);
        return {};
    }
};

}  // namespace

std::shared_ptr<ShellLauncher> make_shell_launcher() { return std::make_shared<Win32ShellLauncher>(); }

}  // namespace hp::platform
