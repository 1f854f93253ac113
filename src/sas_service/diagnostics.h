#pragma once
// One line on standard error for a failure, when the program has a standard
// error (it is a windowed program: an installer that wants the text
// redirects it). Nothing relies on the text; the exit code is the answer.
#include <windows.h>

#include <string>

#include "base/atomic_file.h"

namespace hp::sas_service {

inline void complain(const std::string& text) {
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (!err || err == INVALID_HANDLE_VALUE) return;
    const std::string line = "hearthpad-sas: " + text + "\n";
    DWORD written = 0;
    WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

inline void complain(const std::string& what, DWORD error) { complain(what + " (" + os_error_text(error) + ")"); }

}  // namespace hp::sas_service
