#pragma once
// Message boxes (MessageBoxW, owned by no window) and links opened in the
// browser (ShellExecuteW "open").
#include <memory>

#include "platform/message_box.h"
#include "platform/shell_open.h"

namespace hp::platform {

std::shared_ptr<MessageBoxes> make_message_boxes();
std::shared_ptr<LinkOpener> make_link_opener();

}  // namespace hp::platform
