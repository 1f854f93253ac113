// Windows Defender Firewall (INetFwPolicy2, netfw.h) and the network list
// (INetworkListManager, netlistmgr.h), through COM. The caller initialises
// COM on its thread (the connection check's worker uses the multithreaded
// apartment); every object here is used on that thread only.
//
// A getter that fails (E_NOTIMPL, access denied, the service stopped) gives
// an unknown fact, never a default.
#include <windows.h>
#include <initguid.h>  // the CLSIDs and IIDs below are defined in this file
#include <netfw.h>
#include <netlistmgr.h>
#include <oleauto.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/firewall.h"
#include "platform/win32/com.h"
#include "platform/win32/text.h"

namespace hp::platform {

namespace {

using win32::Bstr;
using win32::ComPtr;

std::string utf8_of(const Bstr& b) { return win32::to_utf8(b.wide()).value_or(std::string()); }

// The program path of a rule as Windows uses it: environment variables
// ("%ProgramFiles%\...") expanded.
std::string expanded_path(const Bstr& b) {
    const std::wstring raw = b.wide();
    if (raw.empty()) return {};
    const DWORD need = ExpandEnvironmentStringsW(raw.c_str(), nullptr, 0);
    if (need == 0) return win32::to_utf8(raw).value_or(std::string());
    std::wstring out(need, L'\0');
    const DWORD got = ExpandEnvironmentStringsW(raw.c_str(), out.data(), need);
    if (got == 0 || got > need) return win32::to_utf8(raw).value_or(std::string());
    out.resize(got - 1);  // without the terminating NUL
    return win32::to_utf8(out).value_or(std::string());
}

bool has_ports(int protocol) { return protocol == kProtocolTcp || protocol == kProtocolUdp; }

unsigned profiles_from(long bits) { return static_cast<unsigned>(bits) & kProfileAll; }

std::string hresult_text(const char* what, HRESULT hr) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s failed (0x%08lX)", what, static_cast<unsigned long>(hr));
    return buf;
}

Result<FirewallRule> read_rule(INetFwRule* r) {
    FirewallRule rule;
    Bstr name, description, application;
    NET_FW_RULE_DIRECTION direction{};
    NET_FW_ACTION action{};
    VARIANT_BOOL enabled = VARIANT_FALSE;
    long profiles = 0, protocol = 0;
    if (FAILED(r->get_Name(name.put())) || FAILED(r->get_Direction(&direction)) ||
        FAILED(r->get_Action(&action)) || FAILED(r->get_Enabled(&enabled)) || FAILED(r->get_Profiles(&profiles)) ||
        FAILED(r->get_Protocol(&protocol)))
        return fail("a firewall rule could not be read");
    (void)r->get_Description(description.put());
    (void)r->get_ApplicationName(application.put());
    rule.name = utf8_of(name);
    rule.description = utf8_of(description);
    rule.applicationName = expanded_path(application);
    rule.inbound = direction == NET_FW_RULE_DIR_IN;
    rule.allow = action == NET_FW_ACTION_ALLOW;
    rule.enabled = enabled != VARIANT_FALSE;
    rule.profiles = profiles_from(profiles);
    rule.protocol = static_cast<int>(protocol);
    // The scope. A getter that fails leaves the field empty, which the check
    // never reads as open. Local ports exist only for TCP and UDP rules.
    Bstr remote, ports, interfaceTypes;
    rule.remoteAddresses = SUCCEEDED(r->get_RemoteAddresses(remote.put())) ? utf8_of(remote) : std::string();
    rule.interfaceTypes =
        SUCCEEDED(r->get_InterfaceTypes(interfaceTypes.put())) ? utf8_of(interfaceTypes) : std::string();
    if (has_ports(rule.protocol))
        rule.localPorts = SUCCEEDED(r->get_LocalPorts(ports.put())) ? utf8_of(ports) : std::string();
    return rule;
}

// Writes every field of `rule` into a rule object. Windows checks the rule
// after every single change (INetFwRule, Remarks), and ports exist only for
// TCP and UDP: a rule taken over that limits its ports gets them opened
// while its protocol still has ports, then its protocol, and only then the
// wanted ports (the protocol must be set before the ports, put_LocalPorts).
Status write_rule(INetFwRule* r, const FirewallRule& rule) {
    const auto name = win32::to_wide(rule.name);
    const auto description = win32::to_wide(rule.description);
    const auto application = win32::to_wide(rule.applicationName);
    const auto remote = win32::to_wide(rule.remoteAddresses);
    const auto ports = win32::to_wide(rule.localPorts);
    const auto interfaceTypes = win32::to_wide(rule.interfaceTypes);
    if (!name || !description || !application || !remote || !ports || !interfaceTypes)
        return fail("the rule's text is not valid");
    HRESULT hr = S_OK;
    long current = 0;
    if (SUCCEEDED(r->get_Protocol(&current)) && has_ports(static_cast<int>(current))) {
        hr = r->put_LocalPorts(Bstr(L"*").get());
        if (SUCCEEDED(hr)) hr = r->put_RemotePorts(Bstr(L"*").get());
    }
    if (SUCCEEDED(hr)) hr = r->put_Protocol(rule.protocol);
    if (SUCCEEDED(hr) && has_ports(rule.protocol)) hr = r->put_LocalPorts(Bstr(*ports).get());
    if (SUCCEEDED(hr)) hr = r->put_RemoteAddresses(Bstr(*remote).get());
    if (SUCCEEDED(hr)) hr = r->put_InterfaceTypes(Bstr(*interfaceTypes).get());
    if (SUCCEEDED(hr)) hr = r->put_Name(Bstr(*name).get());
    if (SUCCEEDED(hr)) hr = r->put_Description(Bstr(*description).get());
    if (SUCCEEDED(hr)) hr = r->put_ApplicationName(application->empty() ? nullptr : Bstr(*application).get());
    if (SUCCEEDED(hr)) hr = r->put_Direction(rule.inbound ? NET_FW_RULE_DIR_IN : NET_FW_RULE_DIR_OUT);
    if (SUCCEEDED(hr)) hr = r->put_Action(rule.allow ? NET_FW_ACTION_ALLOW : NET_FW_ACTION_BLOCK);
    if (SUCCEEDED(hr)) hr = r->put_Profiles(static_cast<long>(rule.profiles));
    if (SUCCEEDED(hr)) hr = r->put_Enabled(rule.enabled ? VARIANT_TRUE : VARIANT_FALSE);
    if (FAILED(hr)) return fail(hresult_text("Changing the firewall rule", hr));
    return {};
}

class ComFirewall final : public Firewall {
public:
    std::optional<bool> enabled(unsigned profile) override {
        VARIANT_BOOL on = VARIANT_FALSE;
        if (!policy() || FAILED(policy_->get_FirewallEnabled(static_cast<NET_FW_PROFILE_TYPE2>(profile), &on)))
            return std::nullopt;
        return on != VARIANT_FALSE;
    }

