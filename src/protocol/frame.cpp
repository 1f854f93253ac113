#include "protocol/frame.h"

#include <limits>

namespace hp::protocol {

void FrameReader::feed(ByteView chunk) {
    if (bad_ || chunk.empty()) return;
    // Drop consumed bytes before growing, so a long-lived connection keeps a
    // buffer of roughly one frame instead of everything it ever received.
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    } else if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    append(buffer_, chunk);
}

FrameReader::Status FrameReader::next(Frame& out) {
    if (bad_) return Status::Bad;
    const std::size_t available = buffered();
    if (available < kFrameHeaderSize) return Status::NeedMore;
    const std::uint32_t length = get_u32le(buffer_.data() + start_);
    if (length == 0 || length > kMaxFrameLength) {
        bad_ = true;
        buffer_.clear();
        start_ = 0;
        return Status::Bad;
    }
    if (available - kFrameHeaderSize < length) return Status::NeedMore;
    const auto* frame = buffer_.data() + start_ + kFrameHeaderSize;
    out.type = frame[0];
    out.body.assign(frame + 1, frame + length);
    start_ += kFrameHeaderSize + length;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return Status::Frame;
}

ByteArray<5> secure_aad(std::uint8_t type, std::uint32_t frameLength) {
    return {
        type, static_cast<std::uint8_t>(frameLength), static_cast<std::uint8_t>(frameLength >> 8),
        static_cast<std::uint8_t>(frameLength >> 16), static_cast<std::uint8_t>(frameLength >> 24)};
}

namespace {

Bytes frame_bytes(std::uint8_t type, ByteView body) {
    Bytes out;
    out.reserve(kFrameHeaderSize + 1 + body.size());
    put_u32le(out, static_cast<std::uint32_t>(body.size() + 1));
    out.push_back(type);
    append(out, body);
    return out;
}

}  // namespace

Result<Bytes> encode_plain(std::uint8_t type, ByteView body) {
    if (body.size() > kMaxPlainBody) return fail("frame body too large");
    return frame_bytes(type, body);
}

Result<Bytes> encode_secure(SessionKeys& keys, std::string_view sendLabel, std::uint8_t type,
                            ByteView plain) {
    if (plain.size() > kMaxSecurePlainBody) return fail("frame body too large");
    // A counter that wrapped would reuse a nonce.
    if (keys.sendCounter == std::numeric_limits<std::uint64_t>::max())
        return fail("frame counter exhausted");
    const auto length = static_cast<std::uint32_t>(1 + plain.size() + kTagSize);
    const auto aad = secure_aad(type, length);
    const Bytes sealed =
        crypto::aead_seal(keys.key.bytes(), crypto::make_nonce(sendLabel, keys.sendCounter), aad, plain);
    ++keys.sendCounter;
    return frame_bytes(type, sealed);
}

std::optional<Bytes> decode_secure(SessionKeys& keys, std::string_view recvLabel, std::uint8_t type,
                                   ByteView wireBody) {
    if (wireBody.size() < kTagSize || wireBody.size() > kMaxPlainBody) return std::nullopt;
    if (keys.recvCounter == std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
    const auto length = static_cast<std::uint32_t>(1 + wireBody.size());
    const auto aad = secure_aad(type, length);
    auto plain =
        crypto::aead_open(keys.key.bytes(), crypto::make_nonce(recvLabel, keys.recvCounter), aad, wireBody);
    if (!plain) return std::nullopt;
    ++keys.recvCounter;
    return plain;
}

}  // namespace hp::protocol
