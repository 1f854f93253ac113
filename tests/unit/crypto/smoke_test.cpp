#include <gtest/gtest.h>
#include "crypto/crypto.h"
TEST(CryptoSmoke, Fingerprint) { EXPECT_EQ(hp::crypto::fingerprint({}).size(), 16u); }
