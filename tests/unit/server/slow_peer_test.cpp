// Peers that do not read what the host sends, and replies that must fit in
// one frame: the host never holds unbounded data for a peer, never frees a
// buffer a write still uses, and never sends after SessionEnded.
#include <gtest/gtest.h>

#include "host_fixture.h"
#include "protocol/frame.h"
#include "host_ops/host_ops.h"
#include "server/session.h"

namespace hp::test {
namespace {

namespace ft = frame_type;
using namespace std::chrono_literals;

class SlowPeer : public HostFixture {
protected:
    // A paired client whose receive buffer is tiny, so what it does not read
    // piles up on the host's side quickly.
    std::unique_ptr<TestClient> tight_client(const std::string& name) {
        auto c = std::make_unique<TestClient>(ClientIdentity::generate(name));
        c->set_receive_buffer(4096);
        EXPECT_TRUE(c->connect(port()));
        const auto r = c->pair(open_code());
        EXPECT_TRUE(r.ok()) << r.detail;
        EXPECT_TRUE(wait_event(HostEventKind::SessionOpened, name));
        return c;
    }
};

// Pings keep the idle deadline from firing; only the cap on queued replies
// and the write deadline end such a peer.
TEST_F(SlowPeer, APeerThatSendsPingsAndNeverReadsIsDisconnected) {
    start(3s);
    auto c = tight_client("Flood");
    const auto until = std::chrono::steady_clock::now() + 20s;
    bool closed = false;
    int sent = 0;
    while (!closed && std::chrono::steady_clock::now() < until) {
        for (int i = 0; i < 500; ++i, ++sent)
            if (!c->send_secure(ft::Ping, std::string_view("{\"ts\":1}"))) break;
        closed = wait_event(HostEventKind::SessionClosed, "Flood", 0ms);
    }
    EXPECT_TRUE(closed) << "the host still serves a peer that has read none of " << sent << " replies";
    HostLock lock(state());
    EXPECT_TRUE(state().sessions.empty());
}

TEST_F(SlowPeer, ASessionEndingWithAWriteInFlightClosesCleanly) {
    start(500ms);
    platform_->setClipboardContent(std::string(48000, 'x'));
    auto c = tight_client("Stuck");
    // About 960 kB of replies the client never reads: the host's writes stall.
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(c->send_secure(ft::ClipboardGet, std::string_view("{}")));
    ASSERT_TRUE(wait_platform("getClipboard"));
    std::this_thread::sleep_for(100ms);
    // The session is told to end while a write is still in flight; its last
    // frames get the flush time, then the socket is closed under the write.
    host_ops::remove_device(state(), c->identity().clientId);
    EXPECT_TRUE(wait_event(HostEventKind::SessionClosed, "Stuck"));
    std::this_thread::sleep_for(1500ms);  // the flush limit passes; the write handler runs
    c->close();
    // The host keeps serving others.
    auto other = paired_client("Other");
    ASSERT_TRUE(other->send_secure(ft::Ping, std::string_view("{\"ts\":2}")));
    auto pong = other->recv();
    ASSERT_TRUE(pong) << pong.error().text;
    EXPECT_EQ(pong->text(), "{\"ts\":2}");
}

TEST_F(SlowPeer, NothingFollowsSessionEndedEvenDuringTheCopyWait) {
    start();
    platform_->setClipboardContent(std::string("copied"));
    auto c = paired_client("Copier");
    ASSERT_TRUE(c->send_secure(ft::ClipboardGet, std::string_view("{\"copyFirst\":true}")));
    // Ctrl+C is pressed; the host now waits 180 ms before it reads the clipboard.
    ASSERT_TRUE(wait_platform("key 0x43 down"));
    host_ops::remove_device(state(), c->identity().clientId);
    auto ended = c->recv();
    ASSERT_TRUE(ended) << ended.error().text;
    EXPECT_EQ(ended->type, ft::SessionEnded);
    auto after = c->recv();
    EXPECT_FALSE(after) << "frame 0x" << std::hex << int(after ? after->type : 0) << " after SessionEnded";
}

TEST_F(SlowPeer, ClipboardTextThatGrowsWhenEscapedIsCutToFitOneFrame) {
    start();
    // A copied spreadsheet column: 48000 bytes that become 80000 in JSON.
    std::string column;
    for (int i = 0; i < 16000; ++i) column += "1\r\n";
    platform_->setClipboardContent(column);
    auto c = paired_client("Sheet");
    ASSERT_TRUE(c->send_secure(ft::ClipboardGet, std::string_view("{}")));
    auto reply = c->recv();
    ASSERT_TRUE(reply) << reply.error().text;
    ASSERT_EQ(reply->type, ft::ClipboardContent);
    EXPECT_LE(reply->body.size(), protocol::kMaxSecurePlainBody);
    const auto j = reply->json();
    EXPECT_EQ(j["truncated"], true);
    const std::string text = j["text"];
    EXPECT_GT(text.size(), 20000u);
    EXPECT_EQ(column.compare(0, text.size(), text), 0) << "the text is a prefix of the clipboard";
    // The session goes on.
    ASSERT_TRUE(c->send_secure(ft::Ping, std::string_view("{\"ts\":3}")));
    auto pong = c->recv();
    ASSERT_TRUE(pong) << pong.error().text;
    EXPECT_EQ(pong->type, ft::Pong);
}

}  // namespace
}  // namespace hp::test
