// Session keys wipe themselves: the bytes are gone once a key goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>

#include "crypto/crypto.h"

namespace hp::crypto {
namespace {

TEST(SessionKey, WipesItsBytesWhenItGoes) {
    Key32 raw{};
    raw.fill(0x5A);
    alignas(SessionKey) unsigned char storage[sizeof(SessionKey)];
    auto* key = new (storage) SessionKey(raw);
    SessionKey copy = *key;
    EXPECT_EQ(copy.bytes(), raw);
    key->~SessionKey();
    EXPECT_TRUE(std::all_of(std::begin(storage), std::end(storage), [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(copy.bytes(), raw) << "a copy lives on until it goes itself";
}

}  // namespace
}  // namespace hp::crypto
