// The ChaCha block function with 12 rounds, in the original layout: words 12
// and 13 hold a 64-bit block counter and words 14 and 15 a 64-bit stream
// number, so a single key yields 2^64 blocks without wrapping into another
// stream.
#include <bit>

#include "common/secret.hpp"
#include "random/thread_generator.hpp"

namespace veltrane::random {
namespace {

constexpr std::uint32_t kSigma[4] = {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};

inline void quarter_round(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c,
                          std::uint32_t& d) noexcept {
  a += b; d ^= a; d = std::rotl(d, 16);
  c += d; b ^= c; b = std::rotl(b, 12);
  a += b; d ^= a; d = std::rotl(d, 8);
  c += d; b ^= c; b = std::rotl(b, 7);
}

}  // namespace

void chacha12_block(const std::array<std::uint32_t, 8>& key, std::uint64_t counter,
                    std::uint64_t stream, std::uint32_t out[16]) {
  std::uint32_t input[16];
  for (int i = 0; i < 4; ++i) input[i] = kSigma[i];
  for (int i = 0; i < 8; ++i) input[4 + i] = key[i];
  input[12] = static_cast<std::uint32_t>(counter);
  input[13] = static_cast<std::uint32_t>(counter >> 32);
  input[14] = static_cast<std::uint32_t>(stream);
  input[15] = static_cast<std::uint32_t>(stream >> 32);

  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = input[i];
  for (int double_round = 0; double_round < 6; ++double_round) {
    quarter_round(x[0], x[4], x[8], x[12]);
    quarter_round(x[1], x[5], x[9], x[13]);
    quarter_round(x[2], x[6], x[10], x[14]);
    quarter_round(x[3], x[7], x[11], x[15]);
    quarter_round(x[0], x[5], x[10], x[15]);
    quarter_round(x[1], x[6], x[11], x[12]);
    quarter_round(x[2], x[7], x[8], x[13]);
    quarter_round(x[3], x[4], x[9], x[14]);
  }
  for (int i = 0; i < 16; ++i) out[i] = x[i] + input[i];
  // The input holds the key: leave no copy of it on the stack.
  secure_wipe(&input, sizeof input);
  secure_wipe(&x, sizeof x);
}

}  // namespace veltrane::random