    std::optional<bool> blocks_all_inbound(unsigned profile) override {
        VARIANT_BOOL on = VARIANT_FALSE;
        if (!policy() ||
            FAILED(policy_->get_BlockAllInboundTraffic(static_cast<NET_FW_PROFILE_TYPE2>(profile), &on)))
            return std::nullopt;
        return on != VARIANT_FALSE;
    }

    std::optional<bool> managed_elsewhere() override {
        NET_FW_MODIFY_STATE state{};
        if (!policy() || FAILED(policy_->get_LocalPolicyModifyState(&state))) return std::nullopt;
        return state == NET_FW_MODIFY_STATE_GP_OVERRIDE;
    }

    Result<std::vector<FirewallRule>> rules() override {
        objects_.clear();
        ComPtr<INetFwRules> all;
        if (!policy()) return fail("The firewall could not be reached");
        HRESULT hr = policy_->get_Rules(all.put());
        if (FAILED(hr)) return fail(hresult_text("Reading the firewall rules", hr));
        ComPtr<IUnknown> unknown;
        hr = all->get__NewEnum(unknown.put());
        if (FAILED(hr)) return fail(hresult_text("Reading the firewall rules", hr));
        ComPtr<IEnumVARIANT> items;
        hr = unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(items.put()));
        if (FAILED(hr)) return fail(hresult_text("Reading the firewall rules", hr));
        std::vector<FirewallRule> out;
        for (;;) {
            VARIANT v;
            VariantInit(&v);
            ULONG fetched = 0;
            if (items->Next(1, &v, &fetched) != S_OK || fetched == 0) break;
            ComPtr<INetFwRule> rule;
            if (v.vt == VT_DISPATCH && v.pdispVal)
                (void)v.pdispVal->QueryInterface(IID_INetFwRule, reinterpret_cast<void**>(rule.put()));
            VariantClear(&v);
            if (!rule) continue;
            auto read = read_rule(rule.get());
            if (!read) continue;  // a rule we cannot read is one we never change
            out.push_back(std::move(*read));
            objects_.push_back(rule);
        }
        return out;
    }

