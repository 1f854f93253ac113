// Atomic replacement on Windows: write, FlushFileBuffers, then MoveFileExW
// with write-through so the rename reaches the disk before it returns.
//
// Antivirus scanners and the search indexer open a file that was just written
// for a moment, without FILE_SHARE_DELETE; while they hold it (or the target)
// MoveFileExW fails with ERROR_SHARING_VIOLATION or ERROR_ACCESS_DENIED. The
// rename is tried again a few times with a growing pause before the failure
// is reported.
#include "base/atomic_file.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <type_traits>

namespace hp {

namespace {

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

std::string last_error_text() { return os_error_text(GetLastError()); }

// Pauses between the attempts of the rename: about 0.6 s in all, longer than
// a scanner's look at a small file, short enough for the caller to wait.
constexpr DWORD kReplaceRetryPausesMs[] = {10, 20, 40, 80, 160, 320};

bool held_by_another_process(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// MoveFileExW, again after each pause while the failure is one another
// process's open handle explains. On failure GetLastError() holds the last
// attempt's error.
bool replace_file(const std::filesystem::path& tmp, const std::filesystem::path& target) {
    constexpr DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    for (const DWORD pause : kReplaceRetryPausesMs) {
        if (MoveFileExW(tmp.c_str(), target.c_str(), flags)) return true;
        if (!held_by_another_process(GetLastError())) return false;
        Sleep(pause);
    }
    return MoveFileExW(tmp.c_str(), target.c_str(), flags) != 0;
}

}  // namespace

std::string os_error_text(unsigned long code) {
    struct LocalFreeDeleter {
        void operator()(wchar_t* p) const { LocalFree(p); }
    };
    wchar_t* raw = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
    std::unique_ptr<wchar_t, LocalFreeDeleter> owner(raw);
    std::wstring_view text = (n > 0 && raw) ? std::wstring_view(raw, n) : std::wstring_view{};
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.remove_suffix(1);
    if (!text.empty()) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
        if (size > 0) {
            std::string out(static_cast<std::size_t>(size), '\0');
            WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                size, nullptr, nullptr);
            return out;
        }
    }
    return "Windows error " + std::to_string(code);
}

Status write_file_atomically(const std::filesystem::path& target, const std::filesystem::path& tmp,
                             ByteView data) {
    auto failed = [&](const std::string& what) {
        DeleteFileW(tmp.c_str());
        return fail(what);
    };
    {
        UniqueHandle file(CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) {
            static_cast<void>(file.release());
            return fail("Could not write " + path_text(tmp) + ": " + last_error_text());
        }
        std::size_t done = 0;
        while (done < data.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
            DWORD written = 0;
            if (!WriteFile(file.get(), data.data() + done, chunk, &written, nullptr) || written == 0) {
                const std::string text = last_error_text();
                file.reset();
                return failed("Could not write " + path_text(tmp) + ": " + text);
            }
            done += written;
        }
        if (!FlushFileBuffers(file.get())) {
            const std::string text = last_error_text();
            file.reset();
            return failed("Could not write " + path_text(tmp) + ": " + text);
        }
        HANDLE raw = file.release();
        if (!CloseHandle(raw)) return failed("Could not write " + path_text(tmp) + ": " + last_error_text());
    }
    if (!replace_file(tmp, target))
        return failed("Could not replace " + path_text(target) + ": " + last_error_text());
    return {};
}

}  // namespace hp
