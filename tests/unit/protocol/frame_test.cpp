#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace hp::protocol {
namespace {

Bytes header(std::uint32_t length, std::uint8_t type) {
    Bytes b;
    put_u32le(b, length);
    b.push_back(type);
    return b;
}

Bytes filled(std::size_t n, std::uint8_t seed = 0) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

crypto::Key32 test_key() {
    crypto::Key32 k{};
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<std::uint8_t>(0x40 + i);
    return k;
}

// --- FrameReader -------------------------------------------------------------

std::vector<Frame> sample_frames() {
    return {{0x10, {}},
            {0x30, filled(3, 1)},
            {0x34, filled(20, 2)},
            {0x33, filled(kMaxPlainBody, 3)},
            {0x3f, filled(1, 4)}};
}

Bytes concatenate(const std::vector<Frame>& frames) {
    Bytes stream;
    for (const auto& f : frames) append(stream, *encode_plain(f.type, f.body));
    return stream;
}

TEST(FrameReader, CutsFramesFromAnyChunking) {
    const auto frames = sample_frames();
    const Bytes stream = concatenate(frames);
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5},
                                    std::size_t{4096}, std::size_t{70000}, stream.size()}) {
        SCOPED_TRACE("chunk size " + std::to_string(chunk));
        FrameReader reader;
        std::vector<Frame> got;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            reader.feed(ByteView(stream).subspan(at, std::min(chunk, stream.size() - at)));
            Frame f;
            FrameReader::Status s;
            while ((s = reader.next(f)) == FrameReader::Status::Frame) got.push_back(f);
            ASSERT_EQ(s, FrameReader::Status::NeedMore);
        }
        ASSERT_EQ(got.size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(got[i].type, frames[i].type);
            EXPECT_EQ(got[i].body, frames[i].body);
        }
        EXPECT_EQ(reader.buffered(), 0u);
    }
}

TEST(FrameReader, KeepsBytesAfterAFrameForTheNext) {
    Bytes stream = *encode_plain(0x30, as_bytes("{\"ts\":1}"));
    const Bytes second = *encode_plain(0x32, as_bytes("{\"text\":\"x\"}"));
    stream.insert(stream.end(), second.begin(), second.begin() + 6);

    FrameReader reader;
    reader.feed(stream);
    Frame f;
    ASSERT_EQ(reader.next(f), FrameReader::Status::Frame);
    EXPECT_EQ(to_string(f.body), "{\"ts\":1}");
    EXPECT_EQ(reader.next(f), FrameReader::Status::NeedMore);
    EXPECT_EQ(reader.buffered(), 6u);

    reader.feed(ByteView(second).subspan(6));
    ASSERT_EQ(reader.next(f), FrameReader::Status::Frame);
    EXPECT_EQ(f.type, 0x32);
    EXPECT_EQ(to_string(f.body), "{\"text\":\"x\"}");
}

TEST(FrameReader, LengthFieldLimits) {
    struct Case {
        std::uint32_t length;
        FrameReader::Status expected;
    };
    const Case cases[] = {
        {0, FrameReader::Status::Bad},
        {1, FrameReader::Status::Frame},
        {kMaxFrameLength, FrameReader::Status::Frame},
        {kMaxFrameLength + 1, FrameReader::Status::Bad},
        {0xFFFFFFFFu, FrameReader::Status::Bad},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Bytes stream = header(c.length, 0x10);
        if (c.expected == FrameReader::Status::Frame) append(stream, filled(c.length - 1));
        FrameReader reader;
        reader.feed(stream);
        Frame f;
        EXPECT_EQ(reader.next(f), c.expected);
        if (c.expected == FrameReader::Status::Frame) {
            EXPECT_EQ(f.body.size(), c.length - 1);
        }
    }
}

TEST(FrameReader, BadLengthIsFinalAndDetectedBeforeTheBody) {
    FrameReader reader;
    Bytes len;
    put_u32le(len, kMaxFrameLength + 1);
    reader.feed(len);  // no type byte or body yet
    Frame f;
    EXPECT_EQ(reader.next(f), FrameReader::Status::Bad);
    reader.feed(*encode_plain(0x30, as_bytes("{}")));
    EXPECT_EQ(reader.next(f), FrameReader::Status::Bad);
}

TEST(FrameReader, WaitsForTheWholeLargestFrame) {
    FrameReader reader;
    const Bytes frame = *encode_plain(0x33, filled(kMaxPlainBody));
    reader.feed(ByteView(frame).first(frame.size() - 1));
    Frame f;
    EXPECT_EQ(reader.next(f), FrameReader::Status::NeedMore);
    reader.feed(ByteView(frame).last(1));
    EXPECT_EQ(reader.next(f), FrameReader::Status::Frame);
    EXPECT_EQ(f.body.size(), kMaxPlainBody);
}

// --- encoders ------------------------------------------------------------------

TEST(EncodePlain, LayoutIsLengthTypeBody) {
    const auto frame = encode_plain(0x31, as_bytes("{\"ts\":7}"));
    ASSERT_TRUE(frame);
    Bytes expected = {9, 0, 0, 0, 0x31};
    append(expected, std::string_view("{\"ts\":7}"));
    EXPECT_EQ(*frame, expected);
    EXPECT_EQ(*encode_plain(0x10, {}), (Bytes{1, 0, 0, 0, 0x10}));
}

