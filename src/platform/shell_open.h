#pragma once
// Opening a web link in the user's browser.
#include <string_view>

namespace hp::platform {

class LinkOpener {
public:
    virtual ~LinkOpener() = default;
    // Asks the shell to open the link (ShellExecuteW "open" on Windows);
    // the outcome is not reported.
    virtual void open(std::string_view url) = 0;
};

}  // namespace hp::platform
