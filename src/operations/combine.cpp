#include <algorithm>
#include <cstring>

#include "operations/operations.hpp"
#include "pool/parallel.hpp"
#include "wide_ciphertexts.hpp"

namespace veltrane::ops {

namespace {

std::span<const std::uint8_t> chunk(const Bytes& bytes, std::size_t k) {
  std::size_t offset = k * WideCiphertext::kSize;
  return {bytes.data() + offset, std::min(WideCiphertext::kSize, bytes.size() - offset)};
}

}  // namespace

std::array<Bytes, 4> combine(const Bytes& sender_ciphertexts, const Bytes& receiver_ciphertexts) {
  constexpr std::size_t kSize = WideCiphertext::kSize;
  const std::size_t pairs = std::min((sender_ciphertexts.size() + kSize - 1) / kSize,
                                     (receiver_ciphertexts.size() + kSize - 1) / kSize);
  std::array<Bytes, 4> lists;
  for (Bytes& list : lists) list.resize(32 * pairs);
  // Each pair writes its four sums straight into the component lists.
  pool::parallel_for(pairs, [&](std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) {
      WideCiphertext a = WideCiphertext::from_bytes(chunk(sender_ciphertexts, k));
      WideCiphertext b = WideCiphertext::from_bytes(chunk(receiver_ciphertexts, k));
      WideCiphertext sum = combine(a, b);
      for (std::size_t j = 0; j < 4; ++j) {
        std::memcpy(lists[j].data() + 32 * k, sum.components[j].data(), 32);
      }
    }
  });
  return lists;
}

}  // namespace veltrane::ops