TEST(EncodePlain, BodyLimit) {
    EXPECT_TRUE(encode_plain(0x32, filled(65535)));
    EXPECT_FALSE(encode_plain(0x32, filled(65536)));
}

TEST(EncodeSecure, BodyLimitAndCounter) {
    SessionKeys keys{crypto::SessionKey(test_key())};
    const auto largest = encode_secure(keys, kHostToClient, 0x38, filled(65519));
    ASSERT_TRUE(largest);
    EXPECT_EQ(get_u32le(largest->data()), kMaxFrameLength);
    EXPECT_EQ(keys.sendCounter, 1u);

    EXPECT_FALSE(encode_secure(keys, kHostToClient, 0x38, filled(65520)));
    EXPECT_EQ(keys.sendCounter, 1u);

    FrameReader reader;  // the largest secure frame is still a valid frame
    reader.feed(*largest);
    Frame f;
    EXPECT_EQ(reader.next(f), FrameReader::Status::Frame);
}

TEST(EncodeSecure, AssociatedDataCarriesTheOnWireLengthIncludingTheTag) {
    SessionKeys keys{crypto::SessionKey(test_key())};
    const std::string_view plain = "{\"ts\":42}";
    const auto frame = encode_secure(keys, kHostToClient, 0x31, as_bytes(plain));
    ASSERT_TRUE(frame);

    const std::uint32_t length = get_u32le(frame->data());
    EXPECT_EQ(length, 1 + plain.size() + 16);
    EXPECT_EQ((*frame)[4], 0x31);
    const ByteView body = ByteView(*frame).subspan(5);
    ASSERT_EQ(body.size(), length - 1);

    const Bytes aad = {0x31, static_cast<std::uint8_t>(length), 0, 0, 0};
    const auto opened = crypto::aead_open(test_key(), crypto::make_nonce("HTCP", 0), aad, body);
    ASSERT_TRUE(opened);
    EXPECT_EQ(to_string(*opened), plain);

    // The length without the tag is not what was authenticated.
    const Bytes shortAad = {0x31, static_cast<std::uint8_t>(length - 16), 0, 0, 0};
    EXPECT_FALSE(crypto::aead_open(test_key(), crypto::make_nonce("HTCP", 0), shortAad, body));
}

TEST(SecureFrames, RoundTripWithCountersFromZero) {
    SessionKeys host{crypto::SessionKey(test_key())};
    SessionKeys client{crypto::SessionKey(test_key())};
    for (std::uint64_t i = 0; i < 3; ++i) {
        const std::string text = "{\"ts\":" + std::to_string(i) + "}";
        EXPECT_EQ(host.sendCounter, i);
        const auto frame = encode_secure(host, kHostToClient, 0x31, as_bytes(text));
        ASSERT_TRUE(frame);
        const auto plain = decode_secure(client, kHostToClient, 0x31, ByteView(*frame).subspan(5));
        ASSERT_TRUE(plain);
        EXPECT_EQ(to_string(*plain), text);
        EXPECT_EQ(client.recvCounter, i + 1);
    }
    const auto empty = encode_secure(host, kHostToClient, 0x23, {});
    ASSERT_TRUE(empty);
    EXPECT_EQ(get_u32le(empty->data()), 17u);
    EXPECT_TRUE(decode_secure(client, kHostToClient, 0x23, ByteView(*empty).subspan(5)));
}

TEST(SecureFrames, RejectsAnythingButTheExactFrame) {
    SessionKeys sender{crypto::SessionKey(test_key())};
    const auto frame = encode_secure(sender, kClientToHost, 0x32, as_bytes("{\"text\":\"hi\"}"));
    ASSERT_TRUE(frame);
    const Bytes body(frame->begin() + 5, frame->end());

    struct Case {
        const char* name;
        Bytes body;
        std::uint8_t type = 0x32;
        std::string_view label = kClientToHost;
        std::uint64_t counter = 0;
    };
    auto flipped = [&](std::size_t at) {
        Bytes b = body;
        b[at] ^= 0x80;
        return b;
    };
    const Case cases[] = {
        {"ciphertext byte", flipped(0)},
        {"tag byte", flipped(body.size() - 1)},
        {"type byte", body, 0x33},
        {"other direction", body, 0x32, kHostToClient},
        {"receive counter ahead", body, 0x32, kClientToHost, 1},
        {"shorter than a tag", Bytes(body.begin(), body.begin() + 15)},
        {"truncated", Bytes(body.begin(), body.end() - 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionKeys receiver{crypto::SessionKey(test_key()), 0, c.counter};
        EXPECT_FALSE(decode_secure(receiver, c.label, c.type, c.body));
        EXPECT_EQ(receiver.recvCounter, c.counter);
    }
    SessionKeys receiver{crypto::SessionKey(test_key())};
    EXPECT_TRUE(decode_secure(receiver, kClientToHost, 0x32, body));
}

TEST(SecureFrames, ARepeatedFrameFailsTheSecondTime) {
    SessionKeys sender{crypto::SessionKey(test_key())};
    SessionKeys receiver{crypto::SessionKey(test_key())};
    const auto frame = encode_secure(sender, kClientToHost, 0x30, as_bytes("{\"ts\":1}"));
    ASSERT_TRUE(frame);
    const ByteView body = ByteView(*frame).subspan(5);
    EXPECT_TRUE(decode_secure(receiver, kClientToHost, 0x30, body));
    EXPECT_FALSE(decode_secure(receiver, kClientToHost, 0x30, body));
}

}  // namespace
}  // namespace hp::protocol
