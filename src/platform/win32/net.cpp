#include "platform/net.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "platform/win32/text.h"

namespace hp::platform {

namespace {
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
    if (s == INVALID_SOCKET) return fail(win32::system_message(static_cast<unsigned long>(WSAGetLastError())));
    return static_cast<std::uintptr_t>(s);
}

}  // namespace hp::platform
