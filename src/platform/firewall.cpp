#include "platform/firewall.h"

namespace hp::platform {

unsigned profile_of(NetworkCategory category) {
    switch (category) {
        case NetworkCategory::Domain: return kProfileDomain;
        case NetworkCategory::Private: return kProfilePrivate;
        case NetworkCategory::Public: return kProfilePublic;
    }
    return kProfilePublic;  // an unknown value: the strictest profile
}

}  // namespace hp::platform
