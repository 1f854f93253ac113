#pragma once
// The 20-byte input record is a protocol codec now (protocol/input_record.h);
// these names stay until the code that executes records reads them there.
#include <optional>

#include "protocol/input_record.h"

namespace hp::input {

inline constexpr std::size_t kInputCommandSize = protocol::kInputRecordSize;
using InputKind = protocol::InputKind;
using InputCommand = protocol::InputRecord;
using protocol::is_known_kind;

inline std::optional<InputCommand> decode_input_command(ByteView bytes) {
    return protocol::decode_input_record(bytes);
}
inline ByteArray<kInputCommandSize> encode_input_command(const InputCommand& command) {
    return protocol::encode_input_record(command);
}

}  // namespace hp::input
