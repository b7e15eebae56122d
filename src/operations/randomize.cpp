#include <algorithm>

#include "operations/operations.hpp"
#include "pool/parallel.hpp"
#include "random/thread_generator.hpp"
#include "wide_ciphertexts.hpp"

namespace veltrane::ops {

Bytes randomize(const Bytes& ciphertexts) {
  constexpr std::size_t kSize = WideCiphertext::kSize;
  const std::size_t chunks = (ciphertexts.size() + kSize - 1) / kSize;
  Bytes out(chunks * kSize);
  pool::parallel_for(chunks, [&](std::size_t begin, std::size_t end) {
    random::ChaCha12Generator& rng = random::thread_generator();
    for (std::size_t k = begin; k < end; ++k) {
      std::size_t offset = k * kSize;
      std::size_t length = std::min(kSize, ciphertexts.size() - offset);
      WideCiphertext c = WideCiphertext::from_bytes({ciphertexts.data() + offset, length});
      randomize(c, rng).to_bytes(out.data() + offset);
    }
  });
  return out;
}

}  // namespace veltrane::ops
