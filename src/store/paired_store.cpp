#include "store/paired_store.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <system_error>

#include "base/atomic_file.h"
#include "base/json.h"
#include "base/json_text.h"

namespace hp::store {

namespace fs = std::filesystem;

std::uint64_t unix_now() {
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    return secs < 0 ? 0 : static_cast<std::uint64_t>(secs);
}

namespace {

// Far more than any real list of phones; a larger file is not ours.
constexpr std::size_t kMaxStoreFileSize = 16u << 20;

// One record: compact for the tag text, or laid out for the file (members
// at six spaces, closing brace at four).
void append_record(std::string& out, const PairedClientRecord& r, bool pretty) {
    const char* sep = pretty ? "\n      " : "";
    const char* colon = pretty ? ": " : ":";
    bool first = true;
    auto name = [&](const char* n) {
        out += first ? "{" : ",";
        first = false;
        out += sep;
        out += '"';
        out += n;
        out += '"';
        out += colon;
    };
    name("clientId");
    append_json_string(out, r.clientId);
    name("deviceName");
    append_json_string(out, r.deviceName);
    name("deviceModel");
    append_json_string(out, r.deviceModel);
    name("ed25519PublicKeyHex");
    append_json_string(out, r.ed25519PublicKeyHex);
    name("pairedAtUnix");
    out += std::to_string(r.pairedAtUnix);
    name("lastSeenUnix");
    out += std::to_string(r.lastSeenUnix);
    name("lastRemoteIp");
    append_json_string(out, r.lastRemoteIp);
    out += pretty ? "\n    }" : "}";
}

// Member access for the stored file: required members must exist with the
// right type; optional ones may be absent.
std::optional<PairedClientRecord> record_from_json(const nlohmann::json& j) {
    if (!j.is_object()) return std::nullopt;
    PairedClientRecord r;
    auto req_str = [&](const char* name, std::string& out) {
        auto it = j.find(name);
        if (it == j.end() || !it->is_string()) return false;
        out = it->get<std::string>();
        return true;
    };
    auto opt_str = [&](const char* name, std::string& out) {
        auto it = j.find(name);
        if (it == j.end()) return true;
        if (!it->is_string()) return false;
        out = it->get<std::string>();
        return true;
    };
    auto opt_u64 = [&](const char* name, std::uint64_t& out) {
        auto it = j.find(name);
        if (it == j.end()) return true;
        if (!it->is_number_unsigned()) return false;
        out = it->get<std::uint64_t>();
        return true;
    };
    if (!req_str("clientId", r.clientId) || !req_str("deviceName", r.deviceName) ||
        !opt_str("deviceModel", r.deviceModel) ||
        !req_str("ed25519PublicKeyHex", r.ed25519PublicKeyHex) ||
        !opt_u64("pairedAtUnix", r.pairedAtUnix) || !opt_u64("lastSeenUnix", r.lastSeenUnix) ||
        !opt_str("lastRemoteIp", r.lastRemoteIp))
        return std::nullopt;
    return r;
}

struct ParsedFile {
    std::vector<PairedClientRecord> records;
    std::string tag;
};

// The file is read with the same strict reader as client bodies: one JSON
// value and nothing after it (a zero byte included), no repeated members.
std::optional<ParsedFile> parse_store_file(ByteView text) {
    auto parsed = parse_strict(text);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    const nlohmann::json& j = *parsed;
    auto version = j.find("version");
    auto clients = j.find("clients");
    auto tag = j.find("hmacHex");
    if (version == j.end() || !version->is_number() || clients == j.end() ||
        !clients->is_array() || tag == j.end() || !tag->is_string())
        return std::nullopt;
    ParsedFile out;
    for (const auto& c : *clients) {
        auto r = record_from_json(c);
        if (!r) return std::nullopt;
        out.records.push_back(std::move(*r));
    }
    out.tag = tag->get<std::string>();
    return out;
}

std::string tag_for(const crypto::Key32& key, const std::vector<PairedClientRecord>& records) {
    const std::string text = PairedDeviceStore::tagged_text(records);
    return crypto::hex_encode(crypto::hmac_sha256(key, as_bytes(text)));
}

void reject(const fs::path& path) {
    fs::path rejected = path;
    rejected.replace_extension("json.rejected");
    std::error_code ec;
    fs::rename(path, rejected, ec);  // a failed move is ignored
}

}  // namespace

std::string PairedDeviceStore::tagged_text(const std::vector<PairedClientRecord>& records) {
    std::string out = "[";
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i) out += ',';
        append_record(out, records[i], false);
    }
    out += ']';
    return out;
}

std::string PairedDeviceStore::tag() const { return tag_for(key_, records_); }

