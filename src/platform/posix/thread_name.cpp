#include "platform/thread_name.h"

#include <pthread.h>

#include <string>

namespace hp::platform {

void name_this_thread(std::string_view name) {
    // Linux keeps at most 15 bytes and a terminating zero.
    const std::string cut(name.substr(0, 15));
    (void)pthread_setname_np(pthread_self(), cut.c_str());
}

}  // namespace hp::platform
