// Refill, reseed and draw rules of the keystream generator. Output is made
// four blocks at a time and handed out word by word; a draw never reuses a
// word, even one it used only partly.
#include <algorithm>
#include <bit>
#include <cstring>

#include "common/fatal_error.hpp"
#include "common/secret.hpp"
#include "random/os_seed.hpp"
#include "random/thread_generator.hpp"

namespace veltrane::random {
namespace {

constexpr unsigned kWords = 64;        // buffer: four blocks of sixteen words
constexpr std::int64_t kRefillBytes = 4 * kWords;

}  // namespace

ChaCha12Generator::ChaCha12Generator(const std::array<std::uint8_t, 32>& seed,
                                     SeedSource reseed_source)
    : bytes_until_reseed_(kReseedThreshold), reseed_source_(reseed_source) {
  set_key(seed.data());
}

ChaCha12Generator::~ChaCha12Generator() {
  secure_wipe(&key_, sizeof key_);
  secure_wipe(&buffer_, sizeof buffer_);
}

void ChaCha12Generator::set_key(const std::uint8_t seed[32]) noexcept {
  for (unsigned i = 0; i < 8; ++i) {
    key_[i] = std::uint32_t{seed[4 * i]} | std::uint32_t{seed[4 * i + 1]} << 8 |
              std::uint32_t{seed[4 * i + 2]} << 16 | std::uint32_t{seed[4 * i + 3]} << 24;
  }
}

void ChaCha12Generator::refill() {
  if (bytes_until_reseed_ <= 0) {
    std::uint8_t seed[32];
    // A failed periodic reseed is not worth stopping for: the old key is
    // still sound, so output goes on from it and the next attempt comes one
    // threshold later.
    if (reseed_source_ != nullptr && reseed_source_(seed) == 0) {
      set_key(seed);
      counter_ = 0;
    }
    secure_wipe(&seed, sizeof seed);
    bytes_until_reseed_ = kReseedThreshold - kRefillBytes;
  } else {
    bytes_until_reseed_ -= kRefillBytes;
  }
  for (unsigned block = 0; block < 4; ++block) {
    chacha12_block(key_, counter_ + block, 0, buffer_.data() + 16 * block);
  }
  counter_ += 4;
  index_ = 0;
}

void ChaCha12Generator::force_reseed() {
  std::uint8_t seed[32];
  const int code = reseed_source_ != nullptr ? reseed_source_(seed) : -1;
  if (code != 0) {
    secure_wipe(&seed, sizeof seed);
    fatal(seeding_failure_message(code));
  }
  set_key(seed);
  secure_wipe(&seed, sizeof seed);
  counter_ = 0;
  secure_wipe(&buffer_, sizeof buffer_);
  index_ = kWords;
  bytes_until_reseed_ = kReseedThreshold;
}

void ChaCha12Generator::draw_bytes(std::uint8_t* out, std::size_t n) {
  while (n > 0) {
    if (index_ == kWords) refill();
    const std::size_t m = std::min<std::size_t>(4 * (kWords - index_), n);
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out, buffer_.data() + index_, m);
    } else {
      for (std::size_t j = 0; j < m; ++j) {
        out[j] = static_cast<std::uint8_t>(buffer_[index_ + j / 4] >> (8 * (j % 4)));
      }
    }
    // The words handed out become secret scalars and cell values: no copy
    // of them stays behind in the buffer.
    const unsigned used = static_cast<unsigned>((m + 3) / 4);
    secure_wipe(buffer_.data() + index_, 4 * used);
    index_ += used;
    out += m;
    n -= m;
  }
}

std::uint32_t ChaCha12Generator::draw_u32() {
  if (index_ == kWords) refill();
  return buffer_[index_++];
}

std::uint64_t ChaCha12Generator::draw_u64() {
  if (index_ + 1 < kWords) {
    const std::uint64_t value = buffer_[index_] | std::uint64_t{buffer_[index_ + 1]} << 32;
    index_ += 2;
    return value;
  }
  if (index_ == kWords) {
    refill();
    index_ = 2;
    return buffer_[0] | std::uint64_t{buffer_[1]} << 32;
  }
  // One word left: it becomes the low half, the new buffer's first the high.
  const std::uint64_t low = buffer_[kWords - 1];
  refill();
  index_ = 1;
  return low | std::uint64_t{buffer_[0]} << 32;
}

bool ChaCha12Generator::draw_bool() { return (draw_u32() >> 31) != 0; }

std::uint64_t ChaCha12Generator::counter() const noexcept { return counter_; }
unsigned ChaCha12Generator::index() const noexcept { return index_; }
std::int64_t ChaCha12Generator::bytes_until_reseed() const noexcept { return bytes_until_reseed_; }

}  // namespace veltrane::random
