// Atomic replacement on Windows: write, FlushFileBuffers, then MoveFileExW
// with write-through so the rename reaches the disk before it returns.
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
    if (!MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return failed("Could not replace " + path_text(target) + ": " + last_error_text());
    return {};
}

}  // namespace hp
