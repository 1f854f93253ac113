#pragma once
// The mDNS responder over dnsapi.dll's service registration functions
// (Windows 10 1809 and later). make_mdns_responder looks them up in the
// system's dnsapi.dll; tests hand in functions of their own.
#include <windows.h>
#include <windns.h>

#include <functional>
#include <memory>

#include "platform/mdns_responder.h"

namespace hp::platform {

// DNS_REQUEST_PENDING (winerror.h; not in every SDK's headers): the request
// was accepted and its completion callback will come.
inline constexpr DWORD kDnsRequestPending = 9506;

// The entry points, with the signatures of windns.h.
struct DnsApiTable {
    std::function<PDNS_SERVICE_INSTANCE(PCWSTR service_name, PCWSTR host_name, PIP4_ADDRESS ip4,
                                        PIP6_ADDRESS ip6, WORD port, WORD priority, WORD weight,
                                        DWORD property_count, PCWSTR* keys, PCWSTR* values)>
        construct_instance;                                  // DnsServiceConstructInstance
    std::function<void(PDNS_SERVICE_INSTANCE)> free_instance;  // DnsServiceFreeInstance
    std::function<DWORD(PDNS_SERVICE_REGISTER_REQUEST, PDNS_SERVICE_CANCEL)> register_service;    // DnsServiceRegister
    std::function<DWORD(PDNS_SERVICE_REGISTER_REQUEST, PDNS_SERVICE_CANCEL)> deregister_service;  // DnsServiceDeRegister
    // DnsServiceRegisterCancel. May be empty: a registration still
    // unanswered is then withdrawn with deregister_service.
    std::function<DWORD(PDNS_SERVICE_CANCEL)> register_cancel;
};

// A responder over `api`; every member but register_cancel must be set.
//
// A registration's state follows the status its completion callback brings
// (ERROR_SUCCESS: Registered, anything else: Failed; Pending until then).
// Dropping it withdraws what there is to withdraw: a Registered service is
// deregistered, a Pending request is cancelled (register_cancel with the
// DNS_SERVICE_CANCEL given to register_service), a Failed one sends nothing.
// The request handed to dnsapi stays valid until every completion callback
// due for it has run, also after the registration and the responder are
// gone; a cancelled request counts its callback as still due.
std::shared_ptr<MdnsResponder> make_dnsapi_responder(DnsApiTable api);

}  // namespace hp::platform
