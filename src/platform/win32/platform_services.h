#pragma once
// The Windows PlatformServices: SendInput for pointer, wheel, keys and typed
// text, the clipboard in CF_UNICODETEXT, LockWorkStation,
// SetThreadExecutionState and the PowerShell brightness step.
#include <windows.h>

#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include "platform/platform_services.h"

namespace hp::platform {

// Where INPUT records go, answering how many of them went in. The product
// sends them with SendInput; tests may capture them instead.
using InputSender = std::function<UINT(std::span<INPUT>)>;

// The one SendInput routine: the array, its length and the size of one
// record; an empty array sends nothing. Answers SendInput's count of events
// inserted into the input stream: fewer than handed over when input is
// refused (the secure desktop is up, or UIPI blocks it, which the count
// does not always show).
UINT send_inputs(std::span<INPUT> inputs);

// The most UTF-16 units typed by one SendInput call (two records each).
inline constexpr std::size_t kTypeBatchUnits = 256;

// Types `units` as KEYEVENTF_UNICODE down/up pairs, in order, handing `send`
// batches of at most kTypeBatchUnits units. True when every record went in;
// the batches after a refused one are still handed over.
bool type_units(std::u16string_view units, const InputSender& send);

std::shared_ptr<PlatformServices> make_win32_platform_services();
// The same services with every INPUT handed to `sender` instead of SendInput.
std::shared_ptr<PlatformServices> make_win32_platform_services(InputSender sender);

}  // namespace hp::platform
