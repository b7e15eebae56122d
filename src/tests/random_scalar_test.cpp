// Random scalars are the wide reduction of the generator's next 64 bytes.
#include "random_scalar.hpp"

#include <gtest/gtest.h>
#include <sodium.h>

#include <array>
#include <vector>

namespace veltrane {
namespace {

int failing_source(std::uint8_t[32]) { return 32767; }

const std::array<std::uint8_t, 32> kSeed = [] {
  std::array<std::uint8_t, 32> s{};
  s[0] = 0xA5;
  return s;
}();

using random::ChaCha12Generator;

TEST(RandomScalar, IsTheWideReductionOf64Bytes) {
  ASSERT_GE(sodium_init(), 0);
  ChaCha12Generator g(kSeed, &failing_source), twin(kSeed, &failing_source);
  twin.draw_u32();
  g.draw_u32();  // start at an odd word so the 64 bytes span a refill sometimes
  for (int i = 0; i < 40; ++i) {
    const auto scalar = random_scalar(g);
    std::uint8_t wide[64];
    twin.draw_bytes(wide, 64);
    std::uint8_t expected[32];
    crypto_core_ed25519_scalar_reduce(expected, wide);
    ASSERT_EQ(std::vector<std::uint8_t>(scalar.bytes.begin(), scalar.bytes.end()),
              std::vector<std::uint8_t>(expected, expected + 32));
  }
  EXPECT_EQ(g.index(), twin.index());
}

}  // namespace
}  // namespace veltrane
