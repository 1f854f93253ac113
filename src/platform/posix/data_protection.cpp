// Per-user protection of secrets at rest on Linux, standing in for DPAPI.
//
// A random 32-byte key lives in "protection.key" inside an owner-only key
// directory that is separate from the data directory:
//   $HEARTHPAD_KEY_DIR, else $XDG_CONFIG_HOME/Hearthpad-keys,
//   else <home>/.config/Hearthpad-keys.
// The key file is created 0600 in a 0700 directory and refused when it is not
// a regular file owned by this user and closed to everyone else.
//
// Blob: "HPDP" | version 0x01 | 24-byte random nonce | XChaCha20-Poly1305
// ciphertext with its 16-byte tag; the 5 header bytes are the associated data.
//
// This keeps the protected file useless when copied to another account or
// machine, or read from a backup of the data directory alone. It does not
// protect against root or against other processes of the same user, who can
// read the key file as easily as the program does.
#include "platform/posix/posix_system.h"

#include <fcntl.h>
#include <pwd.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "crypto/crypto.h"

namespace hp::platform {

namespace {

constexpr std::uint8_t kHeader[5] = {'H', 'P', 'D', 'P', 0x01};
constexpr std::size_t kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr std::size_t kKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr const char* kKeyFile = "protection.key";

std::string os_text(int err) {
    return std::generic_category().message(err);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Wipes the key when it goes out of scope.
struct KeyBuffer {
    crypto::Key32 bytes{};
    KeyBuffer() = default;
    KeyBuffer(const KeyBuffer&) = delete;
    KeyBuffer& operator=(const KeyBuffer&) = delete;
    ~KeyBuffer() { crypto::wipe(bytes); }
};

std::string non_empty_env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

}  // namespace

std::filesystem::path default_key_dir() {
    if (auto dir = non_empty_env("HEARTHPAD_KEY_DIR"); !dir.empty()) return dir;
    if (auto xdg = non_empty_env("XDG_CONFIG_HOME"); !xdg.empty() && xdg.front() == '/')
        return std::filesystem::path(xdg) / "Hearthpad-keys";
    std::string home = non_empty_env("HOME");
    if (home.empty()) {
        std::vector<char> buf(16384);
        passwd pw{};
        passwd* found = nullptr;
        if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
            found->pw_dir)
            home = found->pw_dir;
    }
    if (home.empty()) return {};
    return std::filesystem::path(home) / ".config" / "Hearthpad-keys";
}

namespace {

bool read_exact(int fd, std::uint8_t* out, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, out + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool write_exact(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

class PosixDataProtection final : public DataProtection {
public:
    explicit PosixDataProtection(std::filesystem::path key_dir) : dir_(std::move(key_dir)) {}

    Result<Bytes> protect(ByteView plain) override {
        KeyBuffer key;
        if (auto ok = load_or_create_key(key); !ok) return std::unexpected(ok.error());
        Bytes blob(sizeof kHeader + kNonceSize + plain.size() + kTagSize);
        std::copy(std::begin(kHeader), std::end(kHeader), blob.begin());
        std::uint8_t* nonce = blob.data() + sizeof kHeader;
        crypto::random_bytes(std::span<std::uint8_t>(nonce, kNonceSize));
        unsigned long long len = 0;
        crypto_aead_xchacha20poly1305_ietf_encrypt(nonce + kNonceSize, &len, plain.data(),
                                                   plain.size(), kHeader, sizeof kHeader, nullptr,
                                                   nonce, key.bytes.data());
        return blob;
    }

    Result<Bytes> unprotect(ByteView blob) override {
        if (blob.size() < sizeof kHeader + kNonceSize + kTagSize ||
            !std::equal(std::begin(kHeader), std::end(kHeader), blob.begin()))
            return fail("The protected data is not in a known format");
        KeyBuffer key;
        if (auto ok = load_key(key); !ok) return std::unexpected(ok.error());
        const std::uint8_t* nonce = blob.data() + sizeof kHeader;
        const std::uint8_t* cipher = nonce + kNonceSize;
        const std::size_t cipher_size = blob.size() - sizeof kHeader - kNonceSize;
        Bytes plain(cipher_size - kTagSize);
        unsigned long long len = 0;
        if (crypto_aead_xchacha20poly1305_ietf_decrypt(plain.data(), &len, nullptr, cipher,
                                                       cipher_size, kHeader, sizeof kHeader, nonce,
                                                       key.bytes.data()) != 0)
            return fail("The protected data is damaged or belongs to another user");
        return plain;
    }

private:
    std::filesystem::path key_path() const { return dir_ / kKeyFile; }

    Status load_key(KeyBuffer& key) const {
        if (dir_.empty()) return fail("No home directory to keep the protection key in");
        errno = 0;
        FileDescriptor fd(::open(key_path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.valid())
            return fail("Could not open the protection key " + key_path().string() + ": " +
                        os_text(errno));
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0)
            return fail("Could not read the protection key: " + os_text(errno));
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0 ||
            st.st_size != static_cast<off_t>(kKeySize))
            return fail("The protection key " + key_path().string() +
                        " must be a 32-byte file readable only by its owner");
        if (!read_exact(fd.get(), key.bytes.data(), key.bytes.size()))
            return fail("Could not read the protection key: " + os_text(errno));
        return {};
    }

    Status ensure_dir() const {
        std::error_code ec;
        if (dir_.has_parent_path()) std::filesystem::create_directories(dir_.parent_path(), ec);
        if (ec)
            return fail("Could not create " + dir_.parent_path().string() + ": " + ec.message());
        if (::mkdir(dir_.c_str(), 0700) != 0 && errno != EEXIST)
            return fail("Could not create " + dir_.string() + ": " + os_text(errno));
        struct stat st {};
        if (::lstat(dir_.c_str(), &st) != 0)
            return fail("Could not inspect " + dir_.string() + ": " + os_text(errno));
        if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
            return fail("The key directory " + dir_.string() +
                        " must be a directory accessible only by its owner");
        return {};
    }

    // Writes a fresh key beside the final name and links it into place, so a
    // concurrent creator never sees a partial key and never overwrites one.
    Status create_key() const {
        if (auto ok = ensure_dir(); !ok) return ok;
        std::string tmpl = (dir_ / "protection.key.XXXXXX").string();
        FileDescriptor fd(::mkostemp(tmpl.data(), O_CLOEXEC));
        if (!fd.valid())
            return fail("Could not create the protection key in " + dir_.string() + ": " +
                        os_text(errno));
        KeyBuffer fresh;
        crypto::random_bytes(fresh.bytes);
        const bool written = ::fchmod(fd.get(), 0600) == 0 &&
                             write_exact(fd.get(), fresh.bytes.data(), fresh.bytes.size()) &&
                             ::fsync(fd.get()) == 0;
        const int write_errno = errno;
        const bool closed = ::close(fd.release()) == 0;
        Status result;
        if (!written || !closed) {
            result = fail("Could not write the protection key in " + dir_.string() + ": " +
                          os_text(written ? errno : write_errno));
        } else if (::link(tmpl.c_str(), key_path().c_str()) != 0 && errno != EEXIST) {
            result = fail("Could not store the protection key " + key_path().string() + ": " +
                          os_text(errno));
        }
        ::unlink(tmpl.c_str());
        return result;
    }

    Status load_or_create_key(KeyBuffer& key) const {
        if (dir_.empty()) return fail("No home directory to keep the protection key in");
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(key_path(), ec))) {
            if (auto ok = create_key(); !ok) return ok;
        }
        return load_key(key);
    }

    std::filesystem::path dir_;
};

}  // namespace

std::unique_ptr<DataProtection> make_posix_data_protection(std::filesystem::path keyDir) {
    return std::make_unique<PosixDataProtection>(std::move(keyDir));
}

}  // namespace hp::platform
