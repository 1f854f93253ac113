#pragma once
// The Linux console host's PlatformServices: every operation prints one line
// to the given stream instead of reaching an operating system, e.g.
//   platform: key 0x41 0x1E 0 down
//   platform: typeText "line one\nGrüße"
// Texts are written as the host's JSON strings. The clipboard lives in
// memory, so a read returns the last text set.
#include <memory>
#include <ostream>

#include "platform/platform_services.h"

namespace hp::platform {

// The stream must outlive the returned object.
std::shared_ptr<PlatformServices> make_console_platform(std::ostream& out);

}  // namespace hp::platform
