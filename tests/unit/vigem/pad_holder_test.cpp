// PadHolder's switch, grace and on-demand plug-in, with background work run
// from a manual clock so that the 3 s grace takes no time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/fake/fake_virtual_pad_bus.h"
#include "vigem/pad_holder.h"
#include "vigem/records.h"

namespace hp::vigem {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// Runs scheduled work when the test advances its clock, in the order it
// falls due.
class ManualScheduler : public Scheduler {
public:
    bool runAfter(std::chrono::milliseconds delay, std::function<void()> work) override {
        tasks_.push_back({now_ + delay, next_++, std::move(work)});
        return true;
    }
    Instant now() const override { return Instant{} + now_; }
    void advance(std::chrono::milliseconds by) {
        const auto until = now_ + by;
        for (;;) {
            auto due = tasks_.end();
            for (auto it = tasks_.begin(); it != tasks_.end(); ++it)
                if (it->at <= until && (due == tasks_.end() || it->at < due->at ||
                                        (it->at == due->at && it->order < due->order)))
                    due = it;
            if (due == tasks_.end()) break;
            Task task = std::move(*due);
            tasks_.erase(due);
            now_ = std::max(now_, task.at);
            task.work();
        }
        now_ = until;
    }
    std::size_t pending() const { return tasks_.size(); }

private:
    struct Task {
        std::chrono::milliseconds at;
        int order;
        std::function<void()> work;
    };
    std::chrono::milliseconds now_{0};
    int next_ = 0;
    std::vector<Task> tasks_;
};

class Holder : public ::testing::Test {
protected:
    Lines takeLog() { return std::exchange(*log, {}); }
    std::size_t count(std::uint32_t code) const {
        std::size_t n = 0;
        for (const auto& r : bus->requests()) n += r.code == code;
        return n;
    }
    PadState pressedA() const {
        PadState s;
        s.buttons = 1;
        return s;
    }

