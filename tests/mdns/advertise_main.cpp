// hp_mdns_advertise: advertises this machine the way the host does (its own
// interface scan, the discovery cycle, the system's mDNS responder) until
// SIGTERM or SIGINT, then withdraws the service and exits 0.
//
//   hp_mdns_advertise --name <host name> --id <host id> --port <port> --key <64 hex digits>
//
// Prints "registered <full name>" once the responder has taken the service.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "crypto/crypto.h"
#include "discovery/discovery_task.h"
#include "platform/mdns_responder.h"
#include "platform/posix/posix_system.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: hp_mdns_advertise --name N --id I --port P --key HEX\n");
    return 64;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace hp;
    discovery::AdvertConfig config;
    std::string key_hex;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i], value = argv[i + 1];
        if (opt == "--name") config.hostName = value;
        else if (opt == "--id") config.hostId = value;
        else if (opt == "--port") config.port = static_cast<std::uint16_t>(std::stoul(value));
        else if (opt == "--key") key_hex = value;
        else return usage();
    }
    crypto::init();
    const auto key = crypto::hex_decode_array<32>(key_hex);
    if (!key || config.hostId.empty() || config.port == 0) return usage();
    config.hostKey = *key;

    // The signals are taken by sigwait below, never delivered.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    const auto system = platform::make_posix_system();
    auto responder = platform::make_mdns_responder();
    if (!responder) {
        std::fprintf(stderr, "hp_mdns_advertise: %s\n", responder.error().text.c_str());
        return 2;
    }
    discovery::DiscoveryOptions options;
    options.advert = config;
    options.responder = *responder;
    auto task = std::make_unique<discovery::DiscoveryTask>(std::move(options));

    // Cycles as the host runs them (shorter sleep): a daemon still probing
    // its own host name refuses the registration, and the next cycle retries.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!task->advert_record().fullName) {
        task->run_cycle(discovery::scan_local_addresses(discovery::system_enumeration(*system)), {});
        if (task->advert_record().fullName) break;
        if (std::chrono::steady_clock::now() > give_up) {
            std::fprintf(stderr, "hp_mdns_advertise: nothing registered\n");
            return 3;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::printf("registered %s\n", task->advert_record().fullName->c_str());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stop, &sig);
    task.reset();  // withdraws the service
    std::printf("unregistered\n");
    std::fflush(stdout);
    return 0;
}