    Status disable_rule(std::size_t index) override {
        if (index >= objects_.size()) return fail("no such firewall rule");
        const HRESULT hr = objects_[index]->put_Enabled(VARIANT_FALSE);
        if (FAILED(hr)) return fail(hresult_text("Turning the firewall rule off", hr));
        return {};
    }

    Status replace_rule(std::size_t index, const FirewallRule& rule) override {
        if (index >= objects_.size()) return fail("no such firewall rule");
        return write_rule(objects_[index].get(), rule);
    }

    Status add_rule(const FirewallRule& rule) override {
        ComPtr<INetFwRules> all;
        if (!policy()) return fail("The firewall could not be reached");
        HRESULT hr = policy_->get_Rules(all.put());
        if (FAILED(hr)) return fail(hresult_text("Reading the firewall rules", hr));
        ComPtr<INetFwRule> created;
        hr = CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                              reinterpret_cast<void**>(created.put()));
        if (FAILED(hr)) return fail(hresult_text("Creating a firewall rule", hr));
        if (auto written = write_rule(created.get(), rule); !written) return written;
        hr = all->Add(created.get());
        if (FAILED(hr)) return fail(hresult_text("Adding the firewall rule", hr));
        return {};
    }

private:
    INetFwPolicy2* policy() {
        if (!policy_ && !tried_) {
            tried_ = true;
            (void)CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwPolicy2,
                                   reinterpret_cast<void**>(policy_.put()));
        }
        return policy_.get();
    }

    ComPtr<INetFwPolicy2> policy_;
    bool tried_ = false;
    std::vector<ComPtr<INetFwRule>> objects_;  // the rules of the last rules()
};

// "{XXXXXXXX-XXXX-...}" in capitals, as GetAdaptersAddresses names adapters.
std::string guid_text(const GUID& guid) {
    wchar_t buf[64] = {};
    if (StringFromGUID2(guid, buf, static_cast<int>(std::size(buf))) == 0) return {};
    return win32::to_utf8(buf).value_or(std::string());
}

class ComNetworkList final : public NetworkList {
public:
    std::optional<std::map<std::string, NetworkCategory>> categories() override {
        ComPtr<INetworkListManager> manager;
        HRESULT hr = CoCreateInstance(CLSID_NetworkListManager, nullptr, CLSCTX_ALL, IID_INetworkListManager,
                                      reinterpret_cast<void**>(manager.put()));
        if (FAILED(hr)) return std::nullopt;
        ComPtr<IEnumNetworkConnections> connections;
        hr = manager->GetNetworkConnections(connections.put());
        if (FAILED(hr) || !connections) return std::nullopt;
        std::map<std::string, NetworkCategory> out;
        for (;;) {
            ComPtr<INetworkConnection> connection;
            ULONG fetched = 0;
            if (connections->Next(1, connection.put(), &fetched) != S_OK || fetched == 0) break;
            GUID adapter{};
            ComPtr<INetwork> network;
            NLM_NETWORK_CATEGORY category{};
            if (FAILED(connection->GetAdapterId(&adapter)) || FAILED(connection->GetNetwork(network.put())) ||
                !network || FAILED(network->GetCategory(&category)))
                continue;  // this adapter's category stays unknown
            const std::string id = guid_text(adapter);
            if (id.empty()) continue;
            switch (category) {
                case NLM_NETWORK_CATEGORY_PRIVATE: out[id] = NetworkCategory::Private; break;
                case NLM_NETWORK_CATEGORY_DOMAIN_AUTHENTICATED: out[id] = NetworkCategory::Domain; break;
                default: out[id] = NetworkCategory::Public; break;
            }
        }
        return out;
    }
};

}  // namespace

std::unique_ptr<Firewall> make_firewall() { return std::make_unique<ComFirewall>(); }
std::unique_ptr<NetworkList> make_network_list() { return std::make_unique<ComNetworkList>(); }

}  // namespace hp::platform
