#pragma once
// Where the host's mDNS advertisement stands, as the connection check reads it.
namespace hp::discovery {

enum class AdvertState {
    Off,         // nothing is advertised: no mDNS daemon, or advertising is turned off
    NoAddress,   // there is no address to advertise
    Pending,     // handed to the daemon, no answer yet
    Registered,  // the daemon confirmed it
    Failed,      // the daemon refused it or never answered; the next cycle tries again
};

}  // namespace hp::discovery
