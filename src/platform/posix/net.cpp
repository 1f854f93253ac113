#include "platform/net.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace hp::platform {

Result<std::uintptr_t> create_udp_socket(bool v6) {
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return fail(std::strerror(errno));
    return static_cast<std::uintptr_t>(fd);
}

}  // namespace hp::platform
