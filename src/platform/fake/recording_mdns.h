#pragma once
// An mDNS responder that records what it is asked, for tests. Registrations
// can be refused on request; a withdrawn registration is recorded as an
// unregister of its full name.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/mdns_responder.h"

namespace hp::fake {

struct MdnsCall {
    enum class Op { Register, Unregister };
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
    std::vector<MdnsCall> calls() const;
    // "register <full name>" / "unregister <full name>", one per call.
    std::vector<std::string> lines() const;
    // Services registered and not yet withdrawn.
    int live() const;
    void clear();

    struct Log {
        mutable std::mutex mutex;
        std::vector<MdnsCall> calls;
        int refuse = 0;
        int live = 0;
    };

private:
    std::shared_ptr<Log> log_;
};

}  // namespace hp::fake