    std::shared_ptr<fake::FakeVirtualPadBus> bus = std::make_shared<fake::FakeVirtualPadBus>();
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    std::shared_ptr<Lines> log = std::make_shared<Lines>();
    PadHolder holder{bus, [l = log](std::string_view text) { l->emplace_back(text); }, scheduler};
};

TEST_F(Holder, ControllerOffUnplugsAtOnce) {
    holder.setSwitch(true, false);
    scheduler->advance(0ms);
    EXPECT_EQ(takeLog(), (Lines{"switch on", "plugged in"}));
    EXPECT_TRUE(holder.plugged());

    holder.setSwitch(false, false);
    scheduler->advance(0ms);
    EXPECT_EQ(takeLog(), (Lines{"switch off", "unplugged"}));
    EXPECT_FALSE(holder.plugged());
    EXPECT_EQ(bus->requests().back(), (fake::PadRequest{kUnplugTarget, {8, 0, 0, 0, 1, 0, 0, 0}}));
    EXPECT_EQ(bus->openDevices(), 0);
}

TEST_F(Holder, ClientBackWithinTheGraceKeepsThePad) {
    holder.setSwitch(true, false);
    scheduler->advance(0ms);
    holder.setSwitch(false, true);
    scheduler->advance(2500ms);
    EXPECT_TRUE(holder.plugged());
    // Reports still reach the pad during the grace.
    holder.submit(pressedA());
    EXPECT_EQ(count(kSubmitXbox360Report), 1u);

    holder.setSwitch(true, false);
    scheduler->advance(10s);
    EXPECT_EQ(takeLog(), (Lines{"switch on", "plugged in", "switch off", "switch on"}));
    EXPECT_TRUE(holder.plugged());
    EXPECT_EQ(count(kPlugInTarget), 1u);
    EXPECT_EQ(count(kUnplugTarget), 0u);
    EXPECT_EQ(scheduler->pending(), 0u);
}

TEST_F(Holder, ClientGoneForThreeSecondsUnplugs) {
    holder.setSwitch(true, false);
    scheduler->advance(0ms);
    holder.setSwitch(false, true);
    scheduler->advance(2999ms);
    EXPECT_TRUE(holder.plugged());
    scheduler->advance(1ms);
    EXPECT_FALSE(holder.plugged());
    EXPECT_EQ(takeLog(), (Lines{"switch on", "plugged in", "switch off", "unplugged"}));
}

TEST_F(Holder, AnOlderGraceDoesNotUnplugAfterALaterOffOnOff) {
    holder.setSwitch(true, false);
    scheduler->advance(0ms);
    holder.setSwitch(false, true);  // grace ends at 3 s, but is superseded
    scheduler->advance(1s);
    holder.setSwitch(true, false);
    scheduler->advance(0ms);
    holder.setSwitch(false, true);  // this grace ends at 4 s
    scheduler->advance(2500ms);
    EXPECT_TRUE(holder.plugged());
    scheduler->advance(500ms);
    EXPECT_FALSE(holder.plugged());
}

TEST_F(Holder, SwitchedOffSubmitSendsAndPlugsNothing) {
    holder.submit(pressedA());
    holder.neutral();
    EXPECT_TRUE(bus->requests().empty());

    holder.setSwitch(true, false);
    scheduler->advance(0ms);
    holder.setSwitch(false, false);
    scheduler->advance(0ms);
    bus->clearRequests();
    takeLog();
    holder.submit(pressedA());
    holder.neutral();
    EXPECT_TRUE(bus->requests().empty());
    EXPECT_EQ(takeLog(), Lines{});
    EXPECT_FALSE(holder.plugged());
}

TEST_F(Holder, FirstReportPlugsInOnDemand) {
    holder.setSwitch(true, false);  // the background plug-in has not run yet
    holder.submit(pressedA());
    scheduler->advance(0ms);
    EXPECT_EQ(takeLog(), (Lines{"switch on", "plugged in (on demand)"}));
    EXPECT_EQ(count(kPlugInTarget), 1u);
    ASSERT_EQ(count(kSubmitXbox360Report), 1u);
    EXPECT_EQ(bus->requests().back().input, (Bytes{20, 0, 0, 0, 1, 0, 0, 0, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    holder.neutral();
    EXPECT_EQ(bus->requests().back().input, (Bytes{20, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Holder, FailedPlugInsAreRetriedOnDemandAtMostOnceASecond) {
    bus->setPresent(false);
    holder.setSwitch(true, false);
    scheduler->advance(0ms);
    EXPECT_EQ(takeLog(), (Lines{"switch on", "plug-in failed"}));

    // Reports within the second after the refusal start no plug-in.
    holder.submit(pressedA());
    scheduler->advance(999ms);
    holder.submit(pressedA());
    scheduler->advance(0ms);
    EXPECT_EQ(takeLog(), Lines{});
    EXPECT_EQ(scheduler->pending(), 0u);

    // The next one a second on does; refused again, it starts the wait again.
    scheduler->advance(1ms);
    holder.submit(pressedA());
    holder.submit(pressedA());  // while that plug-in is under way: no second one
    scheduler->advance(0ms);
    EXPECT_EQ(takeLog(), Lines{"plug-in failed (on demand)"});
    bus->setPresent(true);
    scheduler->advance(500ms);
    holder.submit(pressedA());
    scheduler->advance(0ms);
    EXPECT_EQ(takeLog(), Lines{});

    scheduler->advance(500ms);
    holder.submit(pressedA());
    scheduler->advance(0ms);
    EXPECT_EQ(takeLog(), Lines{"plugged in (on demand)"});
    EXPECT_EQ(count(kSubmitXbox360Report), 1u);
}

TEST_F(Holder, APadThatBecomesReadyGetsTheLatestState) {
    holder.setSwitch(true, false);
    PadState right;
    right.rightX = 0x1234;
    holder.submit(pressedA());
    holder.submit(right);  // both before the plug-in has run
    scheduler->advance(0ms);
    ASSERT_TRUE(holder.plugged());
    ASSERT_EQ(count(kSubmitXbox360Report), 1u);
    EXPECT_EQ(bus->requests().back().input,
              (Bytes{20, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x34, 0x12, 0, 0}));
}

TEST_F(Holder, GenerationAdvancesWithEverySwitchChange) {
    EXPECT_FALSE(holder.switchOn());
    EXPECT_EQ(holder.generation(), 0u);
    holder.setSwitch(true, false);
    holder.setSwitch(true, false);
    EXPECT_TRUE(holder.switchOn());
    EXPECT_EQ(holder.generation(), 2u);
}

TEST(ThreadScheduler, RunsWorkOnAnotherThread) {
    auto scheduler = make_thread_scheduler();
    auto ran = std::make_shared<std::promise<std::thread::id>>();
    auto done = ran->get_future();
    scheduler->runAfter(1ms, [ran] { ran->set_value(std::this_thread::get_id()); });
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
    EXPECT_NE(done.get(), std::this_thread::get_id());
}

}  // namespace
}  // namespace hp::vigem