std::string PairedDeviceStore::file_text() const {
    std::string out = "{\n  \"version\": 1,\n  \"clients\": ";
    if (records_.empty()) {
        out += "[]";
    } else {
        out += "[\n";
        for (std::size_t i = 0; i < records_.size(); ++i) {
            out += "    ";
            append_record(out, records_[i], true);
            out += i + 1 < records_.size() ? ",\n" : "\n";
        }
        out += "  ]";
    }
    out += ",\n  \"hmacHex\": \"" + tag() + "\"\n}";
    return out;
}

PairedDeviceStore PairedDeviceStore::load(const fs::path& path, const crypto::Key32& key,
                                          OrderedFileWriter::Write write) {
    PairedDeviceStore store(path, key, std::move(write));
    auto text = read_file_capped(path, kMaxStoreFileSize);
    if (!text) {
        if (text.error().kind != FileReadError::Kind::Missing) reject(path);
        return store;
    }
    auto parsed = parse_store_file(*text);
    if (!parsed) {
        reject(path);
        return store;
    }
    const std::string expected = tag_for(key, parsed->records);
    if (!crypto::ct_equal(as_bytes(expected), as_bytes(parsed->tag))) {
        reject(path);
        return store;
    }
    store.records_ = std::move(parsed->records);
    return store;
}

const PairedClientRecord* PairedDeviceStore::find(std::string_view clientId) const {
    for (const auto& r : records_)
        if (r.clientId == clientId) return &r;
    return nullptr;
}

PairedClientRecord* PairedDeviceStore::find(std::string_view clientId) {
    for (auto& r : records_)
        if (r.clientId == clientId) return &r;
    return nullptr;
}

void PairedDeviceStore::upsert(PairedClientRecord record) {
    if (auto* existing = find(record.clientId)) {
        *existing = std::move(record);
        return;
    }
    records_.push_back(std::move(record));
}

std::optional<protocol::PairedClient> PairedDeviceStore::paired_client(std::string_view clientId) const {
    const PairedClientRecord* record = find(clientId);
    if (!record) return std::nullopt;
    return protocol::PairedClient{record->deviceName, crypto::hex_decode_array<32>(record->ed25519PublicKeyHex)};
}

Status PairedDeviceStore::record_pairing(const protocol::NewPairing& pairing) {
    keep_pairing(pairing);
    return save();
}

void PairedDeviceStore::keep_pairing(const protocol::NewPairing& pairing) {
    const std::uint64_t now = unix_now();
    PairedClientRecord record;
    record.clientId = pairing.clientId;
    record.deviceName = pairing.deviceName;
    record.deviceModel = pairing.deviceModel;
    record.ed25519PublicKeyHex = crypto::hex_encode(pairing.ed25519PublicKey);
    record.pairedAtUnix = now;
    record.lastSeenUnix = now;
    record.lastRemoteIp = pairing.remoteIp;
    upsert(std::move(record));
}

void PairedDeviceStore::record_authentication(std::string_view clientId, std::string_view remoteIp) {
    note_visit(clientId, remoteIp);
    (void)save();
}

void PairedDeviceStore::note_visit(std::string_view clientId, std::string_view remoteIp) {
    touch(clientId, unix_now(), remoteIp);
}

bool PairedDeviceStore::touch(std::string_view clientId, std::uint64_t nowUnix,
                              std::string_view remoteIp) {
    auto* r = find(clientId);
    if (!r) return false;
    r->lastSeenUnix = nowUnix;
    r->lastRemoteIp = std::string(remoteIp);
    return true;
}

std::size_t PairedDeviceStore::remove(std::string_view clientId) {
    const auto before = records_.size();
    std::erase_if(records_, [&](const PairedClientRecord& r) { return r.clientId == clientId; });
    return before - records_.size();
}

OrderedFileWriter& PairedDeviceStore::writer() {
    if (!writer_) {
        auto write = [put = write_](const fs::path& target, const fs::path& tmp, ByteView data) -> Status {
            std::error_code ec;
            if (target.has_parent_path()) {
                fs::create_directories(target.parent_path(), ec);
                if (ec) return fail(ec.message());
            }
            return put ? put(target, tmp, data) : write_file_atomically(target, tmp, data);
        };
        writer_ = std::make_shared<OrderedFileWriter>(path_, tmp_sibling(path_), std::move(write));
    }
    return *writer_;
}

OrderedFileWriter::Ticket PairedDeviceStore::save_later(bool urgent) {
    return writer().submit(file_text(), urgent);
}

Status PairedDeviceStore::save() { return wait_saved(save_later()); }

}  // namespace hp::store
