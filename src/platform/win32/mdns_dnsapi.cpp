// The mDNS responder on Windows: DnsServiceRegister and its companions of
// dnsapi.dll (Windows 10 1809 and later), looked up at run time. Where they
// are missing there is no responder at all.
//
// A DNS_SERVICE_INSTANCE holds one IPv4 and one IPv6 address, so a service
// is published with one address of each family (one_address_per_family).
#include "platform/win32/mdns_dnsapi.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "platform/win32/text.h"

namespace hp::platform {

namespace {

template <class F>
bool load(HMODULE dll, const char* name, F& out) {
    out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    return out != nullptr;
}

std::optional<DnsApiTable> load_dnsapi() {
    // dnsapi.dll stays loaded for the life of the process: completion
    // callbacks run from its threads and may come after every owner here has
    // gone, so it is never unloaded.
    HMODULE dll = LoadLibraryExW(L"dnsapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!dll) return std::nullopt;
    decltype(&DnsServiceConstructInstance) construct = nullptr;
    decltype(&DnsServiceFreeInstance) free_instance = nullptr;
    decltype(&DnsServiceRegister) register_service = nullptr;
    decltype(&DnsServiceDeRegister) deregister_service = nullptr;
    decltype(&DnsServiceRegisterCancel) register_cancel = nullptr;
    if (!load(dll, "DnsServiceConstructInstance", construct) || !load(dll, "DnsServiceFreeInstance", free_instance) ||
        !load(dll, "DnsServiceRegister", register_service) || !load(dll, "DnsServiceDeRegister", deregister_service))
        return std::nullopt;
    DnsApiTable api;
    api.construct_instance = construct;
    api.free_instance = free_instance;
    api.register_service = register_service;
    api.deregister_service = deregister_service;
    if (load(dll, "DnsServiceRegisterCancel", register_cancel)) api.register_cancel = register_cancel;
    return api;
}

using RequestCall = std::function<DWORD(PDNS_SERVICE_REGISTER_REQUEST, PDNS_SERVICE_CANCEL)>;

// One service handed to dnsapi: the request, the cancel handle and what the
// daemon answered. The request and the cancel handle must stay valid until
// dnsapi's completion callbacks have run, also after the registration object
// is gone, so the state keeps itself alive while a callback is due.
//
// The first callback answers the registration. A deregistration's callback
// comes only after that answer, except where there is no
// DnsServiceRegisterCancel and an unanswered registration is deregistered;
// then nobody reads the state any more.
class ServiceState : public std::enable_shared_from_this<ServiceState> {
public:
    ServiceState(std::shared_ptr<const DnsApiTable> api, PDNS_SERVICE_INSTANCE instance)
        : api_(std::move(api)), instance_(instance) {
        request_.Version = DNS_QUERY_REQUEST_VERSION1;
        request_.InterfaceIndex = 0;
        request_.pServiceInstance = instance_;
        request_.pRegisterCompletionCallback = &ServiceState::on_complete;
        request_.pQueryContext = this;
        request_.hCredentials = nullptr;
        request_.unicastEnabled = FALSE;
    }
    ~ServiceState() { api_->free_instance(instance_); }
    ServiceState(const ServiceState&) = delete;
    ServiceState& operator=(const ServiceState&) = delete;

    DWORD start_register() { return start(api_->register_service, &cancel_); }

    MdnsRegistrationState state() const { return state_.load(); }

    // The owner is done with the service: withdraw what the daemon holds.
    void withdraw() {
        enum class Step { Nothing, Cancel, Deregister } step = Step::Nothing;
        {
            std::lock_guard lock(mutex_);
            if (!answered_)
                step = api_->register_cancel ? Step::Cancel : Step::Deregister;
            else if (state_.load() == MdnsRegistrationState::Registered)
                step = Step::Deregister;
            // A failed registration holds nothing to withdraw.
            if (step == Step::Cancel) cancelled_ = true;
            if (step == Step::Deregister) deregistered_ = true;
        }
        // The owner's reference keeps this object alive through the call,
        // even when the answer comes meanwhile.
        switch (step) {
            case Step::Cancel:
                // The registration's callback is still counted as due: like
                // dnsapi's other cancellable requests, it answers a cancelled
                // request (ERROR_CANCELLED), and if the success raced ahead of
                // the cancel, on_complete deregisters.
                api_->register_cancel(&cancel_);
                break;
            case Step::Deregister: start(api_->deregister_service, nullptr); break;
            case Step::Nothing: break;
        }
    }

private:
    DWORD start(const RequestCall& call, PDNS_SERVICE_CANCEL cancel) {
        {
            std::lock_guard lock(mutex_);
            ++due_;
            self_ = shared_from_this();
        }
        const DWORD rc = call(&request_, cancel);
        if (rc != kDnsRequestPending) finish();  // no callback will come
        return rc;
    }

    // May destroy this object: nothing may touch it afterwards.
    void finish() {
        std::shared_ptr<ServiceState> last;
        {
            std::lock_guard lock(mutex_);
            if (due_ > 0 && --due_ == 0) last = std::move(self_);
        }
    }  // `last`, perhaps the final owner, is released after the lock

    static VOID WINAPI on_complete(DWORD status, PVOID context, PDNS_SERVICE_INSTANCE returned) {
        auto* self = static_cast<ServiceState*>(context);
        if (returned) self->api_->free_instance(returned);
        bool deregister = false;
        {
            std::lock_guard lock(self->mutex_);
            if (!self->answered_) {
                self->answered_ = true;
                const bool ok = status == ERROR_SUCCESS;
                self->state_ = ok ? MdnsRegistrationState::Registered : MdnsRegistrationState::Failed;
                // Cancelled while the success was on its way: the service is
                // published all the same, and nobody owns it any more.
                if (ok && self->cancelled_ && !self->deregistered_) {
                    self->deregistered_ = true;
                    deregister = true;
                }
            }
        }
        // Counted before this callback's own finish, so the object outlives it.
        if (deregister) self->start(self->api_->deregister_service, nullptr);
        self->finish();
    }

    std::shared_ptr<const DnsApiTable> api_;
    PDNS_SERVICE_INSTANCE instance_;
    DNS_SERVICE_REGISTER_REQUEST request_{};
    DNS_SERVICE_CANCEL cancel_{};
    std::atomic<MdnsRegistrationState> state_{MdnsRegistrationState::Pending};
    std::mutex mutex_;
    bool answered_ = false;      // the registration's callback has come
    bool cancelled_ = false;     // DnsServiceRegisterCancel was called
    bool deregistered_ = false;  // DnsServiceDeRegister was called
    int due_ = 0;                // callbacks still to come
    std::shared_ptr<ServiceState> self_;
};

class DnsApiRegistration final : public MdnsRegistration {
public:
    explicit DnsApiRegistration(std::shared_ptr<ServiceState> state) : state_(std::move(state)) {}
    ~DnsApiRegistration() override { state_->withdraw(); }
    DnsApiRegistration(const DnsApiRegistration&) = delete;
    DnsApiRegistration& operator=(const DnsApiRegistration&) = delete;

    MdnsRegistrationState state() const override { return state_->state(); }

private:
    std::shared_ptr<ServiceState> state_;
};

std::wstring without_trailing_dot(std::wstring s) {
    if (!s.empty() && s.back() == L'.') s.pop_back();
    return s;
}

class DnsApiResponder final : public MdnsResponder {
public:
    explicit DnsApiResponder(DnsApiTable api) : api_(std::make_shared<const DnsApiTable>(std::move(api))) {}

    Result<std::unique_ptr<MdnsRegistration>> register_service(const MdnsService& s) override {
        const auto name = win32::to_wide(s.full_name());
        const auto host = win32::to_wide(s.hostName);
        if (!name || !host) return fail("service name is not valid text");
        std::vector<std::wstring> keys, values;
        for (const auto& [k, v] : s.txt) {
            auto wk = win32::to_wide(k);
            auto wv = win32::to_wide(v);
            if (!wk || !wv) return fail("service property is not valid text");
            keys.push_back(std::move(*wk));
            values.push_back(std::move(*wv));
        }
        std::vector<PCWSTR> key_ptrs, value_ptrs;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            key_ptrs.push_back(keys[i].c_str());
            value_ptrs.push_back(values[i].c_str());
        }

        const AddressPair pair = one_address_per_family(s);
        IP4_ADDRESS ip4{};
        IP6_ADDRESS ip6{};
        if (pair.v4) std::memcpy(&ip4, pair.v4->octets.data(), 4);  // network order
        if (pair.v6) std::memcpy(ip6.IP6Byte, pair.v6->octets.data(), 16);

        const std::wstring instance_name = without_trailing_dot(*name);
        const std::wstring host_name = without_trailing_dot(*host);
        PDNS_SERVICE_INSTANCE instance = api_->construct_instance(
            instance_name.c_str(), host_name.c_str(), pair.v4 ? &ip4 : nullptr, pair.v6 ? &ip6 : nullptr, s.port, 0,
            0, static_cast<DWORD>(key_ptrs.size()), key_ptrs.data(), value_ptrs.data());
        if (!instance) return fail("the service description was refused");
        auto state = std::make_shared<ServiceState>(api_, instance);
        const DWORD rc = state->start_register();
        if (rc != kDnsRequestPending) return fail(os_error_text(rc));
        return std::make_unique<DnsApiRegistration>(std::move(state));
    }

private:
    std::shared_ptr<const DnsApiTable> api_;
};

}  // namespace

std::shared_ptr<MdnsResponder> make_dnsapi_responder(DnsApiTable api) {
    return std::make_shared<DnsApiResponder>(std::move(api));
}

Result<std::shared_ptr<MdnsResponder>> make_mdns_responder() {
    auto api = load_dnsapi();
    if (!api) return fail("no mDNS daemon");
    return make_dnsapi_responder(std::move(*api));
}

}  // namespace hp::platform
