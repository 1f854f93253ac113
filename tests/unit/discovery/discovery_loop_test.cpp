// The discovery loop as start-up runs it: a coroutine on an io_context, the
// scan on a separate pool, the Tailscale querier and the responder injected.
#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/thread_pool.hpp>
#include <atomic>
#include <thread>

#include "discovery/discovery_task.h"
#include "platform/fake/recording_mdns.h"
#include "unit/discovery/support.h"

namespace hp::discovery {
namespace {

using namespace std::chrono_literals;
using test::ips;
using test::scan_of;
using test::texts;

class ScriptedQuerier : public TailscaleQuerier {
public:
    asio::awaitable<std::optional<TailscaleInfo>> query(bool hasRangeAddresses) override {
        asked.push_back(hasRangeAddresses);
        TailscaleInfo info;
        info.selfIps = ips({"100.101.1.2"});
        info.dnsName = "pc.ts.net";
        co_return info;
    }
    std::vector<bool> asked;
};

TEST(DiscoveryLoop, CyclesUntilStoppedAndUnregistersWhenDropped) {
    auto io_owner = std::make_unique<asio::io_context>();
    asio::io_context& io = *io_owner;
    asio::thread_pool blocking(1);
    auto snapshot = std::make_shared<SharedNetworkSnapshot>();
    auto responder = std::make_shared<fake::RecordingMdnsResponder>();
    auto querier = std::make_shared<ScriptedQuerier>();

    // Each scan is one cycle; the clock moves 10 s per cycle.
    const std::vector<LocalAddresses> script = {scan_of({"192.168.1.20"}), scan_of({"192.168.1.20"}),
                                                scan_of({"192.168.1.20", "10.0.0.7"})};
    std::atomic<int> scans{0};
    std::atomic<std::thread::id> scan_thread{};
    std::atomic<int> ticks{0};
    int changes = 0;

    DiscoveryOptions o;
    o.snapshot = snapshot;
    o.advert = AdvertConfig{"id-1", "Desk", {}, 49182};
    o.responder = responder;
    o.onChange = [&] { ++changes; };
    o.now = [&] { return SteadyTime{} + ticks.load() * 10s; };
    auto task = std::make_shared<DiscoveryTask>(std::move(o));

    DiscoveryLoopOptions loop;
    loop.blocking = blocking.get_executor();
    loop.tailscale = querier;
    loop.period = 1ms;
    loop.scan = [&] {
        scan_thread = std::this_thread::get_id();
        const int n = scans.fetch_add(1);
        ticks = n;
        // The scan after the last scripted one stops the runtime, so every
        // scripted cycle has been completed.
        if (n == static_cast<int>(script.size())) asio::post(io, [&] { io.stop(); });
        return script[std::min<std::size_t>(n, script.size() - 1)];
    };
    asio::co_spawn(io, discovery_loop(task, loop), asio::detached);
    task.reset();  // the loop holds it
    io.run();      // until the fourth scan
    blocking.join();

    EXPECT_EQ(scans, 4);
    EXPECT_NE(scan_thread.load(), std::this_thread::get_id()) << "the scan runs on the blocking pool";
    EXPECT_EQ(querier->asked, std::vector<bool>{false});  // first cycle only; nothing due after
    const NetworkSnapshot net = snapshot->get();
    EXPECT_EQ(texts(net.lan), (std::vector<std::string>{"10.0.0.7", "192.168.1.20"}));
    EXPECT_EQ(texts(net.tailscale), std::vector<std::string>{"100.101.1.2"});
    EXPECT_EQ(net.tailscaleDnsName, "pc.ts.net");
    EXPECT_EQ(changes, 2);
    const std::string name = "Desk._hearthpad._tcp.local.";
    EXPECT_EQ(responder->lines(), (std::vector<std::string>{"register " + name, "unregister " + name,
                                                            "register " + name}));
    EXPECT_EQ(responder->live(), 1);

    // Shutting the runtime down destroys the loop, which withdraws the service.
    io_owner.reset();
    EXPECT_EQ(responder->live(), 0);
}

}  // namespace
}  // namespace hp::discovery
