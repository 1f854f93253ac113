#include "platform/win32/desktop.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "platform/win32/text.h"

namespace hp::platform {
namespace {

static_assert(box::kOk == MB_OK && box::kYesNo == MB_YESNO && box::kIconError == MB_ICONERROR &&
              box::kIconQuestion == MB_ICONQUESTION && box::kIconWarning == MB_ICONWARNING &&
              box::kIconInformation == MB_ICONINFORMATION &&
              box::kSetForeground == MB_SETFOREGROUND && box::kTopmost == MB_TOPMOST);

class Win32MessageBoxes final : public MessageBoxes {
public:
    BoxAnswer show(std::string_view text, std::string_view caption, std::uint32_t flags) override {
        const auto wideText = win32::to_wide(text);
        const auto wideCaption = win32::to_wide(caption);
        if (!wideText || !wideCaption) return BoxAnswer::Failed;
        switch (MessageBoxW(nullptr, wideText->c_str(), wideCaption->c_str(), flags)) {
            case 0:
                return BoxAnswer::Failed;
            case IDOK:
                return BoxAnswer::Ok;
            case IDYES:
                return BoxAnswer::Yes;
            case IDNO:
                return BoxAnswer::No;
            default:
                return BoxAnswer::Other;
        }
    }
};

// The shell may hand the link to COM objects: the calling thread joins a
// single-threaded apartment for the call, when it is not in one already.
class ComApartment {
public:
    ComApartment()
        : joined_(SUCCEEDED(
              CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComApartment() {
        if (joined_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool joined_;
};

class ShellLinkOpener final : public LinkOpener {
public:
    void open(std::string_view url) override {
        const auto wide = win32::to_wide(url);
        if (!wide) return;
        ComApartment apartment;
        (void)ShellExecuteW(nullptr, L"open", wide->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
};

}  // namespace

std::shared_ptr<MessageBoxes> make_message_boxes() {
    return std::make_shared<Win32MessageBoxes>();
}
std::shared_ptr<LinkOpener> make_link_opener() {
    return std::make_shared<ShellLinkOpener>();
}

}  // namespace hp::platform
