#pragma once
// An mDNS responder that records what it is asked, for tests. Registrations
// can be refused on request, and the daemon's later answer is played by the
// test: a registration starts in the state set by start_new_as (Registered
// unless told otherwise) and answer_live changes it afterwards.
//
// Dropping a registration is recorded by what it was when dropped: a
// Registered one as an unregister of its full name, a Pending one as a
// cancel of it, a Failed one not at all (there is nothing to withdraw).
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/mdns_responder.h"

namespace hp::fake {

struct MdnsCall {
    enum class Op { Register, Unregister, Cancel };
    Op op{};
    std::string fullName;
    platform::MdnsService service;  // filled for Register
};

class RecordingMdnsResponder : public platform::MdnsResponder {
public:
    RecordingMdnsResponder();
    Result<std::unique_ptr<platform::MdnsRegistration>> register_service(
        const platform::MdnsService& s) override;

    // The next `count` registrations fail (nothing is recorded for them).
    void refuse_next(int count);
    // The state registrations made from now on start in; Pending plays a
    // daemon that has not answered (and, unless answer_live comes, never does).
    void start_new_as(platform::MdnsRegistrationState state);
    // The daemon's answer, after register_service returned, to every
    // registration not yet dropped.
    void answer_live(platform::MdnsRegistrationState state);

    std::vector<MdnsCall> calls() const;
    // "register <full name>" / "unregister <full name>" / "cancel <full name>",
    // one per call.
    std::vector<std::string> lines() const;
    // Registrations made and not yet dropped.
    int live() const;
    void clear();

    struct Log {
        mutable std::mutex mutex;
        std::vector<MdnsCall> calls;
        int refuse = 0;
        platform::MdnsRegistrationState startAs = platform::MdnsRegistrationState::Registered;
        // One entry per registration ever made, by the order they were made;
        // `live` false once dropped.
        struct Entry {
            platform::MdnsRegistrationState state;
            bool live = true;
        };
        std::vector<Entry> registrations;
    };

private:
    std::shared_ptr<Log> log_;
};

}  // namespace hp::fake
