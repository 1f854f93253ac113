#pragma once
// The list of paired clients, kept in paired_devices.json with an HMAC tag
// keyed from the host identity. Touched only under the HostState lock. It is
// also what the handshakes read and change (protocol::PairedDevices).
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ordered_file_writer.h"
#include "base/result.h"
#include "crypto/crypto.h"
#include "protocol/handshake_host.h"

namespace hp::store {

struct PairedClientRecord {
    std::string clientId;
    std::string deviceName;
    std::string deviceModel;
    std::string ed25519PublicKeyHex;
    std::uint64_t pairedAtUnix = 0;
    std::uint64_t lastSeenUnix = 0;
    std::string lastRemoteIp;
    friend bool operator==(const PairedClientRecord&, const PairedClientRecord&) = default;
};

class PairedDeviceStore final : public protocol::PairedDevices {
public:
    PairedDeviceStore() = default;
    // `write` puts a content on the disk (write_file_atomically unless a
    // test hands in another).
    PairedDeviceStore(std::filesystem::path path, const crypto::Key32& key, OrderedFileWriter::Write write = {})
        : path_(std::move(path)), key_(key), write_(std::move(write)) {}

    // Never fails: a missing file gives an empty store; an unreadable,
    // unparsable or mistagged one is moved aside (.json.rejected) first.
    static PairedDeviceStore load(const std::filesystem::path& path, const crypto::Key32& key,
                                  OrderedFileWriter::Write write = {});

    const std::vector<PairedClientRecord>& records() const { return records_; }
    const PairedClientRecord* find(std::string_view clientId) const;
    PairedClientRecord* find(std::string_view clientId);
    // Replaces a record with the same clientId in place, else appends.
    void upsert(PairedClientRecord record);
    // Sets lastSeenUnix and lastRemoteIp; false when the id is unknown.
    bool touch(std::string_view clientId, std::uint64_t nowUnix, std::string_view remoteIp);
    // Deletes every record with that id; returns how many were deleted.
    std::size_t remove(std::string_view clientId);
    // Writes the whole store through "paired_devices.tmp", flushed to disk
    // before it is renamed over the file, and waits for that.
    Status save();
    // The same in two halves. save_later takes the store's content as it is
    // now and hands it to the store's one writing thread, without waiting
    // for the disk (called under the host lock, so contents are handed in
    // in the order they were decided); wait_saved, called without that
    // lock, waits until that content (or a later one) is on the disk.
    // A visit (`urgent` false) may wait a moment for others to join it.
    OrderedFileWriter::Ticket save_later(bool urgent = true);
    static Status wait_saved(const OrderedFileWriter::Ticket& ticket) { return ticket.wait(); }

    const std::filesystem::path& path() const { return path_; }

    // For the handshakes: a record whose key cannot be read has no key;
    // pairing writes a record with the time as paired and last seen and then
    // saves; authentication touches the record and saves, ignoring failure.
    std::optional<protocol::PairedClient> paired_client(std::string_view clientId) const override;
    Status record_pairing(const protocol::NewPairing& pairing) override;
    void record_authentication(std::string_view clientId, std::string_view remoteIp) override;
    // The same changes without the save.
    void keep_pairing(const protocol::NewPairing& pairing);
    void note_visit(std::string_view clientId, std::string_view remoteIp);

    // The text the tag is computed over, and the file content.
    static std::string tagged_text(const std::vector<PairedClientRecord>& records);
    std::string tag() const;
    std::string file_text() const;

private:
    OrderedFileWriter& writer();

    std::filesystem::path path_;
    crypto::Key32 key_{};
    std::vector<PairedClientRecord> records_;
    OrderedFileWriter::Write write_;
    // Made with the first save; copies of the store share it, so one file
    // has one writer.
    std::shared_ptr<OrderedFileWriter> writer_;
};

// Whole seconds since 1970 (0 before that).
std::uint64_t unix_now();

}  // namespace hp::store
