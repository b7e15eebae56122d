#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "random/thread_generator.hpp"
#include "test_hex.hpp"

namespace veltrane::random {
namespace {

std::array<std::uint32_t, 8> key_from_hex(const std::string& hex) {
  const auto bytes = from_hex(hex);
  std::array<std::uint32_t, 8> key{};
  for (int i = 0; i < 8; ++i) {
    key[i] = bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 |
             std::uint32_t{bytes[4 * i + 3]} << 24;
  }
  return key;
}

std::uint64_t stream_from_iv(const std::string& hex) {
  const auto iv = from_hex(hex);
  std::uint64_t stream = 0;
  for (int i = 7; i >= 0; --i) stream = stream << 8 | iv[i];
  return stream;
}

std::string blocks_hex(const std::array<std::uint32_t, 8>& key, std::uint64_t first,
                       std::uint64_t stream, int count) {
  std::vector<std::uint8_t> bytes;
  for (int b = 0; b < count; ++b) {
    std::uint32_t words[16];
    chacha12_block(key, first + b, stream, words);
    const auto block = words_to_bytes(words, 16);
    bytes.insert(bytes.end(), block.begin(), block.end());
  }
  return to_hex(bytes);
}

struct Vector {
  const char* key;
  const char* iv;
  const char* blocks_0_and_1;
};

const Vector kVectors[] = {
    {"0000000000000000000000000000000000000000000000000000000000000000", "0000000000000000",
     "9bf49a6a0755f953811fce125f2683d50429c3bb49e074147e0089a52eae155f"
     "0564f879d27ae3c02ce82834acfa8c793a629f2ca0de6919610be82f411326be"
     "0bd58841203e74fe86fc71338ce0173dc628ebb719bdcbcc151585214cc089b4"
     "42258dcda14cf111c602b8971b8cc843e91e46ca905151c02744a6b017e69316"},
    {"0100000000000000000000000000000000000000000000000000000000000000", "0000000000000000",
     "12056e595d56b0f6eef090f0cd25a20949248c2790525d0f930218ff0b4ddd10"
     "a6002239d9a454e29e107a7d06fefdfef0210feba044f9f29b1772c960dc29c0"
     "0c7366c5cbc604240e665eb02a69372a7af979b26fbb78092ac7c4b88029a7c8"
     "54513bc217bbfc7d90432e308eba15afc65aeb48ef100d5601e6afba257117a9"},
    {"0000000000000000000000000000000000000000000000000000000000000000", "0100000000000000",
     "64b8bdf87b828c4b6dbaf7ef698de03df8b33f635714418f9836ade59be12969"
     "46c953a0f38ecffc9ecb98e81d5d99a5edfc8f9a0a45b9e41ef3b31f028f1d0f"
     "559db4a7f222c442fe23b9a2596a88285122ee4f1363896ea77ca150912ac723"
     "bff04b026a2f807e03b29c02077d7b06fc1ab9827c13c8013a6d83bd3b52a26f"},
    {"c46ec1b18ce8a878725a37e780dfb7351f68ed2e194c79fbc6aebee1a667975d", "1ada31d5cf688221",
     "1482072784bc6d06b4e73bdc118bc0103c7976786ca918e06986aa251f7e9cc1"
     "b2749a0a16ee83b4242d2e99b08d7c20092b80bc466c87283b61b1b39d0ffbab"
     "d94b116bc1ebdb329b9e4f620db695544a8e3d9b68473d0c975a46ad966ed631"
     "e42aff530ad5eac7d8047adfa1e5113c91f3e3b883f1d189ac1c8fe07ba5a42b"},
};

TEST(ChaCha12Block, MatchesKnownKeystreams) {
  for (const auto& v : kVectors) {
    EXPECT_EQ(blocks_hex(key_from_hex(v.key), 0, stream_from_iv(v.iv), 2), v.blocks_0_and_1)
        << "key " << v.key << " iv " << v.iv;
  }
}

TEST(ChaCha12Block, CounterHighHalfGoesIntoWordThirteen) {
  const auto key = key_from_hex(kVectors[3].key);
  const std::uint64_t two_to_32 = std::uint64_t{1} << 32;
  // Dropping the high half (a 32-bit counter) would wrap these onto each other.
  EXPECT_NE(blocks_hex(key, two_to_32, 0, 1), blocks_hex(key, 0, 0, 1));
  EXPECT_NE(blocks_hex(key, 0x1FFFFFFFFull, 0, 1), blocks_hex(key, 0xFFFFFFFFull, 0, 1));
  // Shifting it into the stream words would make it collide with stream 1.
  EXPECT_NE(blocks_hex(key, two_to_32, 0, 1), blocks_hex(key, 0, 1, 1));
  EXPECT_NE(blocks_hex(key, two_to_32, 0, 1), blocks_hex(key, 1, 0, 1));
}

}  // namespace
}  // namespace veltrane::random
