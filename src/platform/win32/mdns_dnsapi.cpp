// The mDNS responder on Windows: DnsServiceRegister and DnsServiceDeRegister
// of dnsapi.dll (Windows 10 1809 and later), looked up at run time. Where they
// are missing there is no responder at all.
//
// A DNS_SERVICE_INSTANCE holds one IPv4 and one IPv6 address, so a service
// is published with one address of each family (one_address_per_family).
#include "platform/mdns_responder.h"

#include <windows.h>
#include <windns.h>

#include <cstring>
#include <mutex>

#include "base/atomic_file.h"
#include "platform/win32/text.h"

namespace hp::platform {

namespace {

// DNS_REQUEST_PENDING (winerror.h; not in every SDK's headers): the request
// was accepted and its completion callback will come.
constexpr DWORD kRequestPending = 9506;

struct DnsApi {
    decltype(&DnsServiceConstructInstance) construct = nullptr;
    decltype(&DnsServiceFreeInstance) free_instance = nullptr;
    decltype(&DnsServiceRegister) register_service = nullptr;
    decltype(&DnsServiceDeRegister) deregister_service = nullptr;
};

template <class F>
bool load(HMODULE dll, const char* name, F& out) {
    out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    return out != nullptr;
}

std::optional<DnsApi> load_dnsapi() {
    // dnsapi.dll stays loaded for the life of the process: completion
    // callbacks run from its threads and may come after every owner here has
    // gone, so it is never unloaded.
    HMODULE dll = LoadLibraryExW(L"dnsapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!dll) return std::nullopt;
    DnsApi api;
    if (!load(dll, "DnsServiceConstructInstance", api.construct) ||
        !load(dll, "DnsServiceFreeInstance", api.free_instance) ||
        !load(dll, "DnsServiceRegister", api.register_service) ||
        !load(dll, "DnsServiceDeRegister", api.deregister_service))
        return std::nullopt;
    return api;
}

// One registered service. The request it hands to dnsapi must stay valid
// until dnsapi's completion callback has run, also after the registration
// object is gone, so the state keeps itself alive while a callback is due.
class ServiceState : public std::enable_shared_from_this<ServiceState> {
public:
    ServiceState(const DnsApi& api, PDNS_SERVICE_INSTANCE instance) : api_(api), instance_(instance) {
        request_.Version = DNS_QUERY_REQUEST_VERSION1;
        request_.InterfaceIndex = 0;
        request_.pServiceInstance = instance_;
        request_.pRegisterCompletionCallback = &ServiceState::on_complete;
        request_.pQueryContext = this;
        request_.hCredentials = nullptr;
        request_.unicastEnabled = FALSE;
    }
    ~ServiceState() { api_.free_instance(instance_); }
    ServiceState(const ServiceState&) = delete;
    ServiceState& operator=(const ServiceState&) = delete;

    DWORD start_register() { return start(api_.register_service); }
    void start_deregister() { start(api_.deregister_service); }

private:
    DWORD start(DWORD(WINAPI* call)(PDNS_SERVICE_REGISTER_REQUEST, PDNS_SERVICE_CANCEL)) {
        {
            std::lock_guard lock(mutex_);
            ++pending_;
            self_ = shared_from_this();
        }
        const DWORD rc = call(&request_, nullptr);
        if (rc != kRequestPending) finish();  // no callback will come
        return rc;
    }

    // May destroy this object: nothing may touch it afterwards.
    void finish() {
        std::shared_ptr<ServiceState> last;
        {
            std::lock_guard lock(mutex_);
            if (pending_ > 0 && --pending_ == 0) last = std::move(self_);
        }
    }  // `last`, perhaps the final owner, is released after the lock

    static VOID WINAPI on_complete(DWORD, PVOID context, PDNS_SERVICE_INSTANCE returned) {
        auto* self = static_cast<ServiceState*>(context);
        if (returned) self->api_.free_instance(returned);
        self->finish();
    }

    DnsApi api_;
    PDNS_SERVICE_INSTANCE instance_;
    DNS_SERVICE_REGISTER_REQUEST request_{};
    std::mutex mutex_;
    int pending_ = 0;
    std::shared_ptr<ServiceState> self_;
};

class DnsApiRegistration final : public MdnsRegistration {
public:
    explicit DnsApiRegistration(std::shared_ptr<ServiceState> state) : state_(std::move(state)) {}
    ~DnsApiRegistration() override { state_->start_deregister(); }
    DnsApiRegistration(const DnsApiRegistration&) = delete;
    DnsApiRegistration& operator=(const DnsApiRegistration&) = delete;

private:
    std::shared_ptr<ServiceState> state_;
};

std::wstring without_trailing_dot(std::wstring s) {
    if (!s.empty() && s.back() == L'.') s.pop_back();
    return s;
}

class DnsApiResponder final : public MdnsResponder {
public:
    explicit DnsApiResponder(DnsApi api) : api_(api) {}

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
        PDNS_SERVICE_INSTANCE instance = api_.construct(
            instance_name.c_str(), host_name.c_str(), pair.v4 ? &ip4 : nullptr, pair.v6 ? &ip6 : nullptr, s.port, 0,
            0, static_cast<DWORD>(key_ptrs.size()), key_ptrs.data(), value_ptrs.data());
        if (!instance) return fail("the service description was refused");
        auto state = std::make_shared<ServiceState>(api_, instance);
        const DWORD rc = state->start_register();
        if (rc != kRequestPending) return fail(os_error_text(rc));
        return std::make_unique<DnsApiRegistration>(std::move(state));
    }

private:
    DnsApi api_;
};

}  // namespace

Result<std::shared_ptr<MdnsResponder>> make_mdns_responder() {
    auto api = load_dnsapi();
    if (!api) return fail("no mDNS daemon");
    return std::make_shared<DnsApiResponder>(*api);
}

}  // namespace hp::platform
