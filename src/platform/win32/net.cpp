#include "platform/net.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

namespace hp::platform {

namespace {
std::string wsa_error_text(int code) {
    wchar_t* buf = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::string out;
    if (n && buf) {
        const int len = WideCharToMultiByte(CP_UTF8, 0, buf, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
        out.resize(static_cast<std::size_t>(len));
        WideCharToMultiByte(CP_UTF8, 0, buf, static_cast<int>(n), out.data(), len, nullptr, nullptr);
        LocalFree(buf);
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
            out.pop_back();
    }
    if (out.empty()) out = "socket error " + std::to_string(code);
    return out;
}

// The runtime's socket layer starts Winsock too; this keeps our own call
// independent of the order in which things are created.
struct WinsockStartup {
    WinsockStartup() {
        WSADATA data;
        ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockStartup() {
        if (ok) WSACleanup();
    }
    bool ok = false;
};
}  // namespace

Result<std::uintptr_t> create_udp_socket(bool v6) {
    static WinsockStartup winsock;
    const SOCKET s = WSASocketW(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return fail(wsa_error_text(WSAGetLastError()));
    return static_cast<std::uintptr_t>(s);
}

}  // namespace hp::platform
